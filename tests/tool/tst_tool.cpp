#include "simfixture.h"
#include "table.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <linux/capability.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// What a running process has written to one of its channels so far, read as it comes.
struct Shown {
    Shown(QProcess &process, QProcess::ProcessChannel channel) : process(process), channel(channel)
    {
    }
    QProcess &process;
    QProcess::ProcessChannel channel;
    QString all;
    QString &read()
    {
        process.setReadChannel(channel);
        return all += QString::fromUtf8(process.readAll());
    }
    // Reads until all holds text, for at most ms.
    bool until(const QString &text, int ms = 30000)
    {
        return QTest::qWaitFor([&] { return read().contains(text); }, ms);
    }
};

// vantor-cli run as a process against the emulator, in its own words and in other ones
// (--texts other): its arguments, exit codes and output streams, what it puts on the line
// and what the emulator's chip holds afterwards. The verdicts must not depend on the words.
class TstTool : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { QFile::remove(file("chip.log")); }

    void writeThenVerify_data();
    void writeThenVerify();
    void commands_data();
    void commands() { runs(); }
    void runs_data();
    void runs();
    void loadAndSave();
    void chipExpressAndRead();
    void silenceIsNoAnswerOnlyWhenAnAnswerIsAskedFor();
    void lateLinesBelongToTheReply_data();
    void lateLinesBelongToTheReply();
    void verboseShowsTheWire_data();
    void verboseShowsTheWire();
    void productionRun_data();
    void productionRun();
    void productionRunStopped_data();
    void productionRunStopped() { productionRun(); }
    void ctrlC_data();
    void ctrlC();
    void stations_data();
    void stations();
    void lockRetriesAndVerdicts_data();
    void lockRetriesAndVerdicts();
    void watch();
    void jsonEvents();
    void cutShortTransfersFail();
    void convert();
    void portsListsWhoAnswers();
    void linksWithoutWidgets();

private:
    struct Run {
        int code = -1;
        QString out, err;
        // Standard output of a run that succeeded; otherwise its exit code and standard error.
        QString ok() const { return code == 0 ? out : QString("exit %1: %2").arg(code).arg(err); }
    };
    // The tool in the test's folder; "DEV" in args is the emulator's device, "DATA" the test
    // data folder. start() leaves it running, finish() waits for it; tool() does both.
    void start(QProcess &process, QStringList args, SimProcess *sim = nullptr);
    static Run finish(QProcess &process);
    Run tool(const QStringList &args, SimProcess *sim = nullptr, const QString &errFile = {});
    QString file(const QString &name) const { return m_dir.filePath(name); }
    static QByteArray flash(SimProcess &sim, int count)
    {
        return QByteArray::fromHex(sim.control(QString("flash 0 %1").arg(count)).toLatin1());
    }

    QTemporaryDir m_dir;
    QString m_cwd;           // the tool's folder when not m_dir
    bool m_ordinary = false; // the tool runs without root's override of permissions
    rlim_t m_fileLimit = 0;  // a disk that fills up: no file of the tool's grows past it
    QByteArray m_blink;      // blink.tsk, 2048 bytes; blink.ihx gives its first 143
};

void TstTool::start(QProcess &process, QStringList args, SimProcess *sim)
{
    if (sim)
        args.replaceInStrings(QStringLiteral("DEV"), sim->device());
    args.replaceInStrings(QStringLiteral("DATA/"), QStringLiteral(VANTOR_TEST_DATA "/"));
    process.setWorkingDirectory(m_cwd.isEmpty() ? m_dir.path() : m_cwd);
    if (m_ordinary) { // fails harmlessly where the tests do not run as root
        process.setChildProcessModifier([] {
            ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
            ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
        });
    }
    if (m_fileLimit > 0) {
        process.setChildProcessModifier([limit = m_fileLimit] {
            const rlimit files{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &files);
            ::signal(SIGXFSZ, SIG_IGN); // a write past it fails instead
        });
    }
    process.start(QStringLiteral(VANTOR_CLI_PATH), args);
}

TstTool::Run TstTool::finish(QProcess &process)
{
    const bool ended = process.waitForFinished(60000) || process.state() == QProcess::NotRunning;
    if (!ended)
        process.kill();
    return {ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            ended ? QString::fromUtf8(process.readAllStandardError()) : "<did not end in 60 s>"};
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
    m_blink = readFile(VANTOR_TEST_DATA "/blink.tsk");
    QCOMPARE(m_blink.mid(143), QByteArray(2048 - 143, char(0xFF))); // makebin's padding
    writeFile(file("bad.hex"), ":10000000000102030405060708090A0B0C0D0E0F00\n:00000001FF\n");
    writeFile(file("e%1.hex"), QByteArray(1024 * 1024 + 1, '\n'));
    writeFile(file("c%1.tsk"), QByteArray(4096, 'd'));
    writeFile(file("a%1.bin"), QByteArray(5000, 'e'));
    writeFile(file("b.bin"), QByteArray(4999, 'e'));
    writeFile(file("empty.tsk"), {});
    writeFile(file("blink.tsk"), m_blink); // its serial numbers' state beside it
    writeFile(file("h%1.bin"), ":0300000002000AF1\n:00000001FF\n"); // HEX under another name
}

void TstTool::writeThenVerify_data()
{
    // out: the write's replies
    // address: where the file differs from the chip
    columns<QString, QString, int, QString>("texts", "out", "address", "difference");
    QTest::newRow("own words") << "default"
                               << "Load OK, 2048 bytes\nErase OK\nProgram OK\nFill FD\nRead OK\n"
                               << 0x0083 << "0x0083 (chip 0x07, file 0x17)";
    QTest::newRow("other words") << "other"
                                 << "geloescht\nprogrammiert\nausgelesen\n"
                                 << 0x07FF << "0x07FF (chip 0xFF, file 0xEF)";
}

