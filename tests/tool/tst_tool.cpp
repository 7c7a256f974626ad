#include "simfixture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

// vantor-cli run as a process against the emulator, in its own words and in other ones
// (--texts other): its arguments, exit codes and output streams, what it puts on the line
// and what the emulator's chip holds afterwards. The verdicts must not depend on the words.
class TstTool : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { QFile::remove(file("chip.log")); }

    void writeProgramsTheChip_data();
    void writeProgramsTheChip();
    void verifyNamesTheFirstDifference_data();
    void verifyNamesTheFirstDifference();
    void commandsSendTheirBytes_data();
    void commandsSendTheirBytes();
    void chipIsRemembered();
    void imagesInAndOut();
    void exitCodes_data();
    void exitCodes();
    void silenceIsNoAnswerOnlyWhenAnAnswerIsAskedFor();
    void settleWaitsForALateLine();
    void productionRun_data();
    void productionRun();
    void jsonEvents();
    void unplugDuringTransferIsNoProgrammer();
    void convert();
    void pathsShownAsWritten();
    void portsListsWhoAnswers();
    void progressOnTerminalAndInLines();
    void simulateStartsTheEmulator();
    void linksWithoutWidgets();

private:
    struct Run {
        int code = -1;
        QString out;
        QString err;
    };
    // The tool in the test's folder; "DEV" in args is the emulator's device. start() leaves
    // it running, finish() waits for it; tool() does both.
    void start(QProcess &process, QStringList args, SimProcess *sim = nullptr);
    static Run finish(QProcess &process);
    Run tool(const QStringList &args, SimProcess *sim = nullptr, const QString &errFile = {});
    static QString data(const char *name) { return QStringLiteral(VANTOR_TEST_DATA "/") + name; }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    static QByteArray flash(SimProcess &sim, int address, int count)
    {
        return QByteArray::fromHex(
            sim.control(QString("flash %1 %2").arg(address).arg(count)).toLatin1());
    }

    QTemporaryDir m_dir;
    QByteArray m_blink;    // blink.tsk, 2048 bytes
    QByteArray m_blinkHex; // the 143 bytes that blink.ihx gives
};

void TstTool::start(QProcess &process, QStringList args, SimProcess *sim)
{
    if (sim)
        args.replaceInStrings(QStringLiteral("DEV"), sim->device());
    process.setWorkingDirectory(m_dir.path());
    process.start(QStringLiteral(VANTOR_CLI_PATH), args);
}

TstTool::Run TstTool::finish(QProcess &process)
{
    Run run;
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("<did not end within 60 s>");
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

TstTool::Run TstTool::tool(const QStringList &args, SimProcess *sim, const QString &errFile)
{
    QProcess process;
    if (!errFile.isEmpty())
        process.setStandardErrorFile(errFile, QIODevice::Append);
    start(process, args, sim);
    return finish(process);
}

void TstTool::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_blink = readFile(data("blink.tsk"));
    QCOMPARE(m_blink.size(), 2048);
    m_blinkHex = m_blink.left(143);
}

void TstTool::writeProgramsTheChip_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QString>("out");
    QTest::newRow("own words") << QStringList{}
                               << "SRAM cleared\nLoad OK, 143 bytes\nErase OK\n"
                                  "Program OK\nFill FD\nRead OK\n";
    QTest::newRow("other words") << QStringList{"--texts", "other"}
                                 << "geloescht\nprogrammiert\nausgelesen\n";
}

void TstTool::writeProgramsTheChip()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QString, out);
    SimProcess sim(simArgs);
    QVERIFY(sim.start());
    const Run r = tool({"--port", "DEV", "write", data("blink.ihx")}, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, out + "verify: 143 bytes match\n");
    // The search, the chip, then clear, load, erase, program; the SRAM filled with the
    // complement of the first byte, read, read back 1K.
    const QByteArray expected = "ii!X" + QByteArray("L\x00\x8F", 3) + m_blinkHex + "EPF\xFDRS1";
    QVERIFY(sim.waitReceived(static_cast<int>(expected.size())));
    QCOMPARE(sim.received(), expected);
    QCOMPARE(flash(sim, 0, 143), m_blinkHex);
    QCOMPARE(flash(sim, 143, 2048 - 143), QByteArray(2048 - 143, char(0xFF)));
    QCOMPARE(readFile(file("chip.log")), QByteArray("2051"));
}

