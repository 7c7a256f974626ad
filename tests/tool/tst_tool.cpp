#include "simfixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <memory>
#include <stdlib.h>
#include <unistd.h>

// vantor-cli run as a process against the emulator: its arguments, exit codes and output
// streams, what it puts on the line and what the emulator's chip holds afterwards.
class TstTool : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { QFile::remove(file("chip.log")); }

    void writeProgramsTheChip();
    void verifyNamesTheFirstDifference_data();
    void verifyNamesTheFirstDifference();
    void commandsSendTheirBytes_data();
    void commandsSendTheirBytes();
    void chipIsRemembered();
    void imagesInAndOut();
    void exitCodes_data();
    void exitCodes();
    void unplugDuringTransferIsNoProgrammer();
    void convert();
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
    // The tool in the test's folder; "DEV" in args is the emulator's device.
    Run tool(QStringList args, SimProcess *sim = nullptr, const QString &errFile = {});
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

TstTool::Run TstTool::tool(QStringList args, SimProcess *sim, const QString &errFile)
{
    if (sim)
        args.replaceInStrings(QStringLiteral("DEV"), sim->device());
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    if (!errFile.isEmpty())
        process.setStandardErrorFile(errFile, QIODevice::Append);
    process.start(QStringLiteral(VANTOR_CLI_PATH), args);
    Run run;
    if (!process.waitForFinished(60000)) {
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

void TstTool::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_blink = readFile(data("blink.tsk"));
    QCOMPARE(m_blink.size(), 2048);
    m_blinkHex = m_blink.left(143);
}

void TstTool::writeProgramsTheChip()
{
    SimProcess sim;
    QVERIFY(sim.start());
    const Run r = tool({"--port", "DEV", "write", data("blink.ihx")}, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("SRAM cleared\nLoad OK, 143 bytes\nErase OK\nProgram OK\n"
                                   "Read OK\nverify: 143 bytes match\n"));
    // The search, the chip, then clear, load, erase, program, read, read back 1K.
    const QByteArray expected = "ii!X" + QByteArray("L\x00\x8F", 3) + m_blinkHex + "EPRS1";
    QVERIFY(sim.waitReceived(static_cast<int>(expected.size())));
    QCOMPARE(sim.received(), expected);
    QCOMPARE(flash(sim, 0, 143), m_blinkHex);
    QCOMPARE(flash(sim, 143, 2048 - 143), QByteArray(2048 - 143, char(0xFF)));
    QCOMPARE(readFile(file("chip.log")), QByteArray("2051"));
}

void TstTool::verifyNamesTheFirstDifference_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("difference");
    QTest::newRow("raw, in the code") << "changed.tsk" << 0x0083 << "0x0083 (chip 0x07, file 0x17)";
    QTest::newRow("raw, last byte") << "changed.bin" << 0x07FF << "0x07FF (chip 0xFF, file 0xEF)";
    QTest::newRow("hex, first byte") << "changed.hex" << 0x0000 << "0x0000 (chip 0x02, file 0x12)";
}

void TstTool::verifyNamesTheFirstDifference()
{
    QFETCH(QString, name);
    QFETCH(int, address);
    QFETCH(QString, difference);
    SimProcess sim;
    QVERIFY(sim.start());
    Run r = tool({"--port", "DEV", "write", data("blink.tsk")}, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    r = tool({"--port", "DEV", "verify", data("blink.tsk")}, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, "Read OK\nverify: 2048 bytes match\n");

    QByteArray changed = m_blink;
    changed[address] = static_cast<char>(changed.at(address) ^ 0x10);
    writeFile(file("changed.tsk"), changed);
    if (name != "changed.tsk")
        QCOMPARE(tool({"convert", file("changed.tsk"), file(name)}).code, 0);
    sim.markReceived();
    r = tool({"--port", "DEV", "verify", file(name)}, &sim);
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, "Read OK\nverify: 1 byte of 2048 differs, the first at " + difference + "\n");
    // Verify only reads: the chip is as it was.
    QCOMPARE(sim.received(), QByteArray("ii!RS2"));
    QCOMPARE(flash(sim, 0, 2048), m_blink);
}

void TstTool::commandsSendTheirBytes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("sent"); // after the search's "ii" and the chip's "!"
    QTest::addColumn<QString>("out");
    auto row = [](const char *name, const QStringList &args, const QByteArray &sent,
                  const QString &out) { QTest::newRow(name) << args << sent << out; };
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
    const QString ffLine = " FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF\n";
    row("dump 7F0", {"dump", "7F0"}, QByteArray("d\x07\xF0"),
        "07F0:" + ffLine + "0800:" + ffLine + "0810:" + ffLine + "0820:" + ffLine);
    row("dump 0x0000", {"dump", "0x0000"}, QByteArray("d\x00\x00", 3),
        "0000:" + ffLine + "0010:" + ffLine + "0020:" + ffLine + "0030:" + ffLine);
    row("fill 5a", {"fill", "5a"}, "F\x5A", "Fill 5A\n");
    row("fill 0", {"fill", "0"}, QByteArray("F\x00", 2), "Fill 00\n");
}

