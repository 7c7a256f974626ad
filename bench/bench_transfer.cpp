// bench_transfer: Express and Save of 1K, 2K and 4K images through the workbench (no window)
// on the real serial line against the emulator at 9600 baud (vantor-sim --pace).
//
// Express: from the request to the firmware's "Verify OK" in the received text, against the
// line time of "Q", the length and the image plus the emulator's erase and programming time.
// Save: from the "S" command reaching the programmer (the save dialog answered) to the file
// written, against the line time of the block. CPU is this process's user + system time
// from the command handed to the port to the file written.
//
// usage: bench_transfer [RUNS] [express|save|write|gang], or bench_transfer gang [RUNS]
//   RUNS per size, default 3 (the median is shown); every part but gang unless one is named.
//   write: vantor-cli write of 2 KiB (bench/toolwrite.cpp).
//   gang: vantor-cli write --repeat with one programmer and with four (bench/gang.cpp);
//   RUNS default 1 there, each about two minutes.

#include "benchsupport.h"
#include "core/notice.h"
#include "core/workbench.h"
#include "gang.h"
#include "toolwrite.h"
#include "watchedline.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
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
    int size = 0;
    QList<double> wall;
    QList<double> cpu;
    QList<double> handOver; // Express: request to "Load completed"
    QList<double> handOverCpu;
    QList<double> sleeps; // voluntary context switches over the span
    QList<double> lead;   // Save: save dialog answered to the "S" command
    double limit = 0.0;
    int failures = 0;
};