void TstTool::writeThenVerify()
{
    const auto [texts, out, address, difference] =
        fetch<QString, QString, int, QString>("texts", "out", "address", "difference");
    SimProcess sim({"--texts", texts});
    QVERIFY(sim.start());
    QCOMPARE(sim.control("fault no-clear"), "ok"); // clearing the SRAM leaves it as it was

    // A chip of nothing but 00, the byte read fills the SRAM with: read once more over FF,
    // and saved as it is.
    const QByteArray zeros(2048, '\0');
    QCOMPARE(tool({"--port", "DEV", "write", writeFile(file("zeros.tsk"), zeros)}, &sim).code, 0);
    sim.markReceived();
    QCOMPARE(tool({"--port", "DEV", "read", file("read.tsk")}, &sim).code, 0);
    QCOMPARE(readFile(file("read.tsk")), zeros);
    QCOMPARE(sim.received(), "ii!" + QByteArray("F\x00RS2F\xFFRS2", 10));
    // The shorter image against that chip: the differences in the image and the flash after
    // it that is not blank, each with its first address.
    Run r = tool({"--port", "DEV", "verify", "DATA/blink.ihx"}, &sim);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.out.endsWith("verify: 122 bytes of 143 differ, the first at 0x0000 (chip 0x00, "
                            "file 0x02); 1905 bytes after the image are not blank, the first at "
                            "0x008F (chip 0x00)\n"),
             qPrintable(r.out));

    // Written over it, the image is loaded padded with FF to the chip's size: the flash past
    // it ends up blank whatever the SRAM held.
    sim.markReceived();
    r = tool({"--port", "DEV", "write", "DATA/blink.ihx"}, &sim);
    QCOMPARE(r.ok(), out + "verify: 143 bytes match, and the 1905 after them are blank\n");
    // The search, the chip, then load, erase, program; the SRAM filled with the complement
    // of the first byte, read, read back the whole chip.
    const QByteArray sent = "ii!" + QByteArray("L\x08\x00", 3) + m_blink + "EPF\xFDRS2";
    QCOMPARE(sim.received(), sent); // the tool read the last reply: the emulator has logged all
    QCOMPARE(flash(sim, 2048), m_blink);

    // A file one byte off: the difference named, and the chip only read.
    QByteArray changed = m_blink;
    changed[address] = static_cast<char>(changed.at(address) ^ 0x10);
    sim.markReceived();
    r = tool({"--port", "DEV", "verify", writeFile(file("changed.bin"), changed)}, &sim);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.out.endsWith("verify: 1 byte of 2048 differs, the first at " + difference + "\n"),
             qPrintable(r.out));
    QCOMPARE(sim.received(), QByteArray("ii!F\xFDRS2"));

    // A locked chip refuses to be read: the SRAM comes back as filled, twice. No file is
    // written; an old one is left as it was.
    sim.markReceived();
    QCOMPARE(tool({"--port", "DEV", "lock"}, &sim).code, 0);
    r = tool({"--port", "DEV", "read", writeFile(file("old.tsk"), "old")}, &sim);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains("the chip could not be read"), qPrintable(r.err));
    QCOMPARE(readFile(file("old.tsk")), QByteArray("old"));
    QCOMPARE(sim.received(), "ii!lii!" + QByteArray("F\x00RS2F\xFFRS2", 10));
}

namespace
{

const QString Other = "--texts other";

void row(const QString &name, const QString &simArgs, const QString &args, int code,
         const QString &out, const QString &err, const QByteArray &sent)
{
    QTest::newRow(qPrintable(name)) << simArgs << args << code << out << err << sent;
}

// Commands that work: after the search's "ii" and the chip's "!", their bytes; on standard
// output their reply alone, whatever its words.
void works(const QString &args, const QByteArray &sent, const QString &out,
           const QString &simArgs = {})
{
    row((args + " " + simArgs).trimmed(), simArgs, args, 0, out, {}, "ii!" + sent);
}

// Refused before the search (2) or failed (1, 3): nothing on standard output.
void fails(const char *name, const QString &simArgs, const QString &args, int code,
           const QString &err)
{
    row(name, simArgs, args, code, {}, err, {});
}

void commandRows()
{
    works("erase", "E", "Erase OK\n");
    works("sig", "s", "Signature 1E 21 AT89C2051 OK\n");
    works("program", "P", "Program OK\n");
    works("fill 0", QByteArray("F\x00", 2), "Fill 00\n");
    works("test sram", "tR", "SRAM test OK, 8192 bytes\n");
    works("test sram", "tR", "SRAM test failed\n", "--fault sram"); // shown, not judged: exit 0
    works("test sram", "tR", "Speicher defekt\n", "--fault sram " + Other);
    works("test buzzer", "tb", "Buzzer test done\n");
    works("test vpp-high", "th", "Vpp high\n");
    works("test firmware", "tf", "Firmware V2.10\n");
    // Silence where no answer is needed, lines ended by LF or by CR alone.
    works("blank", "B", "leer\n", Other);
    works("clear", "X", "", Other);
    works("checksum", "c", "Summe f800\n", Other);
    works("test led", "tL", "LED an und aus\n", Other);
    works("test vpp", "tV", "Programmierspannung 12,0 V\n", Other);
    works("test vpp-low", "tl", "Vpp aus\n", Other);
    const QString ff = QString(" ff").repeated(16) + "\n";
    works("dump 0x7F0", "d\x07\xF0", "07f0>" + ff + "0800>" + ff + "0810>" + ff + "0820>" + ff,
          Other);
    row("--chip for the run", "", "--chip 1051U checksum", 0, "Checksum FC00\n", {}, "ii#c");
    // The words do not decide, unless --fail-on says so.
    works("erase", "E", "Error: signature 1E 41, expected 1E 21 (AT89C2051)\n", "--chip 4051");
    works("erase", "E", "Kennung 1E41 statt 1E21 (89C2051)\n", "--chip 4051 " + Other);
    const QString failOn = "--fail-on ^(Error|Kennung.*statt) erase";
    fails("1: --fail-on", "--chip 4051", failOn, 1, "programmer said: Error: signature 1E 41");
    fails("1: --fail-on, other words", "--chip 4051 " + Other, failOn, 1, "said: Kennung 1E41");
    // A reply in UTF-8 shows so, and --fail-on and JSON see it so; other bytes show as
    // Latin-1, a first byte that nothing follows too.
    const QString utf8 = "--id Vantor-USB-燒錄器-V2.10-błąd\\r\\n",
                  said = "Vantor-USB-燒錄器-V2.10-błąd";
    works("version", "i", "Vantor-USB-Programmer-ÿ-V2.10-Ã\n",
          "--id Vantor-USB-Programmer-\\xFF-V2.10-\\xC3");
    works("--json version", "i",
          "{\"event\":\"reply\",\"text\":\"" + said + "\"}\n{\"event\":\"done\",\"exit\":0}\n",
          utf8);
    fails("1: --fail-on, UTF-8", utf8, "--fail-on b.ąd$ version", 1, "programmer said: " + said);
}

void runColumns()
{
    // "none": no emulator, else "--port DEV" comes first; after a ";", a control line for it.
    // out: exactly, for exit codes 0 and 2
    // err: a part
    // sent: exactly, for exit codes 0 and 2
    columns<QString, QString, int, QString, QString, QByteArray>("simArgs", "args", "code", "out",
                                                                 "err", "sent");
}

} // namespace

// The commands that work, and the arguments and runs that fail: two tables of one shape, so
// that they can run beside each other.
void TstTool::commands_data()
{
    runColumns();
    commandRows();
}