void TstTool::verifyNamesTheFirstDifference_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("address"); // -1: the chip locked, so that it cannot be read
    QTest::addColumn<QString>("difference");
    const QStringList other{"--texts", "other"};
    QTest::newRow("raw, in the code") << QStringList() << "changed.tsk" << 0x0083
                                      << "1 byte of 2048 differs, the first at 0x0083 (chip "
                                         "0x07, file 0x17)";
    QTest::newRow("raw, other words") << other << "changed.bin" << 0x07FF
                                      << "1 byte of 2048 differs, the first at 0x07FF (chip "
                                         "0xFF, file 0xEF)";
    QTest::newRow("locked chip") << QStringList() << "blink.tsk" << -1
                                 << "2047 bytes of 2048 differ, the first at 0x0000 (chip "
                                    "0xFD, file 0x02)";
    QTest::newRow("locked chip, other words") << other << "blink.tsk" << -1
                                              << "2047 bytes of 2048 differ, the first at 0x0000 "
                                                 "(chip 0xFD, file 0x02)";
}

void TstTool::verifyNamesTheFirstDifference()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QString, name);
    QFETCH(int, address);
    QFETCH(QString, difference);
    SimProcess sim(simArgs);
    QVERIFY(sim.start());
    Run r = tool({"--port", "DEV", "write", data("blink.tsk")}, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QByteArray changed = m_blink;
    if (address >= 0) {
        changed[address] = static_cast<char>(changed.at(address) ^ 0x10);
    } else {
        // A locked chip refuses to be read: the SRAM still holds the image just loaded.
        QCOMPARE(tool({"--port", "DEV", "lock"}, &sim).code, 0);
        QCOMPARE(tool({"--port", "DEV", "load", data("blink.tsk")}, &sim).code, 0);
    }
    writeFile(file("changed.tsk"), changed);
    QCOMPARE(tool({"convert", file("changed.tsk"), file(name)}).code, 0);
    sim.markReceived();
    r = tool({"--port", "DEV", "verify", file(name)}, &sim);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.out.endsWith("verify: " + difference + "\n"), qPrintable(r.out));
    // Verify only reads: the chip is as it was.
    QCOMPARE(sim.received(), "ii!F" + QByteArray(1, ~changed.at(0)) + "RS2");
    QCOMPARE(flash(sim, 0, 2048), m_blink);
}

void TstTool::commandsSendTheirBytes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("sent"); // after the search's "ii" and the chip's "!"
    QTest::addColumn<QString>("out");
    QTest::addColumn<bool>("other"); // the emulator in other words
    auto row = [](const char *name, const QStringList &args, const QByteArray &sent,
                  const QString &out,
                  bool other = false) { QTest::newRow(name) << args << sent << out << other; };
    row("erase", {"erase"}, "E", "Erase OK\n");
    row("blank", {"blank"}, "B", "Blank\n");
    row("sig", {"sig"}, "s", "Signature 1E 21 AT89C2051 OK\n");
    row("lock", {"lock"}, "l", "Lock bits set\n");
    row("program", {"program"}, "P", "Program OK\n");
    row("clear", {"clear"}, "X", "SRAM cleared\n");
    row("checksum", {"checksum"}, "c", "Checksum F800\n");
    row("version", {"version"}, "i", "Vantor USB Programmer V2.10\n");
    row("test sram", {"test", "sram"}, "tR", "SRAM test OK, 8192 bytes\n");
    row("test led", {"test", "led"}, "tL", "LED test done\n");
    row("test buzzer", {"test", "buzzer"}, "tb", "Buzzer test done\n");
    row("test vpp", {"test", "vpp"}, "tV", "Vpp 12.0 V\n");
    row("test vpp-high", {"test", "vpp-high"}, "th", "Vpp high\n");
    row("test vpp-low", {"test", "vpp-low"}, "tl", "Vpp low\n");
    row("test firmware", {"test", "firmware"}, "tf", "Firmware V2.10\n");
    const QString ff = " FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF\n";
    row("dump 7F0", {"dump", "7F0"}, "d\x07\xF0",
        "07F0:" + ff + "0800:" + ff + "0810:" + ff + "0820:" + ff);
    row("dump 0x0000", {"dump", "0x0000"}, QByteArray("d\x00\x00", 3),
        "0000:" + ff + "0010:" + ff + "0020:" + ff + "0030:" + ff);
    row("fill 5a", {"fill", "5a"}, "F\x5A", "Fill 5A\n");
    row("fill 0", {"fill", "0"}, QByteArray("F\x00", 2), "Fill 00\n");
    // Other words: silence where no answer is needed, lines ended by LF, CR or LF CR.
    row("other: fill", {"fill", "0"}, QByteArray("F\x00", 2), "", true);
    row("other: clear", {"clear"}, "X", "", true);
    row("other: checksum", {"checksum"}, "c", "Summe f800\n", true);
    row("other: test led", {"test", "led"}, "tL", "LED an und aus\n", true);
    row("other: dump", {"dump", "0FF0"}, "d\x0F\xF0",
        "0ff0>" + ff.toLower() + "1000>" + ff.toLower() + "1010>" + ff.toLower() + "1020>" +
            ff.toLower(),
        true);
}

