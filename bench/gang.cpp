#include "gang.h"

#include "benchsupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <vector>

using namespace bench;

namespace
{

constexpr int kImage = 2048; // fills an AT89C2051
constexpr int kChips = 5;    // a station
// A chip takes about 12 s on the paced line (the chip's longest times, see toolwrite.cpp);
// a tool that reports no chip for this long has stopped working, or waits for what the bench
// does not give it: the run is stopped.
constexpr int kQuietLimitMs = 40000;
constexpr double kWallTarget = 1.10; // four stations' wall time against one station's
constexpr double kCpuTarget = 1.0;   // % of one core a station

// A paced emulator whose control lines are written without waiting for their answers, so
// that a key is pressed at once from within the event loop.
class Emulator
{
public:
    ~Emulator();
    bool start();
    QString device() const { return m_device; }
    // The operator puts a new chip into the socket and presses the key of a 2 KiB chip.
    void nextChip() { m_process.write("chip 2051\nkey 2K\n"); }
    // The 16-bit sum of the chip's flash as the emulator tells it (empty when it does not).
    QString flashSum();

private:
    QProcess m_process;
    QString m_device;
};

Emulator::~Emulator()
{
    m_process.closeWriteChannel(); // the end of input ends the emulator
    if (!m_process.waitForFinished(2000))
        m_process.kill();
    m_process.waitForFinished(2000);
}

bool Emulator::start()
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(VANTOR_SIM_PATH), {QStringLiteral("--pace")});
    EventWait line([this] { return m_process.canReadLine(); });
    line.wakeOn(&m_process, &QProcess::readyReadStandardOutput);
    if (!line.run(5000))
        return false;
    m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    return !m_device.isEmpty();
}

QString Emulator::flashSum()
{
    m_process.write("state\n");
    QString state; // "state sram_sum=XXXX flash_sum=XXXX type=2051 socket=2051 lock=0"
    EventWait answer([&] {
        while (state.isEmpty() && m_process.canReadLine()) {
            const QString line = QString::fromLocal8Bit(m_process.readLine());
            if (line.startsWith(QLatin1String("state "))) // not the answer to a chip or a key
                state = line;
        }
        return !state.isEmpty();
    });
    answer.wakeOn(&m_process, &QProcess::readyReadStandardOutput);
    answer.run(5000);
    return state.section(QLatin1Char(' '), 2, 2).mid(10);
}

struct Figures {
    int stations = 0;
    double wallMs = 0;
    double cpuMs = 0;
    QString failure; // empty when every chip passed and the tool ended with 0
};

// One run of the tool over the emulators: a key for each station's next chip as soon as the
// chip before is reported, the end of input once every station has had its chips.
class GangRun
{
public:
    GangRun(std::vector<std::unique_ptr<Emulator>> &emulators, const QString &dir,
            const QString &flashSum);
    Figures run();

private:
    void onOutput();
    void onChip(const QJsonObject &chip);
    void fail(const QString &why);
    void judgeEnd();
    QStringList arguments() const;

    std::vector<std::unique_ptr<Emulator>> &m_emulators;
    const int m_stations;
    const QString m_flashSum; // the emulators' flash sum once written: the image's
    QProcess m_tool;
    QTimer m_quiet;
    QList<int> m_done; // chips reported, by station
    Figures m_figures;
};

GangRun::GangRun(std::vector<std::unique_ptr<Emulator>> &emulators, const QString &dir,
                 const QString &flashSum)
    : m_emulators(emulators), m_stations(static_cast<int>(emulators.size())), m_flashSum(flashSum),
      m_done(m_stations, 0)
{
    m_figures.stations = m_stations;
    m_tool.setWorkingDirectory(dir);
    QObject::connect(&m_tool, &QProcess::readyReadStandardOutput, [this] { onOutput(); });
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(kQuietLimitMs);
    QObject::connect(&m_quiet, &QTimer::timeout, [this] {
        fail(QStringLiteral("no chip reported for %1 s: stopped").arg(kQuietLimitMs / 1000));
    });
}

QStringList GangRun::arguments() const
{
    QStringList args{QStringLiteral("--json"), QStringLiteral("--chip"), QStringLiteral("2051")};
    for (const auto &emulator : m_emulators)
        args << QStringLiteral("--port") << emulator->device();
    return args << QStringLiteral("write") << QStringLiteral("image.tsk")
                << QStringLiteral("--repeat");
}

