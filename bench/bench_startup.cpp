// bench_startup: start-up figures of the program, each run in a fresh process with the
// real window offscreen, put together as usb-vantor does it (serial line, Qt dialogs,
// workbench, main window).
//
//   window shown     process start (spawn) to the main window exposed and painted
//   programmer found process start to the status box (Text2) showing "Find Programmer on
//                    COM1" (emulator on COM1, paced as a 9600-baud line), and to the chip
//                    option selected after it
//   peak memory      VmHWM of the program process once the chip is selected
//   full search      CPU time (user + system) and wall time of a search with no programmer
//                    at all, from start-up to the not-installed message (12 ticks of the
//                    port search's 400 ms probe timer)
//
// usage: bench_startup [RUNS]   (RUNS of the start-up measure, default 5; the search
//                                runs 3 times; medians are shown)
//
// The parent process runs the emulator and spawns itself once per run with --child-*;
// the child prints "name value" lines, times in ms since the parent started it.

#include "benchsupport.h"
#include "core/serialtransport.h"
#include "core/workbench.h"
#include "window/mainwindow.h"
#include "window/qtdialogbackend.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

using namespace bench;

namespace
{

using Figures = QMap<QString, double>;

void report(const char *name, double value)
{
    std::printf("%s %.3f\n", name, value);
}

// Waits until the window is exposed, then until the expose handling (which paints it)
// has finished, and records both times.
class ExposeWatch : public QObject
{
public:
    explicit ExposeWatch(QWidget *window) : m_window(window) {}
    double exposedAt = 0.0;
    double paintedAt = 0.0;
    std::function<void()> painted;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && exposedAt == 0.0 &&
            watched == m_window->windowHandle() && m_window->windowHandle()->isExposed()) {
            exposedAt = nowMs();
            QTimer::singleShot(0, this, [this] {
                paintedAt = nowMs();
                if (painted)
                    painted();
            });
        }
        return false;
    }

private:
    QWidget *m_window;
};

// The program as usb-vantor puts it together, on the given ports.
struct Program {
    explicit Program(const PortMap &ports) : line(ports), workbench(&line, &dialogs)
    {
        dialogs.setOwner(&window);
    }
    QLineEdit *statusBox() { return window.findChild<QLineEdit *>(QStringLiteral("Text2")); }

    SerialTransport line;
    QtDialogBackend dialogs;
    Workbench workbench;
    MainWindow window{workbench};
};

int childWindow(int argc, char **argv, const QString &device, double spawnedAt)
{
    report("main", nowMs() - spawnedAt);
    QApplication app(argc, argv);
    quietOffscreenNotes();
    report("app", nowMs() - spawnedAt);
    QTemporaryDir dir;
    Program program(PortMap::fromDevices({device}));
    report("constructed", nowMs() - spawnedAt);
    ExposeWatch watch(&program.window);
    app.installEventFilter(&watch);
    program.workbench.start(dir.path());
    program.window.show();
    {
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        watch.painted = [&loop] { loop.quit(); };
        loop.exec();
    }
    report("exposed", watch.exposedAt - spawnedAt);
    report("shown", watch.paintedAt - spawnedAt);

    QLineEdit *status = program.statusBox();
    EventWait found([&] { return status->text() == QLatin1String("Find Programmer on COM1"); });
    found.wakeOn(status, &QLineEdit::textChanged);
    if (found.run(10000))
        report("found", nowMs() - spawnedAt);
    auto *option = program.window.findChild<QRadioButton *>(QStringLiteral("Option1"));
    EventWait chip([&] { return option->isChecked(); });
    chip.wakeOn(option, &QRadioButton::toggled);
    if (chip.run(10000))
        report("chip", nowMs() - spawnedAt);
    report("hwm", static_cast<double>(peakRssKb()));
    report("cpu", cpuMs());
    return 0;
}