void TstTool::runs_data()
{
    runColumns();
    row("0: help", "none", "--help", 0, {}, {}, {}); // its end is checked below
    row("0: --simulate, quiet", "none", "--simulate -q load DATA/blink.ihx", 0,
        "Load OK, 143 bytes\n", {}, {});
    fails("2: no command", "", "", 2, "no command given");
    fails("2: unknown command", "", "flash", 2, "unknown command \"flash\"");
    fails("2: unknown option", "", "--fast sig", 2, "fast");
    fails("2: missing argument", "", "dump", 2, "dump takes 1 argument, got 0");
    fails("2: unknown chip", "", "chip 8051", 2, "unknown chip \"8051\"");
    fails("2: dump address", "", "dump 1000", 2, "0000 to 0FFF");
    fails("2: signed fill", "", "fill +F", 2, "\"+F\": give two hex digits, 00 to FF");
    fails("2: negative fill", "", "fill -1", 2, "fill value \"-1\": give two hex digits");
    fails("2: signed address", "", "dump 0x-0", 2, "\"0x-0\": give hex digits, 0000 to 0FFF");
    fails("2: size", "", "save x.tsk --size 3K", 2, "unknown size \"3K\"");
    fails("2: settle", "", "--settle soon sig", 2, "--settle takes");
    fails("2: timeout", "", "--timeout 0 sig", 2, "--timeout takes seconds");
    // Programming that answers after its 3 s, with a firmware said to take at most 1 s.
    fails("1: past --timeout", "--pace", "--timeout 1 program", 1, "no answer within 1.5 s");
    fails("2: fail-on", "", "--fail-on ( sig", 2, "--fail-on: not");
    fails("2: repeat not for sig", "", "--repeat sig", 2, "--repeat is for write");
    fails("2: log in no folder", "", "--log no/log.csv write DATA/blink.tsk", 2, "write the log");
    fails("1: log on a full disk", "", "--log /dev/full write DATA/blink.tsk", 1,
          "vantor-cli: /dev/full: cannot write the log: No space left on device\n");
    // A serial number: in FF, inside the chip, fitting its format, its options together.
    const QString serial = "--serial-state none.serial write DATA/blink.tsk --repeat --serial ";
    fails("2: serial on the image", "", serial + "10:1", 2,
          "--serial: the image holds 0x02 at 0x0010, not FF, where the serial number goes");
    fails("2: serial past the chip", "", serial + "7FF:1", 2,
          "--serial: 2 bytes at 0x07FF lie outside the AT89C2051's 2048\n");
    fails("2: serial too large", "", serial + "7FC:10000 --serial-format bcd4", 2,
          "serial number 10000 does not fit bcd4 (at most 9999); no chip was programmed");
    fails("2: serial format", "", serial + "7FC:1 --serial-format bcd6", 2, "format \"bcd6\"");
    fails("2: serial field", "", serial + "7FC", 2, "--serial takes ADDR:FIRST[:STEP]");
    fails("2: missing file", "", "load n%1o.hex", 2, "vantor-cli: n%1o.hex: no such file\n");
    row("0: HEX under another name", "", "load h%1.bin", 0, "Load OK, 3 bytes\n", {},
        QByteArray("ii!L\x00\x03\x02\x00\x0A", 9));
    fails("2: a folder", "", "load .", 2, ".: a folder, not a file");
    fails("2: under a file", "", "load bad.hex/x", 2, "bad.hex/x: a part of the path is not a");
    fails("2: bad checksum", "", "write bad.hex", 2, "bad.hex: line 1: checksum");
    fails("2: a name with %1", "", "load e%1.hex", 2, "e%1.hex: 1048577 bytes, more than the");
    fails("2: flash", "", "express c%1.tsk", 2, "c%1.tsk: 4096 bytes, more than the AT89C2051's");
    row("0: a full buffer", "", "load b.bin", 0, "Load OK, 4999 bytes\n", {},
        QByteArray("ii!L\x13\x87", 6) + QByteArray(4999, 'e'));
    fails("2: buffer", "", "load a%1.bin", 2, "a%1.bin: 5000 bytes, more than the programmer's");
    fails("2: empty image", "", "write empty.tsk", 2, "vantor-cli: empty.tsk: the image is empty");
    fails("2: empty, express", "", "express empty.tsk", 2, "empty.tsk: the image is empty");
    fails("2: empty, load", "", "load empty.tsk", 2, "empty.tsk: the image is empty");
    fails("2: empty, verify", "", "verify empty.tsk", 2, "empty.tsk: the image is empty");
    fails("2: save into a missing folder", "", "save no/such/x.tsk", 2,
          "no/such/x.tsk: cannot write: no such folder");
    fails("2: save into a folder", "", "read . --size 1K", 2, "vantor-cli: .: is a directory\n");
    // A read-back short of the block or running on past it, in either words: no file.
    fails("1: save, short", ";short 100", "save out.tsk --size 1K", 1, "sent 100 of 1024 bytes");
    fails("1: save, a byte more", ";extra 1", "save out.tsk --size 1K", 1,
          "sent more than the 1024-byte block");
    fails("1: read, a byte more", Other + ";extra 1", "read out.tsk", 1,
          "sent more than the 2048-byte block");
    fails("1: verify, 8 bytes more", Other + ";extra 8", "verify DATA/blink.tsk", 1,
          "sent more than the 2048-byte block");
    // Why each port was not the programmer.
    fails("3: no such device", "none", "--port /dev/no-such sig", 3,
          "no programmer found\nvantor-cli: COM1 /dev/no-such: no such device\n");
    fails("3: silent", "--silent", "sig", 3, ": no answer\n");
    fails("3: one character short", "--id Vantor-USB-Programmer-V\\r\\n", "sig", 3,
          ": answered but not as the programmer: \"Vantor-USB-Programmer-V\\r\\n\"\n");
    fails("3: no ports at all", "none", "--ports ,, sig", 3, "no serial ports");
}

void TstTool::runs()
{
    const auto [simArgs, args, code, out, err, sent] =
        fetch<QString, QString, int, QString, QString, QByteArray>("simArgs", "args", "code", "out",
                                                                   "err", "sent");
    const bool none = simArgs == "none";
    SimProcess sim(simArgs.section(';', 0, 0).split(' ', Qt::SkipEmptyParts));
    QVERIFY(none || sim.start());
    QVERIFY(!simArgs.contains(';') || sim.control(simArgs.section(';', 1)) == "ok");
    const Run r = tool((none ? args : "--port DEV " + args).split(' ', Qt::SkipEmptyParts), &sim);
    QVERIFY2(r.code == code, qPrintable(QString("exit %1, stderr: %2").arg(r.code).arg(r.err)));
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    if (args == "--help")
        QVERIFY(r.out.endsWith("(none found, or it went away); 130 stopped by Ctrl+C.\n"));
    else if (code == 0 || code == 2)
        QCOMPARE(r.out, out);
    if (!none && (code == 0 || code == 2)) {
        QVERIFY(sim.waitReceived(static_cast<int>(sent.size())));
        QCOMPARE(sim.received(), sent);
    }
    QVERIFY(!QFile::exists(file("out.tsk"))); // no row writes it
    if (args.contains(" -q "))
        QCOMPARE(r.err, QString());
    if (args.contains("--chip")) // held for the run, not remembered
        QVERIFY(!QFile::exists(file("chip.log")));
}

void TstTool::loadAndSave()
{
    SimProcess sim;
    QVERIFY(sim.start());
    // Load from a path that looks like a placeholder: shown as written. Standard error is not
    // a terminal here, so progress comes as plain lines.
    const QString path = writeFile(file("g%1h%2 %L1.tsk"), m_blink);
    Run r = tool({"--port", "DEV", "load", path}, &sim);
    QCOMPARE(r.ok(), "Load OK, 2048 bytes\n");
    QVERIFY2(r.err.contains("Find Programmer on COM1\n") && !r.err.contains('\r') &&
                 r.err.contains("\nLoading  " + path + "   ( 2048 Bytes)...\n") &&
                 r.err.contains("load: 2048/2048 bytes (100%)\n") &&
                 r.err.endsWith("\nLoad completed\n"),
             qPrintable(r.err));

    // Save with standard error on a terminal: a bar redrawn in place.
    Pty pty;
    r = tool({"--port", "DEV", "save", file("bar.tsk"), "--size", "4K"}, &sim, pty.device);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QByteArray terminal(8192, '\0');
    terminal.truncate(qMax<qsizetype>(0, ::read(pty.master, terminal.data(), terminal.size())));
    QVERIFY2(terminal.contains("\rsave [##############################] 4096/4096 bytes 100%") &&
                 !terminal.contains("save: "),
             terminal.constData());
    QCOMPARE(readFile(file("bar.tsk")), m_blink + QByteArray(2048, char(0xFF)));
}

