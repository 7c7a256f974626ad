#include "simfixture.h"

#include <QDateTime>
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
#include <stdlib.h>
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

    void writeThenVerify_data();
    void writeThenVerify();
    void runs_data();
    void runs();
    void loadAndSave();
    void chipExpressAndRead();
    void silenceIsNoAnswerOnlyWhenAnAnswerIsAskedFor();
    void lateLinesBelongToTheReply_data();
    void lateLinesBelongToTheReply();
    void productionRun_data();
    void productionRun();
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
    QByteArray m_blink; // blink.tsk, 2048 bytes; blink.ihx gives its first 143
};

void TstTool::start(QProcess &process, QStringList args, SimProcess *sim)
{
    if (sim)
        args.replaceInStrings(QStringLiteral("DEV"), sim->device());
    args.replaceInStrings(QStringLiteral("DATA/"), QStringLiteral(VANTOR_TEST_DATA "/"));
    process.setWorkingDirectory(m_dir.path());
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
}

void TstTool::writeThenVerify_data()
{
    QTest::addColumn<QString>("texts");
    QTest::addColumn<QString>("out"); // the write's replies
    QTest::addColumn<int>("address"); // where the file differs from the chip
    QTest::addColumn<QString>("difference");
    QTest::newRow("own words") << "default"
                               << "SRAM cleared\nLoad OK, 143 bytes\nErase OK\nProgram OK\n"
                                  "Fill FD\nRead OK\n"
                               << 0x0083 << "0x0083 (chip 0x07, file 0x17)";
    QTest::newRow("other words") << "other"
                                 << "geloescht\nprogrammiert\nausgelesen\n"
                                 << 0x07FF << "0x07FF (chip 0xFF, file 0xEF)";
}

void TstTool::writeThenVerify()
{
    QFETCH(QString, texts);
    QFETCH(QString, out);
    QFETCH(int, address);
    QFETCH(QString, difference);
    SimProcess sim({"--texts", texts});
    QVERIFY(sim.start());
    Run r = tool({"--port", "DEV", "write", "DATA/blink.ihx"}, &sim);
    QCOMPARE(r.ok(), out + "verify: 143 bytes match\n");
    // The search, the chip, then clear, load, erase, program; the SRAM filled with the
    // complement of the first byte, read, read back 1K.
    const QByteArray sent = "ii!X" + QByteArray("L\x00\x8F", 3) + m_blink.left(143) + "EPF\xFDRS1";
    QCOMPARE(sim.received(), sent); // the tool read the last reply: the emulator has logged all
    QCOMPARE(flash(sim, 2048), m_blink); // the flash past the image left erased

    // A file one byte off: the difference named, and the chip only read.
    QByteArray changed = m_blink;
    changed[address] = static_cast<char>(changed.at(address) ^ 0x10);
    sim.markReceived();
    r = tool({"--port", "DEV", "verify", writeFile(file("changed.bin"), changed)}, &sim);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.out.endsWith("verify: 1 byte of 2048 differs, the first at " + difference + "\n"),
             qPrintable(r.out));
    QCOMPARE(sim.received(), QByteArray("ii!F\xFDRS2"));

    // A locked chip refuses to be read, and the SRAM still holds what the last read left.
    sim.markReceived();
    QCOMPARE(tool({"--port", "DEV", "lock"}, &sim).code, 0);
    r = tool({"--port", "DEV", "verify", "DATA/blink.tsk"}, &sim);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.out.endsWith("verify: 2047 bytes of 2048 differ, the first at 0x0000 (chip 0xFD, "
                            "file 0x02)\n"),
             qPrintable(r.out));
    QCOMPARE(sim.received(), QByteArray("ii!lii!F\xFDRS2"));
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
}

} // namespace