void TstTool::commandsSendTheirBytes()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, sent);
    QFETCH(QString, out);
    QFETCH(bool, other);
    SimProcess sim(other ? QStringList{"--texts", "other"} : QStringList());
    QVERIFY(sim.start());
    const Run r = tool(QStringList{"--port", "DEV"} + args, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, out); // only the command's own reply
    QVERIFY(sim.waitReceived(static_cast<int>(sent.size()) + 3));
    QCOMPARE(sim.received(), "ii!" + sent);
}

void TstTool::chipIsRemembered()
{
    SimProcess sim({"--chip", "4051"});
    QVERIFY(sim.start());
    Run r = tool({"--port", "DEV", "chip", "4051"}, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, "Chip AT89C4051\n");
    QCOMPARE(readFile(file("chip.log")), QByteArray("4051"));

    // The next run in the same folder tells the programmer the same chip.
    sim.markReceived();
    r = tool({"--port", "DEV", "sig"}, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, "Signature 1E 41 AT89C4051 OK\n");
    QCOMPARE(sim.received(), QByteArray("ii@s"));

    // --chip chooses for the run, and is remembered as the chip last chosen.
    sim.markReceived();
    r = tool({"--port", "DEV", "--chip", "1051U", "version"}, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(sim.received(), QByteArray("ii#i"));
    QCOMPARE(readFile(file("chip.log")), QByteArray("1051U"));
}

void TstTool::imagesInAndOut()
{
    SimProcess sim;
    QVERIFY(sim.start());
    // Load fills the SRAM only.
    Run r = tool({"--port", "DEV", "load", data("blink.tsk")}, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, "Load OK, 2048 bytes\n");
    QVERIFY(r.err.contains("Load completed\n"));
    QCOMPARE(sim.stateField("flash_sum"), "F800");

    // Express: loaded, erased, programmed and verified in one step, from the HEX file.
    sim.markReceived();
    r = tool({"--port", "DEV", "express", data("blink.ihx")}, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, "Load OK, 143 bytes\nErase OK\nProgram OK\nVerify OK\n");
    QVERIFY(r.err.contains("Load completed... ( Checksum = 3D6C )\n"));
    QCOMPARE(sim.received(), "ii!Q" + QByteArray("\x00\x8F", 2) + m_blinkHex);
    QCOMPARE(flash(sim, 0, 143), m_blinkHex);

    // Read: the chip into the SRAM, then 1K of the SRAM into a file.
    QCOMPARE(tool({"--port", "DEV", "fill", "00"}, &sim).code, 0);
    r = tool({"--port", "DEV", "read", file("chip.bin"), "--size", "1K"}, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, "Read OK\n");
    QCOMPARE(readFile(file("chip.bin")), m_blinkHex + QByteArray(1024 - 143, char(0xFF)));
}

void TstTool::exitCodes_data()
{
    QTest::addColumn<QStringList>("simArgs"); // {"none"}: no emulator
    QTest::addColumn<QString>("control");     // sent to the emulator first
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("err");
    const QStringList sim;
    const QStringList none{"none"};
    const QStringList wrongChip{"--chip", "4051"};
    auto row = [](const char *name, const QStringList &simArgs, const QString &control,
                  const QStringList &args, int code, const QString &err) {
        QTest::newRow(name) << simArgs << control << args << code << err;
    };
    row("0: help", none, {}, {"--help"}, 0, {});
    row("0: words do not decide", wrongChip, {}, {"--port", "DEV", "erase"}, 0, {});
    row("1: unless --fail-on says so", wrongChip, {},
        {"--port", "DEV", "--fail-on", "^(Error|Kennung .* statt)", "erase"}, 1,
        "the programmer said: Error: signature 1E 41, expected 1E 21");
    row("1: --fail-on, other words", wrongChip + QStringList{"--texts", "other"}, {},
        {"--port", "DEV", "--fail-on", "^(Error|Kennung .* statt)", "erase"}, 1,
        "the programmer said: Kennung 1E41 statt 1E21 (89C2051)");
    row("1: short block", sim, "short 100", {"--port", "DEV", "save", "short.tsk", "--size", "1K"},
        1, "the programmer sent 100 of 1024 bytes");
    row("2: no command", sim, {}, {"--port", "DEV"}, 2, "no command given");
    row("2: unknown command", sim, {}, {"--port", "DEV", "flash"}, 2, "unknown command \"flash\"");
    row("2: unknown option", sim, {}, {"--port", "DEV", "--fast", "sig"}, 2, "fast");
    row("2: missing argument", sim, {}, {"--port", "DEV", "dump"}, 2,
        "dump takes 1 argument, got 0");
    row("2: unknown chip", sim, {}, {"--port", "DEV", "chip", "8051"}, 2, "unknown chip \"8051\"");
    row("2: dump address", sim, {}, {"--port", "DEV", "dump", "1000"}, 2, "0000 to 0FFF");
    row("2: size", sim, {}, {"--port", "DEV", "save", "x.tsk", "--size", "3K"}, 2,
        "unknown size \"3K\"");
    row("2: settle", sim, {}, {"--port", "DEV", "--settle", "soon", "sig"}, 2, "--settle takes");
    row("2: fail-on", sim, {}, {"--port", "DEV", "--fail-on", "(", "sig"}, 2, "--fail-on: not");
    row("2: repeat for sig", sim, {}, {"--port", "DEV", "--repeat", "sig"}, 2, "are for write");
    row("2: log into a missing folder", sim, {},
        {"--port", "DEV", "--log", "no/such/log.csv", "write", data("blink.tsk")}, 2,
        "cannot write the log");
    row("2: missing file", sim, {}, {"--port", "DEV", "load", "nothing.hex"}, 2,
        "nothing.hex: no such file");
    row("2: a folder", sim, {}, {"--port", "DEV", "load", "."}, 2, ".: not a file");
    row("2: bad checksum", sim, {}, {"--port", "DEV", "write", "bad.hex"}, 2,
        "bad.hex: line 1: checksum");
    row("2: a name with %1", sim, {}, {"--port", "DEV", "load", "e%1f%2.hex"}, 2,
        "e%1f%2.hex: 1048577 bytes is far too long");
    row("2: beyond the 2051", sim, {}, {"--port", "DEV", "express", "c%1d%2.tsk"}, 2,
        "c%1d%2.tsk: 4096 bytes, more than the AT89C2051's 2048 bytes of flash");
    row("2: beyond the buffer", sim, {}, {"--port", "DEV", "load", "a%1b%2.bin"}, 2,
        "a%1b%2.bin: 5000 bytes, more than the programmer's 4999-byte buffer");
    row("2: save into a missing folder", sim, {}, {"--port", "DEV", "save", "no/such/x.tsk"}, 2,
        "cannot write there");
    row("3: no such device", none, {}, {"--port", "/dev/no-such-programmer", "sig"}, 3,
        "no programmer answered (tried COM1 /dev/no-such-programmer)");
    row("3: silent", {"--silent"}, {}, {"--port", "DEV", "sig"}, 3, "no programmer answered");
    row("3: one character short", {"--id", "Vantor USB Programmer V\\r\\n"}, {},
        {"--port", "DEV", "version"}, 3, "no programmer answered");
    row("3: no ports at all", none, {}, {"--ports", ",,", "sig"}, 3, "no serial ports");
}

void TstTool::exitCodes()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QString, control);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, err);
    writeFile(file("bad.hex"), ":10000000000102030405060708090A0B0C0D0E0F00\n:00000001FF\n");
    writeFile(file("e%1f%2.hex"), QByteArray(1024 * 1024 + 1, '\n'));
    writeFile(file("c%1d%2.tsk"), QByteArray(4096, 'd'));
    writeFile(file("a%1b%2.bin"), QByteArray(5000, 'e'));
    std::unique_ptr<SimProcess> sim;
    if (simArgs != QStringList{"none"}) {
        sim = std::make_unique<SimProcess>(simArgs);
        QVERIFY(sim->start());
        if (!control.isEmpty())
            QCOMPARE(sim->control(control), "ok");
    }
    const Run r = tool(args, sim.get());
    QVERIFY2(r.code == code, qPrintable(QString("exit %1, stderr: %2").arg(r.code).arg(r.err)));
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    if (code == 2 && sim) {
        QCOMPARE(r.out, QString());
        QCOMPARE(sim->received(), QByteArray()); // refused before the search
    }
    if (args == QStringList{"--help"})
        QVERIFY(r.out.endsWith("(none found, or it went away).\n"));
    QVERIFY(!QFile::exists(file("short.tsk")));
}