void TstTool::commandsSendTheirBytes()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, sent);
    QFETCH(QString, out);
    SimProcess sim;
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

    // Save: the SRAM block into a file.
    r = tool({"--port", "DEV", "save", file("saved.tsk"), "--size", "2K"}, &sim);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(readFile(file("saved.tsk")), m_blink);

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
    auto row = [](const char *name, const QStringList &simArgs, const QString &control,
                  const QStringList &args, int code, const QString &err) {
        QTest::newRow(name) << simArgs << control << args << code << err;
    };
    row("0: help", none, {}, {"--help"}, 0, {});
    row("1: another chip in the socket", {"--chip", "4051"}, {}, {"--port", "DEV", "erase"}, 1,
        "the programmer said: Error: signature 1E 41, expected 1E 21");
    row("1: short block", sim, "short 100", {"--port", "DEV", "save", "short.tsk", "--size", "1K"},
        1, "the programmer sent 100 of 1024 bytes");
    row("2: no command", sim, {}, {"--port", "DEV"}, 2, "no command given");
    row("2: unknown command", sim, {}, {"--port", "DEV", "flash"}, 2, "unknown command \"flash\"");
    row("2: unknown option", sim, {}, {"--port", "DEV", "--fast", "sig"}, 2, "fast");
    row("2: missing argument", sim, {}, {"--port", "DEV", "dump"}, 2,
        "dump takes 1 argument, got 0");
    row("2: unknown chip", sim, {}, {"--port", "DEV", "chip", "8051"}, 2, "unknown chip \"8051\"");
    row("2: unknown test", sim, {}, {"--port", "DEV", "test", "fan"}, 2, "unknown test \"fan\"");
    row("2: dump address", sim, {}, {"--port", "DEV", "dump", "1000"}, 2, "0000 to 0FFF");
    row("2: fill value", sim, {}, {"--port", "DEV", "fill", "100"}, 2, "00 to FF");
    row("2: size", sim, {}, {"--port", "DEV", "save", "x.tsk", "--size", "3K"}, 2,
        "unknown size \"3K\"");
    row("2: size for sig", sim, {}, {"--port", "DEV", "--size", "1K", "sig"}, 2, "--size is for");
    row("2: two port choices", sim, {}, {"--port", "DEV", "--simulate", "sig"}, 2, "only one of");
    row("2: missing file", sim, {}, {"--port", "DEV", "load", "nothing.hex"}, 2,
        "nothing.hex: no such file");
    row("2: a folder", sim, {}, {"--port", "DEV", "load", "."}, 2, ".: not a file");
    row("2: bad checksum", sim, {}, {"--port", "DEV", "write", "bad.hex"}, 2,
        "bad.hex: line 1: checksum");
    row("2: beyond the 2051", sim, {}, {"--port", "DEV", "express", "4k.tsk"}, 2,
        "4k.tsk: 4096 bytes, more than the AT89C2051's 2048 bytes of flash");
    row("2: beyond the buffer", sim, {}, {"--port", "DEV", "load", "5k.bin"}, 2,
        "5k.bin: 5000 bytes, more than the programmer's 4999-byte buffer");
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
    writeFile(file("4k.tsk"), QByteArray(4096, 'd'));
    writeFile(file("5k.bin"), QByteArray(5000, 'e'));
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
    QVERIFY(!QFile::exists(file("short.tsk")));
}

void TstTool::unplugDuringTransferIsNoProgrammer()
{
    SimProcess sim({"--pace"});
    QVERIFY(sim.start());
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.start(QStringLiteral(VANTOR_CLI_PATH),
                  {"--port", sim.device(), "write", data("blink.tsk")});
    // The search, the chip, clear, "L", its length and 500 image bytes; then the cable goes.
    QVERIFY(sim.waitReceived(4 + 3 + 500, 20000));
    QCOMPARE(sim.control("unplug"), "ok");
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 3);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.contains("went away"), qPrintable(err));
    QVERIFY(!out.contains("Load OK"));
    QVERIFY(!out.contains("verify"));
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
    // Raw to HEX and back.
    QCOMPARE(tool({"convert", data("blink.tsk"), file("out.hex")}).code, 0);
    QVERIFY(readFile(file("out.hex")).startsWith(":1000000002000602007A75810712008BE582600308\n"));
    QCOMPARE(tool({"convert", file("out.hex"), file("back.tsk")}).code, 0);
    QCOMPARE(readFile(file("back.tsk")), m_blink);
    // An image larger than the size asked for.
    r = tool({"convert", data("blink.tsk"), file("small.tsk"), "--size", "1K"});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains("2048 bytes, more than the 1024-byte size"), qPrintable(r.err));
    QVERIFY(!QFile::exists(file("small.tsk")));
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
