#include "core/intelhex.h"
#include "simfixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// vantor-cli run as a process against the emulator: what goes on the line, what the
// emulator's chip holds afterwards, what the tool prints and its exit code.
class TstCli : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void writeSdccHexProgramsTheChip();
    void writeAtNineHundredBytesASecond();
    void verifyFindsOneChangedByte_data();
    void verifyFindsOneChangedByte();
    void commandsSendTheirBytes_data();
    void commandsSendTheirBytes();
    void chipIsRemembered();
    void loadExpressSaveRead();
    void exitCodes_data();
    void exitCodes();
    void refusedImagesSendNothing_data();
    void refusedImagesSendNothing();
    void shortBlockWritesNothing();
    void unplugDuringTransferIsNoProgrammer();
    void convert();
    void pathsShownAsWritten();
    void portsListsWhoAnswers();
    void progressAndQuiet();
    void simulateStartsTheEmulator();
    void linksWithoutWidgets();

private:
    struct Run {
        int code = -1;
        QString out;
        QString err;
    };
    Run cli(const QStringList &args, int timeoutMs = 60000);
    // The tool run with "--port" set to the emulator's device.
    Run cli(SimProcess &sim, const QStringList &args) { return cli(port(sim) + args); }
    static QStringList port(SimProcess &sim) { return {"--port", sim.device()}; }
    static QString data(const char *name) { return QStringLiteral(VANTOR_TEST_DATA "/") + name; }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    static QByteArray flash(SimProcess &sim, int address, int count);

    QTemporaryDir m_dir;
    QByteArray m_blink;    // blink.tsk, 2048 bytes
    QByteArray m_blinkHex; // the 143 bytes of blink.ihx
};

TstCli::Run TstCli::cli(const QStringList &args, int timeoutMs)
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.start(QStringLiteral(VANTOR_CLI_PATH), args);
    Run run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = "<did not end>";
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QByteArray TstCli::flash(SimProcess &sim, int address, int count)
{
    return QByteArray::fromHex(
        sim.control(QString("flash %1 %2").arg(address).arg(count)).toLatin1());
}

void TstCli::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_blink = readFile(data("blink.tsk"));
    QCOMPARE(m_blink.size(), 2048);
    m_blinkHex = m_blink.left(143);
}

void TstCli::writeSdccHexProgramsTheChip()
{
    SimProcess sim;
    QVERIFY(sim.start());
    const Run r = cli(sim, {"write", data("blink.ihx")});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("SRAM cleared\nLoad OK, 143 bytes\nErase OK\nProgram OK\n"
                                   "Read OK\nverify: 143 bytes match\n"));
    // The search, the chip, then clear, load, erase, program, read, read back 1K.
    const QByteArray expected = "ii!X" + QByteArray("L\x00\x8F", 3) + m_blinkHex + "EPRS1";
    QVERIFY(sim.waitReceived(static_cast<int>(expected.size())));
    QCOMPARE(sim.received(), expected);
    QCOMPARE(flash(sim, 0, 143), m_blinkHex);
    QCOMPARE(flash(sim, 143, 2048 - 143), QByteArray(2048 - 143, char(0xFF)));
    QCOMPARE(sim.stateField("type"), "2051");
}

void TstCli::writeAtNineHundredBytesASecond()
{
    // The emulator at 9600 baud with real erase and programming times.
    SimProcess sim({"--pace"});
    QVERIFY(sim.start());
    QElapsedTimer t;
    t.start();
    const Run r = cli(sim, {"write", data("blink.tsk")});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY(r.out.endsWith("verify: 2048 bytes match\n"));
    QCOMPARE(flash(sim, 0, 2048), m_blink);
    qInfo("paced write of 2048 bytes: %lld ms", t.elapsed());
}

void TstCli::verifyFindsOneChangedByte_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("address");
    QTest::newRow("raw, 0x0123") << "changed.tsk" << 0x0123;
    QTest::newRow("raw, last byte") << "changed.bin" << 0x07FF;
    QTest::newRow("hex, first byte") << "changed.hex" << 0x0000;
}