Figures GangRun::run()
{
    // The emulators of a run are ended after the tool: only the tool's time comes in between.
    const double cpu0 = childrenCpuMs();
    const double t0 = nowMs();
    // VANTOR_CLI: another build of the tool (an installed one, say) in place of this tree's.
    m_tool.start(qEnvironmentVariable("VANTOR_CLI", QStringLiteral(VANTOR_CLI_PATH)), arguments());
    m_quiet.start();
    EventWait ended([this] { return m_tool.state() == QProcess::NotRunning; });
    ended.wakeOn(&m_tool, &QProcess::finished).wakeOn(&m_tool, &QProcess::errorOccurred);
    if (!ended.run(kQuietLimitMs * (kChips + 1))) {
        fail(QStringLiteral("the tool did not end"));
        m_tool.waitForFinished(5000);
    }
    m_figures.wallMs = nowMs() - t0;
    m_figures.cpuMs = childrenCpuMs() - cpu0;
    m_quiet.stop();
    judgeEnd();
    return m_figures;
}

void GangRun::onOutput()
{
    while (m_tool.canReadLine()) {
        const QJsonObject event = QJsonDocument::fromJson(m_tool.readLine()).object();
        if (event.value(QStringLiteral("event")).toString() == QLatin1String("chip"))
            onChip(event);
    }
}

void GangRun::onChip(const QJsonObject &chip)
{
    // One programmer's events may leave the station out; several programmers' may not.
    if (!chip.contains(QStringLiteral("station")) && m_stations > 1)
        return fail(
            QStringLiteral("vantor-cli's chips name no station: it ran one programmer, not %1")
                .arg(m_stations));
    const int station = chip.value(QStringLiteral("station")).toInt(1);
    if (station < 1 || station > m_stations)
        return fail(QStringLiteral("a chip of station %1, of %2").arg(station).arg(m_stations));
    const int done = ++m_done[station - 1];
    if (done > kChips)
        return fail(QStringLiteral("station %1 wrote a chip with no key pressed").arg(station));
    if (!chip.value(QStringLiteral("passed")).toBool() && m_figures.failure.isEmpty())
        m_figures.failure = QStringLiteral("chip %1 of station %2 failed").arg(done).arg(station);
    m_quiet.start();
    if (done < kChips)
        m_emulators[static_cast<size_t>(station - 1)]->nextChip();
    else if (std::count(m_done.cbegin(), m_done.cend(), kChips) == m_stations)
        m_tool.closeWriteChannel(); // the end of input: the run ends
}

void GangRun::fail(const QString &why)
{
    if (m_figures.failure.isEmpty())
        m_figures.failure = why;
    m_tool.kill();
}

// The tool's verdict, and the bench's own: each station's chips, each emulator's flash.
void GangRun::judgeEnd()
{
    const QString said = QString::fromLocal8Bit(m_tool.readAllStandardError()).trimmed();
    const int code = m_tool.exitStatus() == QProcess::NormalExit ? m_tool.exitCode() : -1;
    if (m_tool.error() == QProcess::FailedToStart)
        m_figures.failure = QStringLiteral("vantor-cli did not start: ") + m_tool.errorString();
    if (code == 2 && std::count(m_done.cbegin(), m_done.cend(), 0) == m_stations)
        m_figures.failure = QStringLiteral("vantor-cli refused a run with %1 --port (exit 2): %2")
                                .arg(m_stations)
                                .arg(said.section(QLatin1Char('\n'), 0, 0));
    if (!m_figures.failure.isEmpty())
        return;
    if (code != 0)
        m_figures.failure = QStringLiteral("exit code %1: %2").arg(code).arg(said.right(400));
    for (int s = 0; s < m_stations && m_figures.failure.isEmpty(); ++s) {
        const QString flash = m_emulators[static_cast<size_t>(s)]->flashSum();
        if (m_done.at(s) != kChips || flash != m_flashSum)
            m_figures.failure = QStringLiteral("station %1: %2 chips, flash sum %3 (image %4)")
                                    .arg(s + 1)
                                    .arg(m_done.at(s))
                                    .arg(flash, m_flashSum);
    }
}

Figures runStations(int stations, const QString &dir, const QString &flashSum)
{
    std::vector<std::unique_ptr<Emulator>> emulators;
    for (int s = 0; s < stations; ++s) {
        emulators.push_back(std::make_unique<Emulator>());
        if (!emulators.back()->start())
            return {stations, 0, 0, QStringLiteral("an emulator did not start")};
    }
    return GangRun(emulators, dir, flashSum).run();
}