// A moment: wall clock, CPU used so far, sleeps so far.
struct Mark {
    double at = 0.0;
    double cpu = 0.0;
    long sleeps = 0;
    static Mark now() { return {nowMs(), cpuMs(), bench::sleeps()}; }
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

// The 16-bit sum of the bytes.
quint16 sumOf(const QByteArray &bytes, int erasedBytes = 0)
{
    quint32 sum = 0xFFu * static_cast<quint32>(erasedBytes);
    for (const char byte : bytes)
        sum += static_cast<quint8>(byte);
    return static_cast<quint16>(sum);
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
    Bench(SimProcess &emulator, WatchedLine &line, Workbench &workbench,
          ScriptedDialogBackend &dialogs, const QString &dir)
        : sim(emulator), line(line), w(workbench), s(workbench.session()), dialogs(dialogs),
          dir(dir)
    {
        QObject::connect(&w, &Workbench::notice, &w, [this](const Notice &n) { last = n; });
    }

    bool waitReceived(const QString &needle, int timeoutMs)
    {
        EventWait wait([&] { return s.receivedText().contains(needle); });
        wait.wakeOn(&s, &ProgrammerSession::received);
        return wait.run(timeoutMs);
    }

    bool connect()
    {
        EventWait found([&] {
            return last.kind == Notice::Found && s.chip() == 0 &&
                   s.receivedText().contains(QStringLiteral("Chip AT89C2051"));
        });
        found.wakeOn(&w, &Workbench::notice).wakeOn(&s, &ProgrammerSession::received);
        return found.run(10000);
    }

    // Chooses chip 0 (2051) or 1 (4051) and puts that chip into the emulator's socket.
    bool selectChip(int chip)
    {
        const char *shortName = chip == 1 ? "4051" : "2051";
        if (sim.control(QStringLiteral("chip %1").arg(QLatin1String(shortName))) !=
            QLatin1String("ok"))
            return false;
        if (s.chip() == chip)
            return true;
        w.chooseChip(chip);
        return waitReceived(QStringLiteral("Chip AT89C%1").arg(QLatin1String(shortName)), 3000);
    }

    void express(Row &row, int run, int flash);
    void save(Row &row, int run);

    SimProcess &sim;
    WatchedLine &line;
    Workbench &w;
    ProgrammerSession &s;
    ScriptedDialogBackend &dialogs;
    QString dir;
    Notice last;
};

// flash: the chosen chip's flash size (erased bytes past the image read 0xFF).
void Bench::express(Row &row, int run, int flash)
{
    const QByteArray image = makeImage(row.size, run);
    writeFile(w.latestFile(), image);
    Mark handed;
    const auto watch = QObject::connect(&w, &Workbench::transferTaken, &w, [&](Transfer *t) {
        QObject::connect(t, &Transfer::finished, &w, [&handed] { handed = Mark::now(); });
    });
    const Mark start = Mark::now();
    w.express();
    const bool ok = waitReceived(QStringLiteral("Verify OK"), 60000);
    const Mark end = Mark::now();
    QObject::disconnect(watch);

    const QString flashSum = sim.control(QStringLiteral("state")).section(' ', 2, 2);
    const QString wantSum =
        QStringLiteral("flash_sum=") +
        QStringLiteral("%1").arg(sumOf(image, flash - row.size), 4, 16, QLatin1Char('0')).toUpper();
    if (!ok || last.kind != Notice::ExpressCompleted || last.number != sumOf(image) ||
        flashSum != wantSum) {
        std::fprintf(stderr, "express %d: failed (notice '%s', received '%s', %s)\n", row.size,
                     qPrintable(Messages::text(last)), qPrintable(s.receivedText()),
                     qPrintable(flashSum));
        ++row.failures;
        return;
    }
    row.wall << end.at - start.at;
    row.cpu << end.cpu - start.cpu;
    row.handOver << handed.at - start.at;
    row.handOverCpu << handed.cpu - start.cpu;
    row.sleeps << static_cast<double>(end.sleeps - start.sleeps);
}

void Bench::save(Row &row, int run)
{
    const QString path = dir + QStringLiteral("/save-%1-%2.tsk").arg(row.size).arg(run);
    QFile::remove(path);
    Mark answered, asked, written;
    dialogs.choose(path);
    dialogs.whileAsking = [&answered] { answered = Mark::now(); };
    const QByteArray command = row.size == 1024 ? "S1" : row.size == 2048 ? "S2" : "S4";
    const auto watchLine =
        QObject::connect(&line, &WatchedLine::wrote, &w, [&](const QByteArray &bytes) {
            if (bytes == command)
                asked = Mark::now();
        });
    EventWait done([&] { return written.at != 0.0; });
    // Connected after the workbench: the file has been written when this runs.
    const auto watchEnd = QObject::connect(&w, &Workbench::transferTaken, &w, [&](Transfer *t) {
        QObject::connect(t, &Transfer::finished, &w, [&written] { written = Mark::now(); });
        done.wakeOn(t, &Transfer::finished);
    });
    const bool ok = w.offerSave() && w.save(row.size) && done.run(30000);
    QObject::disconnect(watchLine);
    QObject::disconnect(watchEnd);
    dialogs.whileAsking = nullptr;
    if (!ok || asked.at == 0.0 || readFile(path).size() != row.size) {
        std::fprintf(stderr, "save %d: failed (notice '%s', file %lld bytes)\n", row.size,
                     qPrintable(Messages::text(last)),
                     static_cast<long long>(readFile(path).size()));
        ++row.failures;
        return;
    }
    // From the moment the programmer has the whole command, as the line delivers it.
    row.wall << written.at - (asked.at + static_cast<double>(command.size()) * kByteMs);
    row.lead << asked.at - answered.at;
    row.cpu << written.cpu - asked.cpu;
    row.sleeps << static_cast<double>(written.sleeps - asked.sleeps);
}

void printExpressRow(const Row &r, double wall)
{
    QList<double> after;
    for (qsizetype i = 0; i < r.cpu.size(); ++i)
        after << r.cpu.at(i) - r.handOverCpu.at(i);
    std::printf(" %s | %s | %s | %s | %s |\n", qPrintable(fixed(median(r.handOver))),
                qPrintable(fixed(median(r.handOverCpu))), qPrintable(fixed(median(after))),
                qPrintable(fixed(median(r.sleeps), 0)),
                qPrintable(fixed(wall - r.limit - kReplyTailMs)));
}

void printTable(const char *title, const QList<Row> &rows, bool express)
{
    std::printf("\n%s\n\n", title);
    if (express)
        std::printf("| size | wall ms | limit ms | overhead %% | CPU ms | sent at ms | "
                    "CPU ms until sent | CPU ms after | sleeps | last reply byte to text ms |\n"
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
        if (express)
            printExpressRow(r, wall);
        else
            std::printf(" %s | %s | %s |\n", qPrintable(fixed(cpu / wall * 100.0, 2)),
                        qPrintable(fixed(median(r.sleeps), 0)), qPrintable(fixed(median(r.lead))));
        if (r.failures)
            std::printf("  (%d failed runs)\n", r.failures);
    }
}

QList<Row> runExpress(Bench &b, int runs)
{
    QList<Row> rows;
    for (int size : {1024, 2048, 4096}) {
        const int chip = size == 4096 ? 1 : 0;
        const int flash = chip == 1 ? 4096 : 2048;
        if (!b.selectChip(chip)) {
            std::fprintf(stderr, "cannot choose chip %d\n", chip);
            return rows;
        }
        Row row;
        row.size = size;
        row.limit = (3 + size) * kByteMs + kEraseMs + kProgramMsPerByte * flash;
        for (int run = 0; run < runs; ++run) {
            // A run ends on a tick of the 100 ms receive poller; starting the next one at
            // evenly spread offsets from it keeps the request from being in step with it.
            pause(20 + run * 100 / runs);
            b.express(row, run, flash);
        }
        rows << row;
        std::fprintf(stderr, "express %d done\n", size);
    }
    b.selectChip(0);
    return rows;
}

QList<Row> runSave(Bench &b, int runs)
{
    QList<Row> rows;
    for (int size : {1024, 2048, 4096}) {
        Row row;
        row.size = size;
        row.limit = size * kByteMs;
        for (int run = 0; run < runs; ++run) {
            pause(20 + run * 100 / runs);
            b.save(row, run);
        }
        rows << row;
        std::fprintf(stderr, "save %d done\n", size);
    }
    return rows;
}

void printResults(const QList<Row> &expressRows, const QList<Row> &saveRows)
{
    if (!expressRows.isEmpty()) {
        printTable("Express (2051 for 1K and 2K, 4051 for 4K): request to \"Verify OK\" in the "
                   "received text; limit = (3 + n) x 10/9600 s + 10 ms erase + 1.5 ms x flash "
                   "size",
                   expressRows, true);
        std::printf("\nThe limit leaves out what follows programming: the emulator's last two "
                    "lines (\"Program OK\\r\\nVerify OK\\r\\n\", 23 bytes, %.1f ms) and the wait "
                    "for the next 100 ms tick of the receive poller; the last column is that "
                    "wait (wall - limit - %.1f ms).\n",
                    kReplyTailMs, kReplyTailMs);
    }
    if (!saveRows.isEmpty())
        printTable("Save: \"S\" command received by the programmer (handed to the port, plus "
                   "its two bytes on the line) to file written; limit = n x 10/9600 s",
                   saveRows, false);
    std::printf("\nsleeps: voluntary context switches of the program over the span (each one a "
                "wake-up afterwards).\n");
}

} // namespace