void TstCli::verifyFindsOneChangedByte()
{
    QFETCH(QString, name);
    QFETCH(int, address);
    SimProcess sim;
    QVERIFY(sim.start());
    Run r = cli(sim, {"write", data("blink.tsk")});
    QVERIFY2(r.code == 0, qPrintable(r.err));

    r = cli(sim, {"verify", data("blink.tsk")});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, "Read OK\nverify: 2048 bytes match\n");

    QByteArray changed = m_blink;
    changed[address] = static_cast<char>(changed.at(address) ^ 0x10);
    const QString path = writeFile(
        file(name), name.endsWith(QLatin1String(".hex")) ? IntelHex::Format(changed) : changed);
    sim.markReceived();
    r = cli(sim, {"verify", path});
    QCOMPARE(r.code, 1);
    auto hex = [](int value, int digits) {
        return QString("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
    };
    QCOMPARE(r.out, QStringLiteral("Read OK\nverify: 1 byte of 2048 differs, the first at 0x%1 "
                                   "(chip 0x%2, file 0x%3)\n")
                        .arg(hex(address, 4), hex(static_cast<quint8>(m_blink.at(address)), 2),
                             hex(static_cast<quint8>(changed.at(address)), 2)));
    // Verify only reads: the chip is as it was.
    QCOMPARE(sim.received(), QByteArray("ii!RS2"));
    QCOMPARE(flash(sim, 0, 2048), m_blink);
}

void TstCli::commandsSendTheirBytes_data()
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
    row("dump 7F0", {"dump", "7F0"}, QByteArray("d\x07\xF0"),
        "07F0: FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF\n"
        "0800: FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF\n"
        "0810: FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF\n"
        "0820: FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF\n");
    row("dump 0x0000", {"dump", "0x0000"}, QByteArray("d\x00\x00", 3),
        "0000: FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF\n"
        "0010: FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF\n"
        "0020: FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF\n"
        "0030: FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF\n");
    row("fill 5a", {"fill", "5a"}, "F\x5A", "Fill 5A\n");
    row("fill 0", {"fill", "0"}, QByteArray("F\x00", 2), "Fill 00\n");
}

void TstCli::commandsSendTheirBytes()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, sent);
    QFETCH(QString, out);
    SimProcess sim;
    QVERIFY(sim.start());
    const Run r = cli(sim, args);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    // Only the command's own reply reaches standard output.
    QCOMPARE(r.out, out);
    QVERIFY(sim.waitReceived(static_cast<int>(sent.size()) + 3));
    QCOMPARE(sim.received(), "ii!" + sent);
}