void TstTool::chipExpressAndRead()
{
    // The 1051U, whose 1K is programmed soonest, chosen and remembered in chip.log.
    SimProcess sim({"--chip", "1051U"});
    QVERIFY(sim.start());
    QCOMPARE(tool({"--port", "DEV", "chip", "1051U"}, &sim).ok(), "Chip AT89C1051U\n");
    QCOMPARE(readFile(file("chip.log")), QByteArray("1051U"));

    // The next run tells the chip remembered. Express: loaded, erased, programmed and
    // verified in one step, from the HEX file.
    sim.markReceived();
    Run r = tool({"--port", "DEV", "express", "DATA/blink.ihx"}, &sim);
    QCOMPARE(r.ok(), "Load OK, 143 bytes\nErase OK\nProgram OK\nVerify OK\n");
    QVERIFY(r.err.contains("Load completed... ( Checksum = 3D6C )\n"));
    QCOMPARE(sim.received(), "ii#Q" + QByteArray("\x00\x8F", 2) + m_blink.left(143));
    QCOMPARE(flash(sim, 1024), m_blink.left(1024));

    // Read: the chip into the SRAM (filled with something else first, by a run that holds
    // another chip and does not remember it), then the chip's size.
    QCOMPARE(tool({"--port", "DEV", "--chip", "4051", "fill", "5a"}, &sim).code, 0);
    QCOMPARE(readFile(file("chip.log")), QByteArray("1051U"));
    QCOMPARE(tool({"--port", "DEV", "read", file("chip.bin")}, &sim).ok(), "Fill 00\nRead OK\n");
    QCOMPARE(readFile(file("chip.bin")), m_blink.left(1024));

    // In a folder that may not be written the chip is told, not remembered, and the tool
    // says why.
    QTemporaryDir readOnly;
    QVERIFY(QFile::setPermissions(readOnly.path(), QFile::ReadOwner | QFile::ExeOwner));
    m_cwd = readOnly.path();
    m_ordinary = true;
    r = tool({"--port", "DEV", "chip", "2051"}, &sim);
    m_cwd.clear();
    m_ordinary = false;
    QCOMPARE(r.ok(), "Chip AT89C2051\n");
    const QString why = ": cannot read or create it (permission denied); the chip will not be "
                        "remembered\n";
    QVERIFY2(r.err.contains(readOnly.filePath("chip.log") + why), qPrintable(r.err));
}

void TstTool::silenceIsNoAnswerOnlyWhenAnAnswerIsAskedFor()
{
    // A board of the test's own that keeps only the first promise: it answers "i" with an
    // identification, and nothing else.
    Pty pty;
    const int master = pty.master;
    const int slave = ::open(qPrintable(pty.device), O_RDWR | O_NOCTTY); // kept open, as a board's
    QSocketNotifier board(master, QSocketNotifier::Read);
    connect(&board, &QSocketNotifier::activated, [master] {
        char bytes[64];
        const ssize_t n = ::read(master, bytes, sizeof bytes);
        for (ssize_t i = 0; i < n; ++i)
            QVERIFY(bytes[i] != 'i' ||
                    ::write(master, "Vantor USB Programmer V2.10\r\n", 29) == 29);
    });
    // Checksum asks for an answer; clearing may go unanswered.
    for (const auto &[command, code] : {std::pair{"checksum", 1}, {"clear", 0}}) {
        QProcess process;
        start(process, {"--port", pty.device, command});
        QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, 20000);
        const Run r = finish(process);
        QCOMPARE(r.code, code);
        QVERIFY2(code == 0 || r.err.contains("no answer within 0.5 s"), qPrintable(r.err));
    }
    board.setEnabled(false);
    ::close(slave);
}

void TstTool::lateLinesBelongToTheReply_data()
{
    // waitMs: after the reply's first line, before the late one
    columns<QString, int, QString>("args", "waitMs", "out");
    // A line that follows a reply within the settle time belongs to it.
    QTest::newRow("within --settle")
        << "--settle 3000 version" << 0 << "Brenner USB-Vantor, Stand 2.10\nand a late line\n";
    // A chip operation is not done before the chip can have been programmed (2048 bytes at
    // 2 ms each, and half a second): its answer may come in stages.
    QTest::newRow("while programming") << "program" << 1000 << "programmiert\nand a late line\n";
}

void TstTool::lateLinesBelongToTheReply()
{
    const auto [args, waitMs, out] = fetch<QString, int, QString>("args", "waitMs", "out");
    SimProcess sim({"--texts", "other"}); // the chip chosen silently: no settle before the reply
    QVERIFY(sim.start());
    QProcess process;
    start(process, ("--port DEV " + args).split(' '), &sim);
    QTRY_VERIFY_WITH_TIMEOUT(process.peek(100).startsWith(out.left(5).toLatin1()), 10000);
    QTest::qWait(waitMs);
    QCOMPARE(sim.control("send and a late line\\r\\n"), "ok");
    QCOMPARE(finish(process).ok(), out);
}

void TstTool::verboseShowsTheWire_data()
{
    // reply: a part of it; empty: no log at all
    columns<QString, QString, QString>("args", "simArgs", "reply");
    QTest::newRow("-v") << "-v checksum" << QString() << "Checksum F800";
    QTest::newRow("--verbose, other words") << "--verbose checksum" << Other << "Summe f800";
    QTest::newRow("without") << "checksum" << QString() << QString();
}

// The line's bytes as they went: the command's one line out, its reply in the lines in
// after it (in as many pieces as the line delivered).
void TstTool::verboseShowsTheWire()
{
    const auto [args, simArgs, reply] =
        fetch<QString, QString, QString>("args", "simArgs", "reply");
    SimProcess sim(simArgs.split(' ', Qt::SkipEmptyParts));
    QVERIFY(sim.start());
    const Run r = tool(("--port DEV " + args).split(' '), &sim);
    QCOMPARE(r.code, 0);
    const QStringList logged = r.err.split('\n').filter(QRegularExpression("^vantor\\."));
    if (reply.isEmpty()) {
        QVERIFY2(logged.isEmpty(), qPrintable(r.err));
        return;
    }
    QVERIFY2(!logged.filter(QRegularExpression("^vantor.session: \\d+ ms found on COM1")).isEmpty(),
             qPrintable(r.err));
    const QRegularExpression out("^vantor.transport: \\d+ ms COM1 out 1: c$"),
        in("^vantor.transport: \\d+ ms COM1 in \\d+: (.*)$");
    const qsizetype sent = logged.indexOf(out);
    QVERIFY2(sent >= 0 && logged.lastIndexOf(out) == sent, qPrintable(r.err));
    QString received;
    for (const QString &line : logged.mid(sent + 1))
        received += in.match(line).captured(1);
    QVERIFY2(received.startsWith(reply), qPrintable(r.err));
}

namespace
{

void productionColumns()
{
    // sums: the image's SHA-256 and 16-bit sum, summed by others
    // chip: --chip: the run holds it, a stray key starts nothing
    // fault: what makes chip 2 fail
    // end: input, Ctrl+C, unplug, or kill and a run after it
    // serial: the serial number's options
    // field: its address, and its bytes in the last chip
    // numbers: each log line's serial number
    columns<QString, QString, QString, QString, QString, QString, int, QString, QString,
            QStringList, QString>("image", "sums", "texts", "chip", "fault", "end", "code",
                                  "summary", "serial", "field", "numbers");
}

const QString Tsk = "539fca7c7556421b2d8ca9ffb9ae2629568a5a3934c95c3e40eab23c62bf86ef,A6FB";
const QString Ihx = "6b541f52924205335ea955b2fff14d43cccdb887bab26d83a352c98b636b769d,3D6C";

} // namespace