// A board of the test's own on a pseudo-terminal that keeps only the first promise: it
// answers "i" with an identification, and nothing else.
struct IdentityOnlyBoard {
    IdentityOnlyBoard()
    {
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        device = QString::fromLocal8Bit(ptsname(master));
        slave = ::open(ptsname(master), O_RDWR | O_NOCTTY); // kept open, as a board's
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] {
            char bytes[64];
            const ssize_t n = ::read(master, bytes, sizeof bytes);
            for (ssize_t i = 0; i < n; ++i)
                QVERIFY(bytes[i] != 'i' ||
                        ::write(master, "Vantor USB Programmer V2.10\r\n", 29) == 29);
        });
    }
    ~IdentityOnlyBoard()
    {
        notifier.setEnabled(false);
        ::close(slave);
        ::close(master);
    }
    QString device;
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    int slave = -1;
    QSocketNotifier notifier{master, QSocketNotifier::Read};
};

void TstTool::silenceIsNoAnswerOnlyWhenAnAnswerIsAskedFor()
{
    IdentityOnlyBoard board;
    QVERIFY(!board.device.isEmpty());
    for (const char *command : {"checksum", "clear"}) {
        QProcess process;
        start(process, {"--port", board.device, command});
        QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, 20000);
        const Run r = finish(process);
        if (command == QByteArray("clear")) {
            QVERIFY2(r.code == 0, qPrintable(r.err)); // done without an answer
        } else {
            QCOMPARE(r.code, 1);
            QVERIFY2(r.err.contains("no answer within 0.5 s"), qPrintable(r.err));
        }
    }
}