void TstCli::chipIsRemembered()
{
    QFile::remove(file("chip.log"));
    SimProcess sim({"--chip", "4051"});
    QVERIFY(sim.start());
    Run r = cli(sim, {"chip", "4051"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, "Chip AT89C4051\n");
    QCOMPARE(readFile(file("chip.log")), QByteArray("4051"));

    // The next run in the same directory tells the programmer the same chip.
    sim.markReceived();
    r = cli(sim, {"sig"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, "Signature 1E 41 AT89C4051 OK\n");
    QCOMPARE(sim.received(), QByteArray("ii@s"));

    // --chip chooses for the run (and is remembered as the chip last chosen).
    sim.markReceived();
    r = cli(sim, {"--chip", "1051U", "sig"});
    QCOMPARE(r.code, 1);
    QVERIFY(r.out.startsWith("Error: signature 1E 41"));
    QVERIFY(r.err.contains("the programmer said: Error: signature"));
    QCOMPARE(sim.received(), QByteArray("ii#s"));
    QFile::remove(file("chip.log"));
}

void TstCli::loadExpressSaveRead()
{
    SimProcess sim;
    QVERIFY(sim.start());

    // Load fills the SRAM only.
    Run r = cli(sim, {"load", data("blink.tsk")});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, "Load OK, 2048 bytes\n");
    QVERIFY(r.err.contains("Load completed"));
    QCOMPARE(sim.stateField("flash_sum"), "F800");

    // Save: the SRAM block into a file.
    r = cli(sim, {"save", file("saved.tsk"), "--size", "2K"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(readFile(file("saved.tsk")), m_blink);

    // Express: load, erase, program, verify in one step, from the HEX file.
    sim.markReceived();
    r = cli(sim, {"express", data("blink.ihx")});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, "Load OK, 143 bytes\nErase OK\nProgram OK\nVerify OK\n");
    QVERIFY(r.err.contains("Load completed... ( Checksum = "));
    QCOMPARE(sim.received(), "ii!Q" + QByteArray("\x00\x8F", 2) + m_blinkHex);
    QCOMPARE(flash(sim, 0, 143), m_blinkHex);

    // Read: the chip into the SRAM, then the SRAM into an Intel HEX file (1K asked for).
    r = cli(sim, {"fill", "00"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    r = cli(sim, {"read", file("chip.hex"), "--size", "1K"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, "Read OK\n");
    const IntelHex::ParseResult back = IntelHex::Parse(readFile(file("chip.hex")), 4096, QString());
    QVERIFY2(back.ok, qPrintable(back.error));
    QCOMPARE(back.image, m_blink.left(1024));
}

void TstCli::exitCodes_data()
{
    QTest::addColumn<QStringList>("simArgs"); // empty: no emulator
    QTest::addColumn<QStringList>("args");    // "DEV" is the emulator's device
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("err");

    const QStringList sim{"-"};
    QTest::newRow("0: version") << sim << QStringList{"--port", "DEV", "version"} << 0 << QString();
    QTest::newRow("0: help") << QStringList() << QStringList{"--help"} << 0 << QString();
    QTest::newRow("1: another chip in the socket")
        << QStringList{"--chip", "4051"} << QStringList{"--port", "DEV", "erase"} << 1
        << "the programmer said: Error: signature 1E 41, expected 1E 21";
    QTest::newRow("1: empty socket")
        << QStringList{"--chip", "none"} << QStringList{"--port", "DEV", "blank"} << 1
        << "the programmer said: Error: signature FE FE";
    QTest::newRow("1: programming with another chip chosen")
        << sim << QStringList{"--port", "DEV", "--chip", "1051U", "program"} << 1
        << "the programmer said: Error: signature";
    QTest::newRow("2: no command")
        << sim << QStringList{"--port", "DEV"} << 2 << "no command given";
    QTest::newRow("2: unknown command")
        << sim << QStringList{"--port", "DEV", "flash"} << 2 << "unknown command \"flash\"";
    QTest::newRow("2: unknown option")
        << sim << QStringList{"--port", "DEV", "--fast", "sig"} << 2 << "fast";
    QTest::newRow("2: missing argument")
        << sim << QStringList{"--port", "DEV", "dump"} << 2 << "dump takes 1 argument, got 0";
    QTest::newRow("2: unknown chip")
        << sim << QStringList{"--port", "DEV", "chip", "8051"} << 2 << "unknown chip \"8051\"";
    QTest::newRow("2: unknown test")
        << sim << QStringList{"--port", "DEV", "test", "fan"} << 2 << "unknown test \"fan\"";
    QTest::newRow("2: dump address too high")
        << sim << QStringList{"--port", "DEV", "dump", "1000"} << 2 << "0000 to 0FFF";
    QTest::newRow("2: fill value not a byte")
        << sim << QStringList{"--port", "DEV", "fill", "100"} << 2 << "00 to FF";
    QTest::newRow("2: size") << sim << QStringList{"--port", "DEV", "save", "x.tsk", "--size", "3K"}
                             << 2 << "unknown size \"3K\"";
    QTest::newRow("2: size for a command without one")
        << sim << QStringList{"--port", "DEV", "--size", "1K", "sig"} << 2 << "--size is for";
    QTest::newRow("2: two port choices")
        << sim << QStringList{"--port", "DEV", "--simulate", "sig"} << 2 << "only one of";
    QTest::newRow("2: missing file") << sim << QStringList{"--port", "DEV", "load", "nothing.hex"}
                                     << 2 << "nothing.hex: no such file";
    QTest::newRow("2: save into a missing folder")
        << sim << QStringList{"--port", "DEV", "save", "no/such/folder/x.tsk"} << 2
        << "cannot write there";
    QTest::newRow("3: no such device")
        << QStringList() << QStringList{"--port", "/dev/no-such-programmer", "sig"} << 3
        << "no programmer answered (tried COM1 /dev/no-such-programmer)";
    QTest::newRow("3: a device that does not answer")
        << QStringList{"--silent"} << QStringList{"--port", "DEV", "sig"} << 3
        << "no programmer answered";
    QTest::newRow("3: an answer one character short")
        << QStringList{"--id", "Vantor USB Programmer V\\r\\n"}
        << QStringList{"--port", "DEV", "version"} << 3 << "no programmer answered";
    QTest::newRow("3: no ports at all")
        << QStringList() << QStringList{"--ports", ",,", "sig"} << 3 << "no serial ports";
}

void TstCli::exitCodes()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, err);
    QFile::remove(file("chip.log"));
    std::unique_ptr<SimProcess> sim;
    if (!simArgs.isEmpty()) {
        sim = std::make_unique<SimProcess>(simArgs.first() == QLatin1String("-") ? QStringList()
                                                                                 : simArgs);
        QVERIFY(sim->start());
        args.replaceInStrings("DEV", sim->device());
    }
    const Run r = cli(args);
    QVERIFY2(r.code == code, qPrintable(QString("exit %1, stderr: %2").arg(r.code).arg(r.err)));
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    if (code == 2 && sim)
        QCOMPARE(sim->received(), QByteArray()); // refused before the search
}

void TstCli::refusedImagesSendNothing_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("err");

    const QByteArray ok = IntelHex::Format(QByteArray(16, 'a'));
    QByteArray badChecksum = ok;
    badChecksum.replace(":10000000", ":10000001");
    QTest::newRow("bad checksum") << "write"
                                  << "bad.hex" << badChecksum << "bad.hex: line 1: checksum";
    QTest::newRow("odd length") << "load"
                                << "odd.ihx"
                                << QByteArray(":0100000001FE\n:0100010002F\n:00000001FF\n")
                                << "odd.ihx: line 2: an odd number";
    QTest::newRow("beyond the 2051")
        << "write"
        << "high.hex" << IntelHex::Format(QByteArray(2049, 'b'))
        << "high.hex: line 129: bytes 0800-0800 lie outside the AT89C2051's 2048 bytes";
    QTest::newRow("express beyond the 2051")
        << "express"
        << "high.hex" << IntelHex::Format(QByteArray(2049, 'b'))
        << "line 129: bytes 0800-0800 lie outside the AT89C2051's 2048 bytes";
    QTest::newRow("verify beyond 4K")
        << "verify"
        << "far.hex" << QByteArray(":020000040001F9\n:0100000001FE\n:00000001FF\n")
        << "far.hex: line 2: bytes 10000-10000 lie outside";
    QTest::newRow("load beyond the buffer")
        << "load"
        << "huge.hex" << IntelHex::Format(QByteArray(5000, 'c'))
        << "huge.hex: line 313: bytes 1380-1387 lie outside the programmer's 4999-byte buffer";
    QTest::newRow("raw image larger than the chip")
        << "write"
        << "big.tsk" << QByteArray(4096, 'd')
        << "big.tsk: 4096 bytes, more than the AT89C2051's 2048 bytes of flash";
    QTest::newRow("raw image larger than the buffer")
        << "load"
        << "huge.bin" << QByteArray(5000, 'e')
        << "huge.bin: 5000 bytes, more than the programmer's 4999-byte buffer";
    QTest::newRow("cut short") << "write"
                               << "short.hex" << ok.left(ok.size() - 12)
                               << "short.hex: no end-of-file record";
    QTest::newRow("larger than the buffer, a name like placeholders")
        << "load"
        << "a%1b%2.bin" << QByteArray(5000, 'e')
        << "a%1b%2.bin: 5000 bytes, more than the programmer's 4999-byte buffer";
    QTest::newRow("larger than the chip, a name like placeholders")
        << "write"
        << "c%1d%2.tsk" << QByteArray(4096, 'd')
        << "c%1d%2.tsk: 4096 bytes, more than the AT89C2051's 2048 bytes of flash";
    QTest::newRow("HEX far too long, a name like placeholders")
        << "load"
        << "e%1f%2.hex" << QByteArray(1100000, '\n')
        << "e%1f%2.hex: 1100000 bytes is far too long for a HEX image of this programmer";
    QTest::newRow("a folder") << "load"
                              << "folder.tsk" << QByteArray() << "folder.tsk: not a file";
}

void TstCli::refusedImagesSendNothing()
{
    QFETCH(QString, command);
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, err);
    QFile::remove(file("chip.log"));
    QString path;
    if (name == QLatin1String("folder.tsk")) {
        QVERIFY(QDir(m_dir.path()).mkpath(name));
        path = file(name);
    } else {
        path = writeFile(file(name), content);
    }
    SimProcess sim;
    QVERIFY(sim.start());
    const Run r = cli(sim, {command, path});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    QCOMPARE(r.out, QString());
    QCOMPARE(sim.received(), QByteArray());
}

void TstCli::shortBlockWritesNothing()
{
    SimProcess sim;
    QVERIFY(sim.start());
    QCOMPARE(sim.control("short 100"), "ok");
    const QString path = file("short.tsk");
    QFile::remove(path);
    const Run r = cli(sim, {"save", path, "--size", "1K"});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains("the programmer sent 100 of 1024 bytes"), qPrintable(r.err));
    QVERIFY(!QFile::exists(path));
}