int main(int argc, char **argv)
{
    setUpEnvironment(true);
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "gang") == 0)
        return benchGang(argc > 2 ? std::max(1, std::atoi(argv[2])) : 1);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (only == QLatin1String("write"))
        return benchToolWrite(runs);
    if (only == QLatin1String("gang"))
        return benchGang(runs);

    SimProcess sim({QStringLiteral("--pace")});
    if (!sim.start())
        return 1;
    QTemporaryDir dir;
    // The image Express sends is the latest file, remembered from an earlier run.
    writeFile(dir.filePath(QStringLiteral("tsk.log")),
              dir.filePath(QStringLiteral("express.tsk")).toLocal8Bit());
    WatchedLine line(PortMap::fromDevices({sim.device()}));
    ScriptedDialogBackend dialogs;
    Workbench workbench(&line, &dialogs);
    Bench b(sim, line, workbench, dialogs, dir.path());
    workbench.start(dir.path());
    if (!b.connect()) {
        std::fprintf(stderr, "the programmer was not found (notice '%s')\n",
                     qPrintable(Messages::text(b.last)));
        return 1;
    }
    std::printf("emulator on %s, %d run(s) per size, median shown\n", qPrintable(sim.device()),
                runs);
    const QList<Row> expressRows =
        only.isEmpty() || only == QLatin1String("express") ? runExpress(b, runs) : QList<Row>();
    const QList<Row> saveRows =
        only.isEmpty() || only == QLatin1String("save") ? runSave(b, runs) : QList<Row>();
    printResults(expressRows, saveRows);
    return only.isEmpty() ? benchToolWrite(runs) : 0;
}