void TstTool::settleWaitsForALateLine()
{
    SimProcess sim;
    QVERIFY(sim.start());
    QProcess process;
    start(process, {"--port", "DEV", "--settle", "3000", "version"}, &sim);
    // The reply is on the way out; a line that follows it within the settle time belongs
    // to it.
    QTRY_VERIFY_WITH_TIMEOUT(process.peek(100).startsWith("Vantor"), 10000);
    QCOMPARE(sim.control("send and a late line\\r\\n"), "ok");
    const Run r = finish(process);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, "Vantor USB Programmer V2.10\nand a late line\n");
}

void TstTool::productionRun_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<bool>("interrupt"); // Ctrl+C ends the run, not the end of input
    QTest::newRow("own words, end of input") << QStringList() << false;
    QTest::newRow("other words, Ctrl+C") << QStringList{"--texts", "other"} << true;
}

void TstTool::productionRun()
{
    QFETCH(QStringList, simArgs);
    QFETCH(bool, interrupt);
    SimProcess sim(simArgs);
    QVERIFY(sim.start());
    QFile::remove(file("chips.csv"));
    QProcess process;
    start(process, {"--port", "DEV", "--log", "chips.csv", "write", data("blink.tsk"), "--repeat"},
          &sim);
    QString out;
    auto waitFor = [&](const QString &line) {
        return QTest::qWaitFor(
            [&] {
                return (out += QString::fromUtf8(process.readAllStandardOutput())).contains(line);
            },
            30000);
    };
    QVERIFY2(waitFor("chip 1: passed (1 passed, 0 failed)\n"), qPrintable(out));
    // The next chip is not the one chosen: it cannot be programmed or read.
    QCOMPARE(sim.control("chip 4051"), "ok");
    QCOMPARE(sim.control("key 2K"), "ok");
    QVERIFY2(waitFor("chip 2: failed, first difference at 0x0000 (1 passed, 1 failed)\n"),
             qPrintable(out));
    QCOMPARE(sim.control("chip 2051"), "ok");
    process.write("\n"); // Enter
    QVERIFY2(waitFor("chip 3: passed (2 passed, 1 failed)\n"), qPrintable(out));
    if (interrupt)
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    else
        process.closeWriteChannel();
    const Run r = finish(process);
    QCOMPARE(r.code, 1);
    QVERIFY2((out + r.out).endsWith("3 chips: 2 passed, 1 failed\n"), qPrintable(out + r.out));
    const QStringList log = QString::fromUtf8(readFile(file("chips.csv"))).split('\n');
    QCOMPARE(log.size(), 4); // three lines, each ended
    const QStringList results{",AT89C2051,A6FB,passed,", ",AT89C2051,A6FB,failed,0x0000",
                              ",AT89C2051,A6FB,passed,"};
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(log.at(i).endsWith(results.at(i)), qPrintable(log.at(i)));
        QVERIFY(QDateTime::fromString(log.at(i).section(',', 0, 0), Qt::ISODate).isValid());
    }
    QCOMPARE(flash(sim, 0, 2048), m_blink);
}