void TstCli::unplugDuringTransferIsNoProgrammer()
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

void TstCli::convert()
{
    // HEX to a raw image padded to the chip's size: exactly what makebin made of it.
    Run r = cli({"convert", data("blink.ihx"), file("out.tsk"), "--size", "2K"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(readFile(file("out.tsk")), m_blink);

    // Without a size: from address 0 to the last byte given.
    r = cli({"convert", data("blink.ihx"), file("out.bin")});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(readFile(file("out.bin")), m_blinkHex);

    // Raw to HEX and back.
    r = cli({"convert", data("blink.tsk"), file("out.hex")});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(IntelHex::Parse(readFile(file("out.hex")), 4999, QString()).image, m_blink);

    // An image larger than the size asked for.
    r = cli({"convert", data("blink.tsk"), file("small.tsk"), "--size", "1K"});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains("2048 bytes, more than the 1024-byte size"), qPrintable(r.err));
    QVERIFY(!QFile::exists(file("small.tsk")));
}

void TstCli::pathsShownAsWritten()
{
    // Paths that look like placeholders come out as they are written.
    const QString path = file("g%1h%2 %L1.tsk");
    Run r = cli({"convert", data("blink.ihx"), path});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.err, "wrote 143 bytes to " + path + "\n");

    SimProcess sim;
    QVERIFY(sim.start());
    r = cli(sim, {"load", path});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(r.err.contains("\nLoading  " + path + "   ( 143 Bytes)...\n"), qPrintable(r.err));
    QVERIFY2(r.err.endsWith("\nLoad completed\n"), qPrintable(r.err));

    QFile::remove(path);
    r = cli(sim, {"load", path});
    QCOMPARE(r.code, 2);
    QCOMPARE(r.err, "vantor-cli: " + path + ": no such file\n");
}