void TstTool::productionRun_data()
{
    productionColumns();
    const QString summary = "3 chips: 2 passed, 1 failed";
    QTest::newRow("own words, input ends")
        << "DATA/blink.tsk" << Tsk << "default" << QString() << "short 100"
        << "input" << 1 << summary << "--serial 7FE:1000 --serial-state own.serial"
        << QStringList{"2046", "03 E9"} << "1000 1001 1001";
    // The smaller image, as its load goes unanswered and is waited out; the number in the
    // padding after it.
    QTest::newRow("other words, the programmer gone")
        << "DATA/blink.ihx" << Ihx << "other" << QString() << "chip 4051"
        << "unplug" << 3 << summary + "; the programmer went away"
        << "--serial 0x7F0:1000 --serial-format ascii:4 --serial-state n.serial"
        << QStringList{"2032", "31 30 30 31"} << "1000 1001 1001";
    QTest::newRow("--chip, a stray key, Ctrl+C")
        << "DATA/blink.ihx" << Ihx << "default"
        << "2051"
        << "chip 4051"
        << "Ctrl+C" << 1 << summary << "" << QStringList() << "  ";
}

// Runs cut short: the tool killed between chips, a full disk. A table of its own, so that
// it runs beside the one above.
void TstTool::productionRunStopped_data()
{
    productionColumns();
    // Killed between chips while a second run is refused the numbers; the run after it
    // goes on from the next.
    QTest::newRow("killed, then run again")
        << "blink.tsk" << Tsk << "other" << QString() << "short 100"
        << "kill" << 0 << "1 chip: 1 passed, 0 failed"
        << "--serial 7FE:1000:7 --serial-format bcd4" << QStringList{"2046", "10 14"}
        << "1000 1007 1007 1014";
    // The log takes chip 1's line but not chip 2's: the run ends before chip 3.
    QTest::newRow("a full disk") << "DATA/blink.ihx" << Ihx << "other" << QString() << "short 100"
                                 << "full" << 1 << "2 chips: 1 passed, 1 failed"
                                 << "--serial 7F0:1000 --serial-state full.serial"
                                 << QStringList{"2032", "03 E9"} << "1000";
}

void TstTool::productionRun()
{
    const auto [image, sums, texts, chip, fault, end, code, summary, serial, field, numbers] =
        fetch<QString, QString, QString, QString, QString, QString, int, QString, QString,
              QStringList, QString>("image", "sums", "texts", "chip", "fault", "end", "code",
                                    "summary", "serial", "field", "numbers");
    SimProcess sim({"--texts", texts});
    QVERIFY(sim.start());
    QFile::remove(file("run.csv"));
    QProcess process;
    m_fileLimit = end == "full" ? 420 : 0; // the header and one line
    const QStringList args = (chip.isEmpty() ? QStringList() : QStringList{"--chip", chip}) +
                             serial.split(' ', Qt::SkipEmptyParts) +
                             QStringList{"--port",     "DEV",  "--log", "run.csv", "--lot",   "L7",
                                         "--operator", "=cmd", "write", image,     "--repeat"};
    start(process, args, &sim);
    Shown out{process, QProcess::StandardOutput}, err{process, QProcess::StandardError};
    QVERIFY2(out.until("chip 1: passed (1 passed, 0 failed)\n"), qPrintable(out.all));
    // The next chip is not the one chosen, or its read-back falls short.
    QCOMPARE(sim.control(fault), "ok");
    if (!chip.isEmpty()) { // the key asks for it: said, and nothing sent
        sim.markReceived();
        QCOMPARE(sim.control("key 4K"), "ok");
        QVERIFY(err.until("the programmer's key asks for AT89C4051; this run is for AT89C2051\n",
                          5000));
        QCOMPARE(sim.received(), QByteArray());
    }
    QCOMPARE(sim.control("key 2K"), "ok");
    QVERIFY2(out.until("chip 2: failed (1 passed, 1 failed)\n"), qPrintable(out.all));
    if (end != "full") {
        QCOMPARE(sim.control("chip 2051"), "ok");
        process.write("\n"); // Enter
        QVERIFY2(out.until("chip 3: passed (2 passed, 1 failed)\n"), qPrintable(out.all));
    }
    if (end == "Ctrl+C")
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    else if (end == "unplug")
        QCOMPARE(sim.control("unplug"), "ok");
    else if (end == "input")
        process.closeWriteChannel();
    if (end == "kill") { // a second run is refused the numbers; the run after the kill goes on
        const Run second = tool(args, &sim);
        QCOMPARE(second.code, 2);
        QVERIFY2(second.err.contains(QString("blink.tsk.serial: in use by another run (pid %1 on ")
                                         .arg(process.processId())),
                 qPrintable(second.err));
        ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
        QCOMPARE(finish(process).code, -1);
        out.all.clear();
        start(process, args, &sim);
        QVERIFY2(out.until("chip 1: passed (1 passed, 0 failed)\n"), qPrintable(out.all));
        process.closeWriteChannel();
    }
    const Run r = finish(process);
    m_fileLimit = 0;
    QCOMPARE(r.code, code);
    QVERIFY2((out.all + r.out).endsWith(summary + "\n"), qPrintable(out.all + r.out));
    QVERIFY(end != "full" || r.err.contains("run.csv: cannot write the log: File too large\n"));
    QCOMPARE(QFile::exists(file("chip.log")), chip.isEmpty());
    if (!field.isEmpty()) // the number in the last chip
        QCOMPARE(
            sim.control(QString("flash %1 %2").arg(field.at(0)).arg(field.at(1).count(' ') + 1)),
            field.at(1));
    const QStringList log = QString::fromUtf8(readFile(file("run.csv"))).split('\n');
    const QStringList serials = numbers.split(' ');
    QCOMPARE(log.size(), serials.size() + 2); // the header and a line a chip, each ended
    QCOMPARE(log.last(), QString());          // and none written in part
    QCOMPARE(log.first(), "time,station,port,programmer,usb_serial,chip,image,sha256,sum,"
                          "serial,attempt,result,first_difference,duration_ms,lot,operator");
    const QString id =
        texts == "other" ? "\"Brenner USB-Vantor, Stand 2.10\"" : "Vantor USB Programmer V2.10";
    for (int i = 0; i < serials.size(); ++i) {
        const QString line = log.at(i + 1);
        QVERIFY2(line.contains(",1," + sim.device() + "," + id + ",,AT89C2051," +
                               QFileInfo(image).fileName() + "," + sums + "," + serials.at(i) +
                               ",1," + (i == 1 ? "failed," : "passed,,")),
                 qPrintable(line));
        QVERIFY2(line.endsWith(",L7,'=cmd"), qPrintable(line));
        QVERIFY(QDateTime::fromString(line.section(',', 0, 0), Qt::ISODate).isValid());
    }
}