void TstTool::runs_data()
{
    // "none": no emulator, else "--port DEV" comes first; after a ";", a control line for it.
    QTest::addColumn<QString>("simArgs");
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");     // exactly, for exit codes 0 and 2
    QTest::addColumn<QString>("err");     // a part
    QTest::addColumn<QByteArray>("sent"); // exactly, for exit codes 0 and 2
    commandRows();
    row("0: help", "none", "--help", 0, {}, {}, {}); // its end is checked below
    row("0: --simulate, quiet", "none", "--simulate -q load DATA/blink.ihx", 0,
        "Load OK, 143 bytes\n", {}, {});
    fails("2: no command", "", "", 2, "no command given");
    fails("2: unknown command", "", "flash", 2, "unknown command \"flash\"");
    fails("2: unknown option", "", "--fast sig", 2, "fast");
    fails("2: missing argument", "", "dump", 2, "dump takes 1 argument, got 0");
    fails("2: unknown chip", "", "chip 8051", 2, "unknown chip \"8051\"");
    fails("2: dump address", "", "dump 1000", 2, "0000 to 0FFF");
    fails("2: signed fill", "", "fill +F", 2, "give 00 to FF");
    fails("2: signed address", "", "dump 0x-0", 2, "0000 to 0FFF");
    fails("2: size", "", "save x.tsk --size 3K", 2, "unknown size \"3K\"");
    fails("2: settle", "", "--settle soon sig", 2, "--settle takes");
    fails("2: fail-on", "", "--fail-on ( sig", 2, "--fail-on: not");
    fails("2: repeat not for sig", "", "--repeat sig", 2, "are for write");
    fails("2: log in no folder", "", "--log no/log.csv write DATA/blink.tsk", 2, "write the log");
    fails("2: missing file", "", "load n%1o.hex", 2, "vantor-cli: n%1o.hex: no such file\n");
    fails("2: a folder", "", "load .", 2, ".: not a file");
    fails("2: bad checksum", "", "write bad.hex", 2, "bad.hex: line 1: checksum");
    fails("2: a name with %1", "", "load e%1.hex", 2, "e%1.hex: 1048577 bytes is far too");
    fails("2: flash", "", "express c%1.tsk", 2, "c%1.tsk: 4096 bytes, more than the AT89C2051's");
    fails("2: buffer", "", "load a%1.bin", 2, "a%1.bin: 5000 bytes, more than the programmer's");
    fails("2: save into a missing folder", "", "save no/such/x.tsk", 2, "cannot write there");
    // A read-back short of the block or running on past it, in either words: no file.
    fails("1: save, short", ";short 100", "save out.tsk --size 1K", 1, "sent 100 of 1024 bytes");
    fails("1: save, a byte more", ";extra 1", "save out.tsk --size 1K", 1,
          "sent more than the 1024-byte block");
    fails("1: read, a byte more", Other + ";extra 1", "read out.tsk", 1,
          "sent more than the 2048-byte block");
    fails("1: verify, 8 bytes more", Other + ";extra 8", "verify DATA/blink.tsk", 1,
          "sent more than the 2048-byte block");
    fails("3: no such device", "none", "--port /dev/no-such sig", 3, "(tried COM1 /dev/no-such)");
    fails("3: silent", "--silent", "sig", 3, "no programmer answered");
    fails("3: one character short", "--id Vantor-USB-Programmer-V\\r\\n", "sig", 3, "answered");
    fails("3: no ports at all", "none", "--ports ,, sig", 3, "no serial ports");
}

