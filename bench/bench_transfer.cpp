// bench_transfer: Express and Save of 1K, 2K and 4K images through the real window
// (offscreen) against the emulator at 9600 baud (vantor-sim --pace).
//
// Express: from the click to the firmware's "Verify OK" in RxText, against the line time
// of "Q", the length and the image plus the emulator's erase and programming time.
// Save: from the "S" command (the save dialog answered) to the file written, against the
// line time of the block. CPU is this process's user + system time over the same span.
//
// usage: bench_transfer [RUNS] [express|save|write]
//   RUNS per size, default 3 (the median is shown); every part unless one is named.
//   write: vantor-cli write of 2 KiB (bench/toolwrite.cpp).

#include "benchsupport.h"
#include "core/imagefile.h"
#include "core/messages.h"
#include "core/programmer.h"
#include "link/mscomm.h"
#include "toolwrite.h"
#include "ui/form1.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

using namespace bench;

namespace
{

constexpr double kByteMs = 10.0 / 9.6; // 9600 baud, 10 bits a character
constexpr double kEraseMs = 10.0;
constexpr double kProgramMsPerByte = 1.5;
// After programming the emulator sends "Program OK\r\nVerify OK\r\n": 23 bytes.
constexpr double kReplyTailMs = 23 * kByteMs;

struct Row {
    QString what;
    int size = 0;
    QList<double> wall;
    QList<double> cpu;
    QList<double> handOver; // Express: click to "Load completed"
    QList<double> handOverCpu;
    QList<double> sleeps; // voluntary context switches over the span
    QList<double> lead;   // Save: save dialog answered to the "S" command
    double limit = 0.0;
    int failures = 0;
};

QByteArray makeImage(int size, int seed)
{
    QByteArray image(size, '\0');
    quint32 x = 0x9E3779B9u * static_cast<quint32>(seed + 1);
    for (int i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        image[i] = static_cast<char>(x >> 24);
    }
    return image;
}

// Waits ms with the event loop running.
void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class Bench
{
public:
    Bench(SimProcess &emulator, Form1 &window, AnsweringDialogs &dialogs, const QString &dir)
        : sim(emulator), w(window), dialogs(dialogs), dir(dir), p(window.programmer())
    {
        text1 = w.findChild<QPlainTextEdit *>(QStringLiteral("Text1"));
        text2 = w.findChild<QLineEdit *>(QStringLiteral("Text2"));
    }

    bool waitRx(const QString &needle, int timeoutMs)
    {
        EventWait wait([&] { return p.RxText.contains(needle); });
        wait.wakeOn(text1, &QPlainTextEdit::textChanged);
        return wait.run(timeoutMs);
    }

    bool connect()
    {
        EventWait found([&] {
            return p.view.text(2) == Msg::foundOn(1) && w.selectedChipOption() == 1 &&
                   p.RxText.contains(QStringLiteral("Chip AT89C2051"));
        });
        found.wakeOn(text2, &QLineEdit::textChanged).wakeOn(text1, &QPlainTextEdit::textChanged);
        return found.run(10000);
    }

    // Selects chip option (1 2051, 2 4051) and puts that chip into the emulator's socket.
    bool selectChip(int option)
    {
        const char *shortName = option == 2 ? "4051" : "2051";
        if (sim.control(QStringLiteral("chip %1").arg(QLatin1String(shortName))) !=
            QLatin1String("ok"))
            return false;
        if (w.selectedChipOption() == option)
            return true;
        p.chips.SelectFromCode(option);
        return waitRx(QStringLiteral("Chip AT89C%1").arg(QLatin1String(shortName)), 3000);
    }

    // flash: the selected chip's flash size (erased bytes past the image read 0xFF).
    void express(Row &row, int run, int flash)
    {
        const QByteArray image = makeImage(row.size, run);
        const QString path = dir + QStringLiteral("/express-%1.tsk").arg(row.size);
        {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size()) {
                ++row.failures;
                return;
            }
        }
        p.LatestFile = path;
        auto *action = w.findChild<QAction *>(QStringLiteral("muIcExp"));

        const long s0 = bench::sleeps();
        const double t0 = nowMs();
        const double c0 = cpuMs();
        action->trigger(); // returns once every byte is handed to the port
        const double t1 = nowMs();
        const double c1 = cpuMs();
        const bool ok = waitRx(QStringLiteral("Verify OK"), 60000);
        const double t2 = nowMs();
        const double c2 = cpuMs();
        const long s2 = bench::sleeps();

        const QString expected = Msg::expressCompleted(ImageFile::Checksum(image));
        const QString flashSum = sim.control(QStringLiteral("state")).section(' ', 2, 2);
        const quint16 flashChecksum =
            static_cast<quint16>(ImageFile::Checksum(image) + (flash - row.size) * 0xFF);
        const QString wantSum =
            QStringLiteral("flash_sum=") +
            QStringLiteral("%1").arg(flashChecksum, 4, 16, QLatin1Char('0')).toUpper();
        if (!ok || !p.view.text(2).startsWith(expected) || flashSum != wantSum) {
            std::fprintf(stderr, "express %d: failed (Text2 '%s', RxText '%s', %s)\n", row.size,
                         qPrintable(p.view.text(2)), qPrintable(p.RxText), qPrintable(flashSum));
            ++row.failures;
            return;
        }
        row.wall << t2 - t0;
        row.cpu << c2 - c0;
        row.handOver << t1 - t0;
        row.handOverCpu << c1 - c0;
        row.sleeps << static_cast<double>(s2 - s0);
    }