void TstTool::ctrlC_data()
{
    // simArgs: the emulator paced, so that programming takes 3 s
    // received: bytes on the line when Ctrl+C is pressed
    // out: its end
    // err: parts, in this order
    columns<QString, QString, int, int, int, QString, QStringList>("simArgs", "args", "received",
                                                                   "presses", "code", "out", "err");
    // "ii!", "L" with the length and the image padded to 2048 bytes, "E", then "P".
    const int programming = 3 + 3 + 2048 + 2;
    const QString partly = "vantor-cli: interrupted while programming: the chip may be partly "
                           "programmed; erase and write it again\n";
    // The identification shown once, whole, although it arrives in pieces.
    QTest::newRow("write, other words")
        << "--pace --texts other"
        << "--port DEV write DATA/blink.ihx" << programming << 1 << 130 << ""
        << QStringList{"Find Programmer on COM1\nBrenner USB-Vantor, Stand 2.10\nLoading", partly};
    QTest::newRow("the search") << "--silent"
                                << "--ports DEV,DEV,DEV,DEV sig" << 1 << 1 << 130 << ""
                                << QStringList{"vantor-cli: interrupted while searching for the "
                                               "programmer: the chip was not changed\n"};
    QTest::newRow("a production run: after the chip")
        << "--pace"
        << "--port DEV write DATA/blink.ihx --repeat" << programming << 1 << 0
        << "chip 1: passed (1 passed, 0 failed)\n1 chip: 1 passed, 0 failed\n"
        << QStringList{"stopping after this chip\n", "read back: "};
    QTest::newRow("a production run: at once")
        << "--pace"
        << "--port DEV write DATA/blink.ihx --repeat" << programming << 2 << 130
        << "0 chips: 0 passed, 0 failed\n"
        << QStringList{"stopping after this chip\n", partly};
}

void TstTool::ctrlC()
{
    const auto [simArgs, args, received, presses, code, out, err] =
        fetch<QString, QString, int, int, int, QString, QStringList>(
            "simArgs", "args", "received", "presses", "code", "out", "err");
    SimProcess sim(simArgs.split(' '));
    QVERIFY(sim.start());
    QProcess process;
    start(process, args.split(' '), &sim);
    QVERIFY(sim.waitReceived(received, 20000));
    Shown shown{process, QProcess::StandardError};
    for (int n = 1; n <= presses; ++n) { // each once the one before has been taken
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        QVERIFY(n == presses || shown.until("stopping after this chip", 5000));
    }
    Run r = finish(process);
    r.err.prepend(shown.all);
    QVERIFY2(r.code == code, qPrintable(QString("exit %1: %2").arg(r.code).arg(r.err)));
    QVERIFY2(out.isEmpty() || r.out.endsWith(out), qPrintable(r.out));
    QVERIFY2(code != 130 || !r.out.contains("verify"), qPrintable(r.out));
    qsizetype at = 0;
    for (const QString &part : err) {
        at = r.err.indexOf(part, at);
        QVERIFY2(at >= 0, qPrintable(part + " not in order in: " + r.err));
    }
}

void TstTool::stations_data()
{
    // fault: what makes station 3's second chip fail
    // numbers: the serial numbers of the chips that passed, in any order
    // all: the stations' total
    // end: the input ends between chips, or Ctrl+C comes while two chips are written
    columns<QString, QString, QString, QString, QString>("texts", "fault", "numbers", "all", "end");
    QTest::newRow("own words") << "default"
                               << "none"
                               << "1000 1001 1002 1003 1004 1005"
                               << "6 passed, 0 failed"
                               << "input";
    QTest::newRow("other words, a chip fails, Ctrl+C") << "other"
                                                       << "short 100"
                                                       << "1000 1001 1002 1003 1004"
                                                       << "5 passed, 1 failed"
                                                       << "Ctrl+C";
}

// Three programmers at once: the second pulled out after its first chip while the others go
// on; one counter of serial numbers and one log for all.
void TstTool::stations()
{
    const auto [texts, fault, numbers, all, end] =
        fetch<QString, QString, QString, QString, QString>("texts", "fault", "numbers", "all",
                                                           "end");
    std::vector<std::unique_ptr<SimProcess>> sims;
    QStringList args{"--chip",         "2051",        "--json", "--serial", "7FE:1000",
                     "--serial-state", "gang.serial", "--log",  "gang.csv"};
    for (int i = 0; i < 3; ++i) {
        sims.push_back(std::make_unique<SimProcess>(QStringList{"--texts", texts}));
        QVERIFY(sims.back()->start());
        args << "--port" << sims.back()->device();
    }
    QFile::remove(file("gang.csv"));
    QFile::remove(file("gang.serial"));
    QProcess process;
    Pty terminal; // standard error on a terminal: the status board
    QVERIFY(::fcntl(terminal.master, F_SETFL, O_NONBLOCK) == 0);
    QByteArray shown;
    auto drain = [&] {
        char bytes[4096];
        for (ssize_t n; (n = ::read(terminal.master, bytes, sizeof bytes)) > 0;)
            shown.append(bytes, n);
    };
    QSocketNotifier onTerminal(terminal.master, QSocketNotifier::Read);
    connect(&onTerminal, &QSocketNotifier::activated, this, drain);
    process.setChildProcessModifier([device = terminal.device.toLocal8Bit()] {
        ::dup2(::open(device.constData(), O_RDWR | O_NOCTTY), STDERR_FILENO);
    });
    start(process, args + QStringList{"write", "DATA/blink.tsk", "--repeat"});
    Shown out{process, QProcess::StandardOutput};
    auto chip = [&](int station, int n, const char *result) {
        return out.until(
            QString("\"station\":%1,\"text\":\"chip %2: %3").arg(station).arg(n).arg(result));
    };
    for (int station = 1; station <= 3; ++station)
        QVERIFY2(chip(station, 1, "passed"), qPrintable(out.all));
    QCOMPARE(sims[1]->control("unplug"), "ok");
    if (fault != "none")
        QCOMPARE(sims[2]->control(fault), "ok");
    QCOMPARE(sims[0]->control("key 2K"), "ok"); // the first station's key starts only its chip
    QVERIFY2(chip(1, 2, "passed"), qPrintable(out.all));
    process.write("\n");   // Enter starts every station waiting: the first and the third
    if (end == "Ctrl+C") { // once the third's load has begun: both chips are finished first
        const QString loading = "{\"done\":0,\"event\":\"progress\",\"station\":3,\"total\":2048,"
                                "\"what\":\"load\"}";
        QVERIFY(QTest::qWaitFor([&] { return out.read().count(loading) == 2; }, 10000));
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    }
    QVERIFY2(chip(1, 3, "passed"), qPrintable(out.all));
    QVERIFY2(chip(3, 2, fault == "none" ? "passed" : "failed"), qPrintable(out.all));
    if (end == "input")
        process.closeWriteChannel();
    const Run r = finish(process);
    QCOMPARE(r.code, 3); // a programmer went away
    drain();
    const QString board = QString::fromUtf8(shown).replace("\r\n", "\n");
    QVERIFY2(board.contains("vantor-cli: station 2: the programmer went away\n"),
             qPrintable(board));
    // The board as the run ends, the passes in green.
    QVERIFY2(board.contains(QString("station 2 %1: 1 passed, 0 failed; no programmer; last "
                                    "\x1b[1;32mPASS\x1b[0m\n\x1b[2Kstation 3 ")
                                .arg(sims[1]->device())),
             qPrintable(board));
    QVERIFY2(board.endsWith("all stations: " + all + "\n"), qPrintable(board));
    QCOMPARE(board.contains("stopping after the chips under way\n"), end == "Ctrl+C");
    const QStringList log =
        QString::fromUtf8(readFile(file("gang.csv"))).split('\n', Qt::SkipEmptyParts);
    QStringList stations, passed;
    for (const QString &line : log.mid(1)) { // the identification may hold a quoted comma
        stations << line.section(',', 1, 1);
        const auto m = QRegularExpression(",(\\d+),1,passed,").match(line);
        if (m.hasMatch())
            passed << m.captured(1);
    }
    std::sort(stations.begin(), stations.end());
    std::sort(passed.begin(), passed.end());
    QCOMPARE(stations, QStringList({"1", "1", "1", "2", "3", "3"}));
    QCOMPARE(passed.join(' '), numbers); // never one number twice
    QVERIFY2(
        (out.all + r.out)
            .contains(QString("\"text\":\"6 chips: %1; 1 of 3 programmers went away\"").arg(all)),
        qPrintable(out.all + r.out));
}