void TstTool::runs()
{
    QFETCH(QString, simArgs);
    QFETCH(QString, args);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QByteArray, sent);
    const bool none = simArgs == "none";
    SimProcess sim(simArgs.section(';', 0, 0).split(' ', Qt::SkipEmptyParts));
    QVERIFY(none || sim.start());
    QVERIFY(!simArgs.contains(';') || sim.control(simArgs.section(';', 1)) == "ok");
    const Run r = tool((none ? args : "--port DEV " + args).split(' ', Qt::SkipEmptyParts), &sim);
    QVERIFY2(r.code == code, qPrintable(QString("exit %1, stderr: %2").arg(r.code).arg(r.err)));
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    if (args == "--help")
        QVERIFY(r.out.endsWith("(none found, or it went away).\n"));
    else if (code == 0 || code == 2)
        QCOMPARE(r.out, out);
    if (!none && (code == 0 || code == 2)) {
        QVERIFY(sim.waitReceived(static_cast<int>(sent.size())));
        QCOMPARE(sim.received(), sent);
    }
    QVERIFY(!QFile::exists(file("out.tsk"))); // no row writes it
    if (args.contains(" -q "))
        QCOMPARE(r.err, QString());
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
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    r = tool({"--port", "DEV", "save", file("bar.tsk"), "--size", "4K"}, &sim,
             QString::fromLocal8Bit(ptsname(master)));
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QByteArray terminal(8192, '\0');
    terminal.truncate(qMax<qsizetype>(0, ::read(master, terminal.data(), terminal.size())));
    ::close(master);
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

    // Read: the chip into the SRAM (filled with something else first), then the chip's size.
    QCOMPARE(tool({"--port", "DEV", "fill", "5a"}, &sim).code, 0);
    QCOMPARE(tool({"--port", "DEV", "read", file("chip.bin")}, &sim).ok(), "Read OK\n");
    QCOMPARE(readFile(file("chip.bin")), m_blink.left(1024));
}

void TstTool::silenceIsNoAnswerOnlyWhenAnAnswerIsAskedFor()
{
    // A board of the test's own that keeps only the first promise: it answers "i" with an
    // identification, and nothing else.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const int slave = ::open(ptsname(master), O_RDWR | O_NOCTTY); // kept open, as a board's
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
        start(process, {"--port", QString::fromLocal8Bit(ptsname(master)), command});
        QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, 20000);
        const Run r = finish(process);
        QCOMPARE(r.code, code);
        QVERIFY2(code == 0 || r.err.contains("no answer within 0.5 s"), qPrintable(r.err));
    }
    board.setEnabled(false);
    ::close(slave);
    ::close(master);
}

void TstTool::lateLinesBelongToTheReply_data()
{
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("waitMs"); // after the reply's first line, before the late one
    QTest::addColumn<QString>("out");
    // A line that follows a reply within the settle time belongs to it.
    QTest::newRow("within --settle")
        << "--settle 3000 version" << 0 << "Brenner USB-Vantor, Stand 2.10\nand a late line\n";
    // A chip operation is not done before the chip can have been programmed (2048 bytes at
    // 2 ms each, and half a second): its answer may come in stages.
    QTest::newRow("while programming") << "program" << 1000 << "programmiert\nand a late line\n";
}

void TstTool::lateLinesBelongToTheReply()
{
    QFETCH(QString, args);
    QFETCH(int, waitMs);
    QFETCH(QString, out);
    SimProcess sim({"--texts", "other"}); // the chip chosen silently: no settle before the reply
    QVERIFY(sim.start());
    QProcess process;
    start(process, ("--port DEV " + args).split(' '), &sim);
    QTRY_VERIFY_WITH_TIMEOUT(process.peek(100).startsWith(out.left(5).toLatin1()), 10000);
    QTest::qWait(waitMs);
    QCOMPARE(sim.control("send and a late line\\r\\n"), "ok");
    QCOMPARE(finish(process).ok(), out);
}

void TstTool::productionRun_data()
{
    QTest::addColumn<QString>("image");
    QTest::addColumn<int>("sum"); // the image's checksum, summed by hand
    QTest::addColumn<QString>("texts");
    QTest::addColumn<bool>("interrupt"); // Ctrl+C ends the run, not the end of input
    QTest::newRow("own words, input ends") << "DATA/blink.tsk" << 0xA6FB << "default" << false;
    // The smaller image, as its load goes unanswered and is waited out.
    QTest::newRow("other words, Ctrl+C") << "DATA/blink.ihx" << 0x3D6C << "other" << true;
}