void TstCli::portsListsWhoAnswers()
{
    SimProcess programmer;
    SimProcess silent({"--silent"});
    SimProcess other({"--id", "modem OK\\r\\n"});
    QVERIFY(programmer.start());
    QVERIFY(silent.start());
    QVERIFY(other.start());
    const QString list = QString("/dev/no-such-port,%1,,%2,%3")
                             .arg(silent.device(), other.device(), programmer.device());
    Run r = cli({"--ports", list, "ports"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("COM1  /dev/no-such-port  cannot open\n"
                                   "COM2  %1  no answer\n"
                                   "COM4  %2  no programmer (answered \"modem OK\")\n"
                                   "COM5  %3  Vantor USB Programmer V2.10\n")
                        .arg(silent.device(), other.device(), programmer.device()));
    // Listing tells no chip.
    QCOMPARE(programmer.received(), QByteArray("ii"));

    r = cli({"--port", silent.device(), "ports"});
    QCOMPARE(r.code, 3);
    QCOMPARE(r.out, QString("COM1  %1  no answer\n").arg(silent.device()));
}

void TstCli::progressAndQuiet()
{
    SimProcess sim;
    QVERIFY(sim.start());
    const QStringList load{"--port", sim.device(), "load", data("blink.tsk")};
    // Standard error is not a terminal here: progress comes as plain lines.
    Run r = cli(load);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(r.err.contains("load: 2048/2048 bytes (100%)\n"), qPrintable(r.err));
    QVERIFY(!r.err.contains(QLatin1Char('\r')));
    QVERIFY(r.err.contains("Find Programmer on COM1\n"));

    r = cli(QStringList{"--quiet"} + load);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, "Load OK, 2048 bytes\n");

    r = cli({"-q", "--port", sim.device(), "save", file("q.tsk"), "--size", "4K"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, QString());
}

void TstCli::simulateStartsTheEmulator()
{
    const Run r = cli({"--simulate", "--quiet", "write", data("blink.ihx")});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY(r.out.endsWith("verify: 143 bytes match\n"));
}

void TstCli::linksWithoutWidgets()
{
    // The tool is built on the library without widgets: no GUI library is loaded at all.
    const QString ldd = QStandardPaths::findExecutable("ldd");
    if (ldd.isEmpty())
        QSKIP("ldd is not installed");
    QProcess process;
    process.start(ldd, {QStringLiteral(VANTOR_CLI_PATH)});
    QVERIFY(process.waitForFinished(10000));
    const QString libraries = QString::fromLocal8Bit(process.readAllStandardOutput());
    QVERIFY2(libraries.contains("libQt6Core"), qPrintable(libraries));
    QVERIFY2(libraries.contains("libQt6SerialPort"), qPrintable(libraries));
    QVERIFY2(!libraries.contains("libQt6Widgets"), qPrintable(libraries));
    QVERIFY2(!libraries.contains("libQt6Gui"), qPrintable(libraries));
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