    void save(Row &row, int run)
    {
        const QString path = dir + QStringLiteral("/save-%1-%2.tsk").arg(row.size).arg(run);
        QFile::remove(path);
        dialogs.fileName = path;
        const int option = row.size == 2048 ? 1 : row.size == 4096 ? 2 : 3;
        dialogs.answeredAtMs = 0.0;
        // The "S" command has no event of its own: the block's first byte arrives one byte
        // time after it (the line carries the second command byte, and then the block).
        double firstAt = 0.0, firstCpu = 0.0;
        long firstSleeps = 0;
        const auto watch = QObject::connect(&p.MSComm1, &MSComm::received, &w, [&] {
            if (firstAt == 0.0 && dialogs.answeredAtMs != 0.0) {
                firstAt = nowMs();
                firstCpu = cpuMs();
                firstSleeps = bench::sleeps();
            }
        });
        p.save.muFileSave_Click(); // shows Form3 and returns
        Form3 *form3 = w.form3();
        if (form3) {
            form3->findChild<QRadioButton *>(QStringLiteral("Option%1").arg(option))->click();
            form3->findChild<QPushButton *>(QStringLiteral("Command1"))->click(); // to the file
        }
        const double t1 = nowMs();
        const double c1 = cpuMs();
        const long s1 = bench::sleeps();
        QObject::disconnect(watch);
        QFile f(path);
        if (dialogs.answeredAtMs == 0.0 || firstAt == 0.0 || !f.exists() || f.size() != row.size) {
            std::fprintf(stderr, "save %d: failed (Text2 '%s', file %lld bytes)\n", row.size,
                         qPrintable(p.view.text(2)), static_cast<long long>(f.size()));
            ++row.failures;
            return;
        }
        const double commandAt = firstAt - kByteMs;
        row.wall << t1 - commandAt;
        row.lead << commandAt - dialogs.answeredAtMs;
        row.cpu << c1 - firstCpu;
        row.sleeps << static_cast<double>(s1 - firstSleeps);
    }

    SimProcess &sim;
    Form1 &w;
    AnsweringDialogs &dialogs;
    QString dir;
    Programmer &p;
    QPlainTextEdit *text1 = nullptr;
    QLineEdit *text2 = nullptr;
};