void TstTool::productionRun()
{
    QFETCH(QString, image);
    QFETCH(int, sum);
    QFETCH(QString, texts);
    QFETCH(bool, interrupt);
    SimProcess sim({"--texts", texts});
    QVERIFY(sim.start());
    QProcess process;
    start(process, {"--port", "DEV", "--log", texts + ".csv", "write", image, "--repeat"}, &sim);
    QString out;
    auto tally = [&](const QString &line) {
        return QTest::qWaitFor(
            [&] { return (out += process.readAllStandardOutput()).contains(line); }, 30000);
    };
    QVERIFY2(tally("chip 1: passed (1 passed, 0 failed)\n"), qPrintable(out));
    // The next chip is not the one chosen: it cannot be programmed or read.
    QCOMPARE(sim.control("chip 4051"), "ok");
    QCOMPARE(sim.control("key 2K"), "ok");
    QVERIFY2(tally("chip 2: failed, first difference at 0x0000 (1 passed, 1 failed)\n"),
             qPrintable(out));
    QCOMPARE(sim.control("chip 2051"), "ok");
    process.write("\n"); // Enter
    QVERIFY2(tally("chip 3: passed (2 passed, 1 failed)\n"), qPrintable(out));
    if (interrupt)
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    else
        process.closeWriteChannel();
    const Run r = finish(process);
    QCOMPARE(r.code, 1);
    QVERIFY2((out + r.out).endsWith("3 chips: 2 passed, 1 failed\n"), qPrintable(out + r.out));
    const QStringList log = QString::fromUtf8(readFile(file(texts + ".csv"))).split('\n');
    QCOMPARE(log.size(), 4); // three lines, each ended
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(log.at(i).endsWith(",AT89C2051," + QString::number(sum, 16).toUpper() +
                                    (i == 1 ? ",failed,0x0000" : ",passed,")),
                 qPrintable(log.at(i)));
        QVERIFY(QDateTime::fromString(log.at(i).section(',', 0, 0), Qt::ISODate).isValid());
    }
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
    QCOMPARE(events, QStringList({"reply SRAM cleared  0", "progress  load 0", "progress  load 143",
                                  "reply Load OK, 143 bytes  0", "reply Erase OK  0",
                                  "reply Program OK  0", "reply Fill FD  0", "reply Read OK  0",
                                  "progress  read back 0", "progress  read back 1024",
                                  "result verify: 143 bytes match  0", "done   0"}));
    QVERIFY(r.out.endsWith("{\"event\":\"done\",\"exit\":0}\n"));
    QVERIFY2(r.err.contains("load: 143/143 bytes (100%)\n"), qPrintable(r.err)); // progress stays
}

void TstTool::cutShortTransfersFail()
{
    // The cable gone while the image is on the line (paced, so that it is still on the
    // line): after the search, the chip, clear, "L", its length and 500 image bytes.
    SimProcess paced({"--pace"});
    QVERIFY(paced.start());
    QProcess process;
    start(process, {"--port", "DEV", "write", "DATA/blink.tsk"}, &paced);
    QVERIFY(paced.waitReceived(4 + 3 + 500, 20000));
    QCOMPARE(paced.control("unplug"), "ok");
    const Run r = finish(process);
    QCOMPARE(r.code, 3);
    QVERIFY2(r.err.contains("went away"), qPrintable(r.err));
    QVERIFY(!r.out.contains("Load OK") && !r.out.contains("verify"));
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
    // Raw to HEX.
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
    SimProcess programmer;
    SimProcess silent({"--silent"});
    SimProcess other({"--id", "modem OK\\r\\n"});
    QVERIFY(programmer.start() && silent.start() && other.start());
    const QString list = QString("/dev/no-such-port,%1,,%2,%3")
                             .arg(silent.device(), other.device(), programmer.device());
    QCOMPARE(tool({"--ports", list, "ports"}).ok(),
             QStringLiteral("COM1  /dev/no-such-port  cannot open\n"
                            "COM2  %1  no answer\n"
                            "COM4  %2  no programmer (answered \"modem OK\")\n"
                            "COM5  %3  Vantor USB Programmer V2.10\n")
                 .arg(silent.device(), other.device(), programmer.device()));
    QCOMPARE(programmer.received(), QByteArray("ii")); // no chip is told
    QVERIFY(!QFile::exists(file("chip.log")));

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