void TstTool::jsonEvents()
{
    SimProcess sim;
    QVERIFY(sim.start());
    const Run r = tool({"--port", "DEV", "--json", "write", data("blink.ihx")}, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QStringList events; // what each says, without progress between its start and its end
    for (const QString &line : r.out.split('\n', Qt::SkipEmptyParts)) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        const int done = o.value("done").toInt();
        if (done == 0 || done == o.value("total").toInt())
            events << QStringList{o.value("event").toString(), o.value("text").toString(),
                                  o.value("what").toString(), QString::number(done)}
                          .join(' ');
    }
    QCOMPARE(events, QStringList({"reply SRAM cleared  0", "progress  load 0", "progress  load 143",
                                  "reply Load OK, 143 bytes  0", "reply Erase OK  0",
                                  "reply Program OK  0", "reply Fill FD  0", "reply Read OK  0",
                                  "progress  read back 0", "progress  read back 1024",
                                  "result verify: 143 bytes match  0", "done   0"}));
    QVERIFY(r.out.endsWith("{\"event\":\"done\",\"exit\":0}\n"));
    QVERIFY2(r.err.contains("load: 143/143 bytes (100%)\n"), qPrintable(r.err)); // progress stays
}

void TstTool::unplugDuringTransferIsNoProgrammer()
{
    SimProcess sim({"--pace"});
    QVERIFY(sim.start());
    QProcess process;
    start(process, {"--port", "DEV", "write", data("blink.tsk")}, &sim);
    // The search, the chip, clear, "L", its length and 500 image bytes; then the cable goes.
    QVERIFY(sim.waitReceived(4 + 3 + 500, 20000));
    QCOMPARE(sim.control("unplug"), "ok");
    const Run r = finish(process);
    QCOMPARE(r.code, 3);
    QVERIFY2(r.err.contains("went away"), qPrintable(r.err));
    QVERIFY(!r.out.contains("Load OK"));
    QVERIFY(!r.out.contains("verify"));
}