void printTable(const char *title, const QList<Row> &rows, bool express)
{
    std::printf("\n%s\n\n", title);
    if (express)
        std::printf("| size | wall ms | limit ms | overhead %% | CPU ms | handed over at ms | "
                    "CPU ms handing over | CPU ms after | sleeps | last reply byte to RxText ms |\n"
                    "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    else
        std::printf(
            "| size | wall ms | limit ms | overhead %% | CPU ms | CPU %% of wall | sleeps | "
            "dialog answered to \"S\" ms |\n|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Row &r : rows) {
        if (r.wall.isEmpty()) {
            std::printf("| %d | failed | | | | |\n", r.size);
            continue;
        }
        const double wall = median(r.wall);
        const double cpu = median(r.cpu);
        const double over = (wall - r.limit) / r.limit * 100.0;
        std::printf("| %d | %s | %s | %s | %s |", r.size, qPrintable(fixed(wall)),
                    qPrintable(fixed(r.limit)), qPrintable(fixed(over, 2)), qPrintable(fixed(cpu)));
        if (express) {
            QList<double> after;
            for (qsizetype i = 0; i < r.cpu.size(); ++i)
                after << r.cpu.at(i) - r.handOverCpu.at(i);
            std::printf(" %s | %s | %s | %s | %s |\n", qPrintable(fixed(median(r.handOver))),
                        qPrintable(fixed(median(r.handOverCpu))), qPrintable(fixed(median(after))),
                        qPrintable(fixed(median(r.sleeps), 0)),
                        qPrintable(fixed(wall - r.limit - kReplyTailMs)));
        } else {
            std::printf(" %s | %s | %s |\n", qPrintable(fixed(cpu / wall * 100.0, 2)),
                        qPrintable(fixed(median(r.sleeps), 0)), qPrintable(fixed(median(r.lead))));
        }
        if (r.failures)
            std::printf("  (%d failed runs)\n", r.failures);
    }
}

} // namespace

int main(int argc, char **argv)
{
    setUpEnvironment(true);
    QApplication app(argc, argv);
    quietOffscreenNotes();
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const bool doExpress = only.isEmpty() || only == QLatin1String("express");
    const bool doSave = only.isEmpty() || only == QLatin1String("save");
    if (only == QLatin1String("write"))
        return benchToolWrite(runs);

    SimProcess sim({QStringLiteral("--pace")});
    if (!sim.start())
        return 1;
    QTemporaryDir dir;
    AnsweringDialogs dialogs;
    Form1 window(PortMap::fromDevices({sim.device()}), &dialogs);
    window.Form_Load(dir.path());
    window.show();
    Bench b(sim, window, dialogs, dir.path());
    if (!b.connect()) {
        std::fprintf(stderr, "the programmer was not found (Text2 '%s')\n",
                     qPrintable(window.programmer().view.text(2)));
        return 1;
    }
    std::printf("emulator on %s, %d run(s) per size, median shown\n", qPrintable(sim.device()),
                runs);

    QList<Row> expressRows;
    for (int size : {1024, 2048, 4096}) {
        if (!doExpress)
            break;
        const int option = size == 4096 ? 2 : 1;
        const int flash = option == 2 ? 4096 : 2048;
        if (!b.selectChip(option)) {
            std::fprintf(stderr, "cannot select chip option %d\n", option);
            return 1;
        }
        Row row;
        row.size = size;
        row.limit = (3 + size) * kByteMs + kEraseMs + kProgramMsPerByte * flash;
        for (int run = 0; run < runs; ++run) {
            // A run ends on a tick of the 100 ms receive poller; starting the next one at
            // evenly spread offsets from it keeps the click from being in step with it.
            pause(20 + run * 100 / runs);
            b.express(row, run, flash);
        }
        expressRows << row;
        std::fprintf(stderr, "express %d done\n", size);
    }
    b.selectChip(1);

    QList<Row> saveRows;
    for (int size : {1024, 2048, 4096}) {
        if (!doSave)
            break;
        Row row;
        row.size = size;
        row.limit = size * kByteMs;
        for (int run = 0; run < runs; ++run) {
            pause(20 + run * 100 / runs);
            b.save(row, run);
        }
        saveRows << row;
        std::fprintf(stderr, "save %d done\n", size);
    }

    if (doExpress) {
        printTable("Express (2051 for 1K and 2K, 4051 for 4K): click to \"Verify OK\" in RxText; "
                   "limit = (3 + n) x 10/9600 s + 10 ms erase + 1.5 ms x flash size",
                   expressRows, true);
        std::printf("\nThe limit leaves out what follows programming: the emulator's last two "
                    "lines (\"Program OK\\r\\nVerify OK\\r\\n\", 23 bytes, %.1f ms) and the wait "
                    "for the next 100 ms tick of the receive poller (Timer1); the last column is "
                    "that wait (wall - limit - %.1f ms).\n",
                    kReplyTailMs, kReplyTailMs);
    }
    if (doSave)
        printTable("Save: \"S\" command to file written; limit = n x 10/9600 s (the \"S\" is "
                   "placed one byte time before the block's first byte arrives)",
                   saveRows, false);
    std::printf("\nsleeps: voluntary context switches of the program over the span (each one a "
                "wake-up afterwards).\n");
    return only.isEmpty() ? benchToolWrite(runs) : 0;
}