// The median of the runs that passed; -1 when none did.
double passedMedian(const QList<Figures> &runs, double (*value)(const Figures &))
{
    QList<double> values;
    for (const Figures &f : runs) {
        if (f.failure.isEmpty())
            values << value(f);
    }
    return values.isEmpty() ? -1 : median(values);
}

double wallOf(const Figures &f)
{
    return f.wallMs;
}

// CPU time as a share of one core, a station.
double cpuShareOf(const Figures &f)
{
    return f.cpuMs / f.wallMs / f.stations * 100.0;
}

// A median, or "failed" when no run passed.
QString show(double value, int decimals)
{
    return value < 0 ? QStringLiteral("failed") : fixed(value, decimals);
}

const char *verdict(bool measured, bool met)
{
    return !measured ? "not measured" : met ? "met" : "missed";
}

void print(const QList<Figures> &one, const QList<Figures> &four)
{
    const double wall1 = passedMedian(one, wallOf), wall4 = passedMedian(four, wallOf);
    const double cpu1 = passedMedian(one, cpuShareOf), cpu4 = passedMedian(four, cpuShareOf);
    auto cpuMs = [](const QList<Figures> &runs) {
        return show(passedMedian(runs, [](const Figures &f) { return f.cpuMs; }), 1);
    };
    const bool both = wall1 >= 0 && wall4 >= 0;
    std::printf(
        "\nvantor-cli write --repeat: %d chips a station of %d bytes (AT89C2051), each programmer "
        "a paced emulator (9600 baud, the chip's times), each next chip on its station's key; "
        "median of %lld run(s)\n\n"
        "| | 1 station | 4 stations | target | verdict |\n|---|---:|---:|---|---|\n"
        "| wall ms | %s | %s | | |\n"
        "| wall / 1 station's | %s | %s | 4 stations <= %.2f | %s |\n"
        "| tool's CPU ms | %s | %s | | |\n"
        "| CPU a station, %% of a core | %s | %s | <= %.0f %% | %s |\n\n",
        kChips, kImage, static_cast<long long>(one.size()), qPrintable(show(wall1, 1)),
        qPrintable(show(wall4, 1)), wall1 < 0 ? "failed" : "1.000",
        qPrintable(both ? fixed(wall4 / wall1, 3) : show(-1, 0)), kWallTarget,
        verdict(both, wall4 <= kWallTarget * wall1), qPrintable(cpuMs(one)),
        qPrintable(cpuMs(four)), qPrintable(show(cpu1, 2)), qPrintable(show(cpu4, 2)), kCpuTarget,
        verdict(both, cpu1 <= kCpuTarget && cpu4 <= kCpuTarget));
    std::printf("Wall: from the tool's start to its exit. CPU: the tool's user and system time "
                "(getrusage of the children waited for, around the tool alone).\n");
}

// Why runs failed, one line each.
bool reportFailures(const QList<Figures> &runs)
{
    bool any = false;
    for (qsizetype n = 0; n < runs.size(); ++n) {
        const Figures &f = runs.at(n);
        if (f.failure.isEmpty())
            continue;
        any = true;
        std::printf("%d station%s, run %lld failed: %s\n", f.stations, f.stations == 1 ? "" : "s",
                    static_cast<long long>(n + 1), qPrintable(f.failure));
    }
    return any;
}

QString writeImage(const QString &path)
{
    QByteArray image(kImage, '\0');
    quint32 x = 2026;
    quint16 sum = 0;
    for (char &c : image) {
        c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
        sum = static_cast<quint16>(sum + static_cast<quint8>(c));
    }
    writeFile(path, image);
    return QStringLiteral("%1").arg(sum, 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

int benchGang(int runs)
{
    QTemporaryDir dir;
    const QString flashSum = writeImage(dir.filePath(QStringLiteral("image.tsk")));
    QList<Figures> one, four;
    // In turn, so that what else the machine does falls on both alike.
    for (int n = 0; n < runs; ++n) {
        for (QList<Figures> *runsOf : {&one, &four}) {
            const int stations = runsOf == &one ? 1 : 4;
            *runsOf << runStations(stations, dir.path(), flashSum);
            std::fprintf(stderr, "gang: %d station(s), run %d: %s\n", stations, n + 1,
                         runsOf->last().failure.isEmpty()
                             ? qPrintable(fixed(runsOf->last().wallMs / 1000.0) + " s")
                             : "failed");
        }
    }
    print(one, four);
    const bool failed = reportFailures(one) | reportFailures(four);
    return failed ? 1 : 0;
}