void TstTool::convert()
{
    // HEX to a raw image padded to the chip's size: what makebin made of it.
    Run r = tool({"convert", data("blink.ihx"), file("out.tsk"), "--size", "2K"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(readFile(file("out.tsk")), m_blink);
    // Without a size: from address 0 to the last byte given.
    r = tool({"convert", data("blink.ihx"), file("out.bin")});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(readFile(file("out.bin")), m_blinkHex);
    // Raw to HEX.
    QCOMPARE(tool({"convert", data("blink.tsk"), file("out.hex")}).code, 0);
    QVERIFY(readFile(file("out.hex")).startsWith(":1000000002000602007A75810712008BE582600308\n"));
    // An image larger than the size asked for.
    r = tool({"convert", data("blink.tsk"), file("small.tsk"), "--size", "1K"});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains("2048 bytes, more than the 1024-byte size"), qPrintable(r.err));
    QVERIFY(!QFile::exists(file("small.tsk")));
}

void TstTool::pathsShownAsWritten()
{
    // Paths that look like placeholders come out as they are written.
    const QString path = file("g%1h%2 %L1.tsk");
    Run r = tool({"convert", data("blink.ihx"), path});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.err, "wrote 143 bytes to " + path + "\n");
    SimProcess sim;
    QVERIFY(sim.start());
    r = tool({"--port", "DEV", "load", path}, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(r.err.contains("\nLoading  " + path + "   ( 143 Bytes)...\n"), qPrintable(r.err));
    QVERIFY2(r.err.endsWith("\nLoad completed\n"), qPrintable(r.err));
    QFile::remove(path);
    r = tool({"--port", "DEV", "load", path}, &sim);
    QCOMPARE(r.code, 2);
    QCOMPARE(r.err, "vantor-cli: " + path + ": no such file\n");
}

void TstTool::portsListsWhoAnswers()
{
    SimProcess programmer;
    SimProcess silent({"--silent"});
    SimProcess other({"--id", "modem OK\\r\\n"});
    QVERIFY(programmer.start() && silent.start() && other.start());
    const QString list = QString("/dev/no-such-port,%1,,%2,%3")
                             .arg(silent.device(), other.device(), programmer.device());
    Run r = tool({"--ports", list, "ports"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("COM1  /dev/no-such-port  cannot open\n"
                                   "COM2  %1  no answer\n"
                                   "COM4  %2  no programmer (answered \"modem OK\")\n"
                                   "COM5  %3  Vantor USB Programmer V2.10\n")
                        .arg(silent.device(), other.device(), programmer.device()));
    QCOMPARE(programmer.received(), QByteArray("ii")); // no chip is told
    QVERIFY(!QFile::exists(file("chip.log")));

    r = tool({"--port", silent.device(), "ports"});
    QCOMPARE(r.code, 3);
    QCOMPARE(r.out, QString("COM1  %1  no answer\n").arg(silent.device()));
}

void TstTool::progressOnTerminalAndInLines()
{
    SimProcess sim;
    QVERIFY(sim.start());
    const QStringList load{"--port", "DEV", "load", data("blink.tsk")};
    // Standard error is not a terminal here: progress comes as plain lines.
    Run r = tool(load, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(r.err.contains("Find Programmer on COM1\n"), qPrintable(r.err));
    QVERIFY2(r.err.contains("load: 2048/2048 bytes (100%)\n"), qPrintable(r.err));
    QVERIFY(!r.err.contains('\r'));
    // On a terminal: a bar redrawn in place.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    r = tool(QStringList{"--port", "DEV", "save", file("bar.tsk"), "--size", "4K"}, &sim,
             QString::fromLocal8Bit(ptsname(master)));
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QByteArray terminal(8192, '\0');
    terminal.truncate(qMax<qsizetype>(0, ::read(master, terminal.data(), terminal.size())));
    ::close(master);
    QVERIFY2(terminal.contains("\rsave [##############################] 4096/4096 bytes 100%"),
             terminal.constData());
    QVERIFY(!terminal.contains("save: "));
    QCOMPARE(readFile(file("bar.tsk")), m_blink + QByteArray(2048, char(0xFF)));
    // Quiet: replies and results only.
    r = tool(QStringList{"--quiet"} + load, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, "Load OK, 2048 bytes\n");
}

void TstTool::simulateStartsTheEmulator()
{
    const Run r = tool({"--simulate", "--quiet", "write", data("blink.ihx")});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY(r.out.endsWith("verify: 143 bytes match\n"));
}

void TstTool::linksWithoutWidgets()
{
    // The tool is built on the library without widgets: no GUI library is loaded at all.
    const QString ldd = QStandardPaths::findExecutable("ldd");
    QVERIFY2(!ldd.isEmpty(), "ldd is not installed");
    QProcess process;
    process.start(ldd, {QStringLiteral(VANTOR_CLI_PATH)});
    QVERIFY(process.waitForFinished(10000));
    const QString libraries = QString::fromLocal8Bit(process.readAllStandardOutput());
    QVERIFY2(libraries.contains("libQt6SerialPort"), qPrintable(libraries));
    QVERIFY2(!libraries.contains("libQt6Widgets"), qPrintable(libraries));
    QVERIFY2(!libraries.contains("libQt6Gui"), qPrintable(libraries));
}

QTEST_GUILESS_MAIN(TstTool)
#include "tst_tool.moc"