void TstTool::lockRetriesAndVerdicts_data()
{
    // simArgs: after ";", a control line
    // terminal: standard output is one: in colour, or not
    // out: parts, in this order
    // lock: the emulator's lock bits afterwards
    columns<QString, QString, QString, int, QStringList, QByteArray, QString>(
        "simArgs", "args", "terminal", "code", "out", "sent", "lock");
    // The 1 KiB chip: the 3-byte image loaded padded with FF, erased, programmed, read back
    // over the complement of the first byte; locked, then read again over that fill.
    const QByteArray image("\x02\x00\x06", 3);
    const QByteArray write =
        "L" + QByteArray("\x04\x00", 2) + image + QByteArray(1021, char(0xFF)) + "EPF\xFDRS1";
    const QByteArray lock = "lF\xFDRS1";
    const QString pass = "\x1b[1;32m████    ███    ████   ████\x1b[0m\n";
    const QString fail = "█████   ███   ███  █    \n";
    QTest::newRow("locked and confirmed, in colour")
        << ""
        << "--lock --signal"
        << "colour" << 0
        << QStringList{"verify: 3 bytes match, and the 1021 after them are blank\n",
                       "Lock bits set\nFill FD\nError: locked\n",
                       "lock: confirmed, the chip can no longer be read\n", "LED test done\n", pass}
        << "ii#" + write + lock + "tL"
        << "lock=3";
    QTest::newRow("a lock that does not take, tried twice, NO_COLOR")
        << "--texts other --fault no-lock"
        << "--lock --retry 1 --signal"
        << "NO_COLOR" << 1
        << QStringList{"Sperrbits gesetzt\n",
                       "lock: not confirmed, the chip can still be read\n",
                       "attempt 1 of 2 failed; erasing and writing the chip again\n",
                       "geloescht\n",
                       "lock: not confirmed",
                       "Summer gepiept\n",
                       fail}
        << "ii#" + write + lock + write + lock + "tb"
        << "lock=0";
    // The first read-back falls short; the second attempt passes.
    QTest::newRow("a retry that passes, --no-color")
        << ";short 100"
        << "--retry 2 --log run.csv --no-color"
        << "plain" << 0
        << QStringList{"Load OK, 1024 bytes\nErase OK\nProgram OK\nFill FD\nRead OK\n"
                       "attempt 1 of 3 failed; erasing and writing the chip again\n"
                       "Load OK, 1024 bytes\nErase OK\nProgram OK\nFill FD\nRead OK\n"
                       "verify: 3 bytes match, and the 1021 after them are blank\n",
                       pass.mid(7).replace("\x1b[0m", "")}
        << "ii#" + write + write << "lock=0";
}

void TstTool::lockRetriesAndVerdicts()
{
    const auto [simArgs, args, terminal, code, out, sent, lock] =
        fetch<QString, QString, QString, int, QStringList, QByteArray, QString>(
            "simArgs", "args", "terminal", "code", "out", "sent", "lock");
    SimProcess sim(("--chip 1051U " + simArgs.section(';', 0, 0)).split(' ', Qt::SkipEmptyParts));
    QVERIFY(sim.start());
    QVERIFY(!simArgs.contains(';') || sim.control(simArgs.section(';', 1)) == "ok");
    QFile::remove(file("run.csv"));
    Pty pty;
    QProcess process; // on a pipe, as everywhere else, no banner
    process.setStandardOutputFile(pty.device);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("NO_COLOR");
    if (terminal == "NO_COLOR")
        env.insert("NO_COLOR", "1");
    process.setProcessEnvironment(env);
    const QString image = writeFile(file("k.bin"), QByteArray("\x02\x00\x06", 3));
    start(process, ("--chip 1051U --port DEV write " + image + " " + args).split(' '), &sim);
    Run r = finish(process);
    QByteArray shown(65536, '\0'); // the terminal's line ends are CR LF
    shown.truncate(qMax<qsizetype>(0, ::read(pty.master, shown.data(), shown.size())));
    r.out = QString::fromUtf8(shown).replace("\r\n", "\n");
    QVERIFY2(r.code == code, qPrintable(QString("exit %1: %2").arg(r.code).arg(r.err)));
    qsizetype at = 0;
    for (const QString &part : out) {
        at = r.out.indexOf(part, at);
        QVERIFY2(at >= 0, qPrintable(part + " not in order in: " + r.out));
    }
    QCOMPARE(r.out.contains("\x1b["), terminal == "colour");
    QCOMPARE(sim.received(), sent);
    QVERIFY(sim.control("state").endsWith(lock));
    if (args.contains("--log")) { // each attempt logged
        const QStringList log = QString::fromUtf8(readFile(file("run.csv"))).split('\n');
        QCOMPARE(log.size(), 4); // the header, a line an attempt, each ended
        QVERIFY2(log.at(1).contains(",AT89C1051U,") && log.at(1).contains(",0008,,1,failed,"),
                 qPrintable(log.at(1)));
        QVERIFY2(log.at(2).contains(",AT89C1051U,") && log.at(2).contains(",0008,,2,passed,,"),
                 qPrintable(log.at(2)));
    }
}

void TstTool::watch()
{
    // An edit, compile and program loop on the 1 KiB chip: written at the start, then
    // after each change once the file has stayed as it is.
    SimProcess sim({"--chip", "1051U", "--texts", "other"});
    QVERIFY(sim.start());
    const QString path = writeFile(file("w.hex"), ":0300000002000AF1\n:00000001FF\n");
    QProcess process;
    start(process, {"--chip", "1051U", "--port", "DEV", "write", "w.hex", "--watch"}, &sim);
    Shown out{process, QProcess::StandardOutput}, err{process, QProcess::StandardError};
    QVERIFY2(out.until("w.hex: passed (1 passed, 0 failed)\n"), qPrintable(out.all));
    QVERIFY2(err.until("watching w.hex for changes"), qPrintable(err.all));
    QCOMPARE(flash(sim, 4), QByteArray("\x02\x00\x0A\xFF", 4));

    // A compiler's output cut off before its end record: said once it stays so, nothing sent.
    sim.markReceived();
    writeFile(path, ":0300000002000BF0\n");
    QVERIFY2(err.until("vantor-cli: w.hex: no end-of-file record: the file is incomplete"),
             qPrintable(err.all));
    // The whole file then put in its place by a rename, as many compilers and editors do.
    writeFile(file("w.tmp"), ":0300000002000BF0\n:00000001FF\n");
    QVERIFY(::rename(qPrintable(file("w.tmp")), qPrintable(path)) == 0);
    QVERIFY2(out.until("w.hex: passed (2 passed, 0 failed)\n"), qPrintable(out.all));
    QVERIFY(sim.received().startsWith("L\x04\x00\x02\x00\x0B"));
    QCOMPARE(flash(sim, 4), QByteArray("\x02\x00\x0B\xFF", 4));
    // And again after the rename: the new file is watched.
    writeFile(path, ":0300000002000CEF\n:00000001FF\n");
    QVERIFY2(out.until("w.hex: passed (3 passed, 0 failed)\n"), qPrintable(out.all));
    // Idle again after the third: Ctrl+C ends the watch.
    QVERIFY2(QTest::qWaitFor([&] { return err.read().count("(100%)\nwatching") == 3; }),
             qPrintable(err.all));
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    QCOMPARE(finish(process).code, 0);
}