int childSearch(int argc, char **argv)
{
    QApplication app(argc, argv);
    quietOffscreenNotes();
    QTemporaryDir dir;
    Program program(PortMap::fromList(QString()));
    program.window.show();
    QEventLoop settle;
    QTimer::singleShot(300, &settle, &QEventLoop::quit);
    settle.exec();

    QLineEdit *status = program.statusBox();
    EventWait done(
        [&] { return status->text() == QStringLiteral("你尚未安裝燒錄器，請安裝後再執行。"); });
    done.wakeOn(status, &QLineEdit::textChanged);
    const long s0 = sleeps();
    const double c0 = cpuMs();
    const double t0 = nowMs();
    program.workbench.start(dir.path());
    if (!done.run(15000))
        return 1;
    report("search_wall", nowMs() - t0);
    report("search_cpu", cpuMs() - c0);
    report("search_sleeps", static_cast<double>(sleeps() - s0));
    report("search_hwm", static_cast<double>(peakRssKb()));
    return 0;
}

Figures runChild(const QString &self, const QStringList &arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args = arguments;
    const double spawnedAt = nowMs();
    args << QString::number(spawnedAt, 'f', 4);
    child.start(self, args);
    child.waitForFinished(60000);
    Figures figures;
    const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            figures[QString::fromLatin1(parts.at(0))] = parts.at(1).toDouble();
    }
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        std::fprintf(stderr, "a run failed (exit %d)\n", child.exitCode());
    return figures;
}

void printRow(const char *what, const QList<Figures> &runs, const char *key, const char *unit,
              double scale = 1.0, int decimals = 1)
{
    QList<double> values;
    for (const Figures &f : runs)
        if (f.contains(QString::fromLatin1(key)))
            values << f.value(QString::fromLatin1(key)) * scale;
    if (values.isEmpty()) {
        std::printf("| %s | failed | | | |\n", what);
        return;
    }
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    QString value = fixed(median(values), decimals);
    if (*unit)
        value += QLatin1Char(' ') + QLatin1String(unit);
    std::printf("| %s | %s | %s | %s | %lld |\n", what, qPrintable(value),
                qPrintable(fixed(*lo, decimals)), qPrintable(fixed(*hi, decimals)),
                static_cast<long long>(values.size()));
}

} // namespace

int main(int argc, char **argv)
{
    setUpEnvironment(true);
    if (argc >= 4 && std::strcmp(argv[1], "--child-window") == 0)
        return childWindow(1, argv, QString::fromLocal8Bit(argv[2]), std::atof(argv[3]));
    if (argc >= 3 && std::strcmp(argv[1], "--child-search") == 0)
        return childSearch(1, argv);

    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QString self = QCoreApplication::applicationFilePath();

    QList<Figures> startRuns;
    for (int i = 0; i < runs; ++i) {
        SimProcess sim({QStringLiteral("--pace")});
        if (!sim.start())
            return 1;
        startRuns << runChild(self, {QStringLiteral("--child-window"), sim.device()});
    }
    QList<Figures> searchRuns;
    for (int i = 0; i < 3; ++i)
        searchRuns << runChild(self, {QStringLiteral("--child-search")});

    std::printf("Start-up, QT_QPA_PLATFORM=%s, times from process start (spawn)\n\n",
                qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("| measure | median | min | max | runs |\n|---|---:|---:|---:|---:|\n");
    printRow("main() entered", startRuns, "main", "ms");
    printRow("QApplication ready", startRuns, "app", "ms");
    printRow("main window constructed", startRuns, "constructed", "ms");
    printRow("window exposed", startRuns, "exposed", "ms");
    printRow("window shown (exposed and painted)", startRuns, "shown", "ms");
    printRow("Text2 = \"Find Programmer on COM1\"", startRuns, "found", "ms");
    printRow("chip option selected (settle step)", startRuns, "chip", "ms");
    printRow("peak memory (VmHWM) after start-up", startRuns, "hwm", "MiB", 1.0 / 1024.0);
    printRow("CPU time of the whole start-up", startRuns, "cpu", "ms");
    printRow("full search, no programmer: wall", searchRuns, "search_wall", "ms");
    printRow("full search, no programmer: CPU", searchRuns, "search_cpu", "ms");
    printRow("full search, no programmer: sleeps", searchRuns, "search_sleeps", "", 1.0, 0);
    printRow("peak memory (VmHWM) after the search", searchRuns, "search_hwm", "MiB", 1.0 / 1024.0);
    return 0;
}
