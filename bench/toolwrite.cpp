#include "toolwrite.h"

#include "benchsupport.h"

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

using namespace bench;

namespace
{

// write loads its image padded with FF to the chip's flash and reads the whole flash back;
// this image fills an AT89C2051's flash, so what is sent and received is its own size.
constexpr int kImage = 2048;
constexpr double kByteMs = 10.0 / 9.6;           // 9600 baud, 10 bits a character
constexpr double kDiscoveryMs = 400 + 600;       // first probe at 400 ms; chip told 6 ticks after
constexpr double kProgramMs = 10 + 1.5 * kImage; // the emulator's erase and programming
// No reply tells that the chip is done: the tool takes no step as done before the chip can
// have done it, by the chips' longest times (datasheets: a 10 ms erase pulse, 2 ms a byte
// written, 0.1 ms a byte read; 500 ms a command for the 12 V supply and the firmware's own
// waits). This is the floor a write can reach; the emulator's is the line's alone.
constexpr double kEraseMs = 10 + 500;
constexpr double kWriteMs = 2.0 * kImage + 500;
constexpr double kReadMs = 0.1 * kImage + 500;
constexpr double kChipMs = kEraseMs + kWriteMs + kReadMs;
// The emulator's replies in its own words (sim/README.md): the identification twice (the
// probe and the "i" after it), the chip, then each step of write, and the block.
constexpr int kReceived = 29 + 29 + 16 + 21 + 10 + 12 + 9 + 9 + kImage;

// Where the time of a run goes, from the tool's start to its end: the intervals between
// the commands as the emulator received them (the index of each command's first byte in
// what it received), each with its floor (its own bytes, the work, the reply on the line).
struct Step {
    const char *what;
    int to; // the command that ends the interval; -1: the tool's end
    double floorMs;
};
constexpr int kE = 3 + 3 + kImage; // "L", its length and the image come first
const Step kSteps[] = {
    {"start to the probe \"i\"", 0, 400},
    {"probe to \"i\" (26 characters)", 1, (1 + 26) * kByteMs},
    {"\"i\" to \"!\" (6 ticks)", 2, 600},
    {"\"!\" to \"L\"", 3, (1 + 16) * kByteMs},
    {"\"L\" and the image to \"E\"", kE, (3 + kImage + 21) * kByteMs},
    {"\"E\" to \"P\"", kE + 1, kByteMs + kEraseMs},
    {"\"P\" to \"F\"", kE + 2, kByteMs + kWriteMs},
    {"\"F\" to \"R\"", kE + 4, (2 + 9) * kByteMs},
    {"\"R\" to \"S2\"", kE + 5, kByteMs + kReadMs},
    {"\"S2\" to the end", -1, (2 + kImage) * kByteMs},
};
constexpr int kSent = kE + 7;

// The emulator's log: one line a received byte, "<ms> <hex>".
QList<double> byteTimes(const QString &path)
{
    QList<double> times;
    QFile log(path);
    if (log.open(QIODevice::ReadOnly)) {
        while (!log.atEnd())
            times << log.readLine().split(' ').value(0).toDouble();
    }
    return times;
}

struct Run {
    double wall = 0;
    double cpu = 0;
    QList<double> steps; // ms from each command to the next
};

bool runOnce(const QString &dir, int n, Run *run)
{
    const QString logPath = dir + QStringLiteral("/sim-%1.log").arg(n);
    QProcess sim;
    const double simStart = nowMs(); // the emulator's log counts from about here
    sim.start(QStringLiteral(VANTOR_SIM_PATH), {"--pace", "--log", logPath});
    if (!sim.waitForReadyRead(5000))
        return false;
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QProcess tool;
    tool.setWorkingDirectory(dir);
    const double cpu0 = childrenCpuMs();
    const double t0 = nowMs();
    tool.start(QStringLiteral(VANTOR_CLI_PATH), {"--port", device, "write", "image.tsk"});
    const bool ok = tool.waitForFinished(60000) && tool.exitCode() == 0;
    const double t1 = nowMs();
    run->wall = t1 - t0;
    run->cpu = childrenCpuMs() - cpu0;
    sim.write("quit\n");
    sim.waitForFinished(2000);
    const QList<double> times = byteTimes(logPath);
    if (!ok || times.size() != kSent) {
        std::fprintf(stderr, "write %d: exit %d, %lld bytes sent\n%s", n, tool.exitCode(),
                     static_cast<long long>(times.size()), tool.readAllStandardError().constData());
        return false;
    }
    double from = t0;
    for (const Step &step : kSteps) {
        const double to = step.to < 0 ? t1 : simStart + times.at(step.to);
        run->steps << to - from;
        from = to;
    }
    return true;
}

void print(const QList<Run> &runs)
{
    const double sentMs = kSent * kByteMs;
    const double receivedMs = kReceived * kByteMs;
    const double lineMs = kDiscoveryMs + sentMs + receivedMs;
    const double floor = lineMs + kChipMs;
    const double emulatorFloor = lineMs + kProgramMs;
    QList<double> wall, cpu;
    for (const Run &r : runs)
        wall << r.wall, cpu << r.cpu;
    const double w = median(wall);
    std::printf(
        "\nvantor-cli write, %d bytes (AT89C2051), emulator at 9600 baud: median of %lld\n\n"
        "| wall ms | floor ms | wall / floor | emulator's floor ms | wall / it | CPU ms |\n"
        "|---:|---:|---:|---:|---:|---:|\n| %s | %s | %s | %s | %s | %s |\n\n",
        kImage, static_cast<long long>(runs.size()), qPrintable(fixed(w)), qPrintable(fixed(floor)),
        qPrintable(fixed(w / floor, 3)), qPrintable(fixed(emulatorFloor)),
        qPrintable(fixed(w / emulatorFloor, 3)), qPrintable(fixed(median(cpu))));
    std::printf("Floor: discovery %s ms (first probe at 400 ms, the chip told 600 ms after the "
                "answer), %d bytes sent %s ms, %d bytes received %s ms, and the chip's longest "
                "erase, programming and read %s ms (the emulator's erase and programming: %s "
                "ms).\n\nWhere it goes (the commands as the emulator received them; the steps' "
                "floors\nleave out overlaps, so they add up to less):\n\n"
                "| step | ms | floor ms | added ms |\n"
                "|---|---:|---:|---:|\n",
                qPrintable(fixed(kDiscoveryMs, 0)), kSent, qPrintable(fixed(sentMs)), kReceived,
                qPrintable(fixed(receivedMs)), qPrintable(fixed(kChipMs, 0)),
                qPrintable(fixed(kProgramMs, 0)));
    for (size_t i = 0; i < std::size(kSteps); ++i) {
        QList<double> step;
        for (const Run &r : runs)
            step << r.steps.at(static_cast<qsizetype>(i));
        std::printf("| %s | %s | %s | %s |\n", kSteps[i].what, qPrintable(fixed(median(step))),
                    qPrintable(fixed(kSteps[i].floorMs)),
                    qPrintable(fixed(median(step) - kSteps[i].floorMs)));
    }
}

} // namespace

int benchToolWrite(int runs)
{
    QTemporaryDir dir;
    QByteArray image(kImage, '\0');
    quint32 x = 12345;
    for (char &c : image)
        c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
    QFile file(dir.filePath(QStringLiteral("image.tsk")));
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
        return 1;
    file.close();
    QList<Run> done;
    for (int n = 0; n < runs; ++n) {
        Run run;
        if (!runOnce(dir.path(), n, &run))
            return 1;
        done << run;
    }
    print(done);
    return 0;
}