void TstTool::jsonEvents()
{
    SimProcess sim;
    QVERIFY(sim.start());
    const Run r = tool({"--port", "DEV", "--json", "write", "DATA/blink.ihx"}, &sim);
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
    QCOMPARE(events,
             QStringList({"progress  load 0", "progress  load 2048", "reply Load OK, 2048 bytes  0",
                          "reply Erase OK  0", "reply Program OK  0", "reply Fill FD  0",
                          "reply Read OK  0", "progress  read back 0", "progress  read back 2048",
                          "result verify: 143 bytes match, and the 1905 after them are blank  0",
                          "done   0"}));
    QVERIFY(r.out.endsWith("{\"event\":\"done\",\"exit\":0}\n"));
    QVERIFY2(r.err.contains("load: 2048/2048 bytes (100%)\n"), qPrintable(r.err)); // progress stays
}

void TstTool::cutShortTransfersFail()
{
    // The cable gone while the image is on the line: the system took the 4 KiB at once, and
    // the paced emulator has read the search, the chip, "L", its length and 1000 bytes.
    SimProcess paced({"--pace"});
    QVERIFY(paced.start());
    QProcess process;
    start(process, {"--port", "DEV", "--json", "load", file("c%1.tsk")}, &paced);
    QVERIFY(paced.waitReceived(3 + 3 + 1000, 20000));
    QCOMPARE(paced.control("unplug"), "ok");
    const Run r = finish(process);
    QCOMPARE(r.code, 3);
    QVERIFY2(r.err.contains("went away") && !r.err.contains("Load completed") &&
                 !r.err.contains("100%") && !r.out.contains("\"done\":4096") &&
                 r.out.endsWith("{\"event\":\"done\",\"exit\":3}\n"),
             qPrintable(r.err + r.out));
    // The identification arrives in pieces at 9600 baud and is shown once, whole.
    QVERIFY2(r.err.startsWith("Check COM1......\nFind Programmer on COM1\nVantor USB Programmer "
                              "V2.10\nChip AT89C2051\n"),
             qPrintable(r.err));
}

void TstTool::convert()
{
    // HEX to a raw image padded to the chip's size: what makebin made of it.
    QCOMPARE(tool({"convert", "DATA/blink.ihx", "out.tsk", "--size", "2K"}).code, 0);
    QCOMPARE(readFile(file("out.tsk")), m_blink);
    // Without a size: from address 0 to the last byte given; the path shown as written.
    const QString path = file("g%1h%2 %L1.bin");
    Run r = tool({"convert", "DATA/blink.ihx", path});
    QCOMPARE(QString("%1 %2").arg(r.code).arg(r.err), "0 wrote 143 bytes to " + path + "\n");
    QCOMPARE(readFile(path), m_blink.left(143));
    // Raw to HEX; one byte is one byte.
    r = tool({"convert", writeFile(file("one.bin"), "\x5A"), "one.hex"});
    QCOMPARE(r.err, "wrote 1 byte to one.hex\n");
    QCOMPARE(tool({"convert", "DATA/blink.tsk", "out.hex"}).code, 0);
    QVERIFY(readFile(file("out.hex")).startsWith(":1000000002000602007A75810712008BE582600308\n"));
    // An image larger than the size asked for.
    r = tool({"convert", "DATA/blink.tsk", "small.tsk", "--size", "1K"});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains("2048 bytes, more than the 1024-byte size"), qPrintable(r.err));
    QVERIFY(!QFile::exists(file("small.tsk")));
}

void TstTool::portsListsWhoAnswers()
{
    SimProcess programmer, silent({"--silent"}), other({"--id", "modem OK\\r\\n"}), held, denied;
    QVERIFY(programmer.start() && silent.start() && other.start() && held.start() &&
            denied.start());
    QSerialPort holder(held.device()); // as another program would
    QVERIFY(holder.open(QIODevice::ReadWrite));
    const QByteArray deniedPath = QFile::encodeName(denied.device());
    QVERIFY(::chmod(deniedPath.constData(), 0) == 0);
    const QString list = QString("/dev/no-such-port,%1,,%2,%3,%4")
                             .arg(silent.device(), other.device(), held.device(), denied.device());
    m_ordinary = true; // root could open the device that is not to be opened
    const Run all = tool({"--ports", list + "," + programmer.device(), "ports"});
    QVERIFY(!QFile::exists(file("chip.log")));
    const Run search = tool({"--ports", list, "-q", "sig"});
    m_ordinary = false;
    ::chmod(deniedPath.constData(), 0600);
    // Each port with a device and why it is not the programmer, as `ports` lists them and as
    // the search says.
    const QList<QStringList> ports = {
        {"COM1", "/dev/no-such-port", "no such device"},
        {"COM2", silent.device(), "no answer"},
        {"COM4", other.device(), "answered but not as the programmer: \"modem OK\\r\\n\""},
        {"COM5", held.device(),
         QString("busy: held by another program (tst_tool, pid %1)")
             .arg(QCoreApplication::applicationPid())},
        {"COM6", denied.device(),
         "permission denied: add yourself to the dialout group (sudo adduser $USER dialout), "
         "then log out and in again"}};
    QString listed, said = "vantor-cli: no programmer found\n";
    for (const QStringList &p : ports) {
        listed += QString("%1  %2  %3\n").arg(p[0], p[1], p[2]);
        said += QString("vantor-cli: %1 %2: %3\n").arg(p[0], p[1], p[2]);
    }
    QCOMPARE(all.ok(), listed + "COM7  " + programmer.device() + "  Vantor USB Programmer V2.10\n");
    QCOMPARE(programmer.received(), QByteArray("ii")); // no chip is told
    QCOMPARE(search.code, 3);
    QCOMPARE(search.err, said);

    const Run r = tool({"--port", silent.device(), "ports"});
    QCOMPARE(r.code, 3);
    QCOMPARE(r.out, QString("COM1  %1  no answer\n").arg(silent.device()));
}

void TstTool::linksWithoutWidgets()
{
    // The tool is built on the library without widgets: no GUI library is loaded at all.
    QProcess ldd;
    ldd.start(QStandardPaths::findExecutable("ldd"), {QStringLiteral(VANTOR_CLI_PATH)});
    QVERIFY2(ldd.waitForFinished(10000), "ldd did not run");
    const QString libraries = QString::fromLocal8Bit(ldd.readAllStandardOutput());
    QVERIFY2(libraries.contains("libQt6SerialPort") && !libraries.contains("libQt6Widgets") &&
                 !libraries.contains("libQt6Gui"),
             qPrintable(libraries));
}

QTEST_GUILESS_MAIN(TstTool)
#include "tst_tool.moc"
