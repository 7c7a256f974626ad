// Each flow the user meets, through the real window against the emulator on a
// pseudo-terminal: the bytes on the line, the texts the window shows, the files it writes.
// The response box shows the programmer's CR LF line ends as line breaks ("\n").

#include "core/serialtransport.h"
#include "simfixture.h"
#include "window/aboutbox.h"
#include "window/savesizedialog.h"
#include "windowrig.h"

#include <QRegularExpression>
#include <QSignalSpy>

namespace
{

// The emulator and a window on it.
struct EmuWindow {
    explicit EmuWindow(const QStringList &simArguments = {}) : sim(simArguments) {}

    // Starts both; ports lists the devices of COM1, COM2, ... with "@" for the emulator's.
    bool open(const QString &ports = QStringLiteral("@"))
    {
        if (!sim.start())
            return false;
        line = std::make_unique<SerialTransport>(
            PortMap::fromList(QString(ports).replace(QLatin1Char('@'), sim.device())));
        rig = std::make_unique<WindowRig>(line.get());
        return true;
    }
    // Start-up, then the wait until the chip of chip.log is chosen; the line is marked.
    bool startAndSettle()
    {
        rig->start();
        return QTest::qWaitFor([&] { return rig->chosenChip() != QLatin1String("none"); }, 5000) &&
               fence(3) == "ii!c";
    }
    // Waits until the line has carried `before` bytes since the mark, then asks for the
    // SRAM checksum from the menu and waits for its answer: everything sent before it is
    // on the line. Returns the bytes since the mark, and marks.
    QByteArray fence(int before = 0)
    {
        static const QRegularExpression answer(QStringLiteral("Checksum [0-9A-F]{4}\n$"));
        bool fenced = sim.waitReceived(before);
        rig->use(QStringLiteral("muProgSum"));
        fenced = fenced &&
                 QTest::qWaitFor([&] { return answer.match(rig->response()).hasMatch(); }, 5000);
        const QByteArray bytes = sim.received();
        sim.markReceived();
        return fenced ? bytes : bytes + "<no answer to the fence>";
    }

    SimProcess sim;
    std::unique_ptr<SerialTransport> line;
    std::unique_ptr<WindowRig> rig;
};

// Every text the status box shows from now on (empty ones left out).
QStringList statuses(const QSignalSpy &spy)
{
    QStringList texts;
    for (const QList<QVariant> &args : spy)
        texts << args.at(0).toString();
    texts.removeAll(QString());
    return texts;
}

// A reproducible byte sequence that repeats nowhere in the first 8 KiB.
QByteArray pattern(int n, quint32 seed)
{
    QByteArray bytes(n, '\0');
    quint32 x = seed * 2654435761u + 1u;
    for (int i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(x >> 16);
    }
    return bytes;
}

const QString Removed = QStringLiteral("燒錄器已移除，請重新接上後執行 ComPort check。");

} // namespace

class TstWindowFlows : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void discovery_data();
    void discovery();
    void commands_data();
    void commands() { useControl(); }
    void fillAndDump_data();
    void fillAndDump() { useControl(); }
    void load_data();
    void load();
    void express_data();
    void express();
    void save_data();
    void save();
    void unplug_data();
    void unplug();

private:
    static void controlColumns();
    void useControl();

    EmuWindow m_emu; // found on COM1 with the 2051, shared by the flows that need no restart
};

void TstWindowFlows::initTestCase()
{
    QVERIFY(m_emu.open());
    QVERIFY(m_emu.startAndSettle());
}

void TstWindowFlows::discovery_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QString>("ports");
    QTest::addColumn<QByteArray>("chipLog"); // null: no file
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("chipLogAfter");
    QTest::newRow("first run") << QStringList() << "@" << QByteArray()
                               << QStringList{"Check COM1......", "Find Programmer on COM1"}
                               << "Option1" << QByteArray("ii!") << QByteArray("2051");
    QTest::newRow("COM2 after an empty COM1, 4051")
        << QStringList() << ",@" << QByteArray("4051")
        << QStringList{"Check COM1......", "Check COM2......", "Find Programmer on COM2"}
        << "Option2" << QByteArray("ii@") << QByteArray("4051");
    QStringList gaveUp;
    for (int n = 1; n <= 11; ++n)
        gaveUp << QStringLiteral("Check COM%1......").arg(n);
    gaveUp << QStringLiteral("你尚未安裝燒錄器，請安裝後再執行。");
    QTest::newRow("25-character answer")
        << QStringList{"--id", "Vantor USB Programmer V\\r\\n"} << "@" << QByteArray("1051U")
        << gaveUp << "none" << QByteArray("i") << QByteArray("1051U");
}

void TstWindowFlows::discovery()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QString, ports);
    QFETCH(QByteArray, chipLog);
    QFETCH(QStringList, shown);
    QFETCH(QString, chosen);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, chipLogAfter);
    EmuWindow emu(simArguments);
    QVERIFY(emu.open(ports));
    WindowRig &rig = *emu.rig;
    if (!chipLog.isNull())
        rig.writeSetting(QStringLiteral("chip.log"), chipLog);
    QSignalSpy status(rig.find<QLineEdit>("Text2"), &QLineEdit::textChanged);
    rig.start();
    QCOMPARE(rig.latestFileLine(), QStringLiteral("No latest file !"));
    QCOMPARE(rig.setting(QStringLiteral("tsk.log")), QByteArray()); // created empty
    QTRY_COMPARE_WITH_TIMEOUT(statuses(status).value(shown.size() - 1), shown.last(), 8000);
    QCOMPARE(statuses(status), shown);
    const bool found = chosen != QLatin1String("none");
    if (found) {
        // The answer to the second "i" is shown; about 600 ms later the chip is told.
        QTRY_COMPARE(rig.response(), QStringLiteral("Vantor USB Programmer V2.10\n"));
        QTRY_COMPARE(rig.chosenChip(), chosen);
    }
    QCOMPARE(rig.chosenChip(), chosen);
    QCOMPARE(found ? emu.fence(int(sent.size())) : emu.sim.received(), found ? sent + "c" : sent);
    QCOMPARE(rig.window.aboutBox() && rig.window.aboutBox()->isVisible(), !found);
    QCOMPARE(rig.setting(QStringLiteral("chip.log")), chipLogAfter);
}

void TstWindowFlows::controlColumns()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("box"); // the fill or dump box and its text; "" for none
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("status"); // after "earlier text"
}

void TstWindowFlows::useControl()
{
    QFETCH(QString, control);
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(QByteArray, sent);
    QFETCH(QString, reply);
    QFETCH(QString, status);
    WindowRig &rig = *m_emu.rig;
    if (!box.isEmpty())
        rig.window.findChild<QLineEdit *>(box)->setText(text);
    rig.find<QLineEdit>("Text2")->setText(QStringLiteral("earlier text"));
    rig.use(control);
    QTRY_COMPARE(rig.response(), reply);
    QCOMPARE(rig.status(), status);
    QCOMPARE(m_emu.fence(int(sent.size())), sent + "c");
    if (!box.isEmpty())
        QCOMPARE(rig.window.findChild<QLineEdit *>(box)->text(), text); // it stays
}

void TstWindowFlows::commands_data()
{
    controlColumns();
    // In this order on the emulator: the chip is blank, then programmed, locked, erased.
    const char *rows[][3] = {
        {"muIcSig", "s", "Signature 1E 21 AT89C2051 OK\n"},
        {"muIcBlank", "B", "Blank\n"},
        {"muIcProg", "P", "Program OK\n"},
        {"Command3", "P", "Program OK\n"},
        {"muIcRead", "R", "Read OK\n"},
        {"muIcVer", "V", "Verify OK\n"},
        {"Command2", "V", "Verify OK\n"},
        {"muIcLock", "l", "Lock bits set\n"},
        {"muIcErase", "E", "Erase OK\n"},
        {"Command9", "q", "Program OK\nVerify OK\nLock bits set\n"},
        {"muProgClear", "X", "SRAM cleared\n"},
        {"muDiagRAM", "tR", "SRAM test OK, 8192 bytes\n"},
        {"muDiagLED", "tL", "LED test done\n"},
        {"muDiagBuz", "tb", "Buzzer test done\n"},
        {"muDiagVpp", "tV", "Vpp 12.0 V\n"},
        {"muDiagHi", "th", "Vpp high\n"},
        {"muDiagLow", "tl", "Vpp low\n"},
        {"muDiagFirm", "tf", "Firmware V2.10\n"},
        {"muAboutVer", "i", "Vantor USB Programmer V2.10\n"},
        {"Option3", "#", "Chip AT89C1051U\n"},
        {"Option1", "!", "Chip AT89C2051\n"},
    };
    // A message left in the status box stays: commands write none.
    for (const auto &r : rows)
        QTest::newRow(r[0]) << r[0] << ""
                            << "" << QByteArray(r[1]) << r[2] << "earlier text";
}

void TstWindowFlows::fillAndDump_data()
{
    controlColumns();
    QString dump;
    for (const char *address : {"0123", "0133", "0143", "0153"})
        dump += QLatin1String(address) + QStringLiteral(" A5").repeated(16).prepend(':') + '\n';
    const QByteArray none;
    QTest::newRow("fill a5, GO") << "Command6"
                                 << "Text3"
                                 << "a5" << QByteArray("F\xA5") << "Fill A5\n"
                                 << "";
    QTest::newRow("dump 0123, menu") << "muProgDump"
                                     << "Text4"
                                     << "0123" << QByteArray("d\x01\x23") << dump << "";
    QTest::newRow("fill G1, menu") << "muProgFill"
                                   << "Text3"
                                   << "G1" << none << ""
                                   << "你所要填入SRAM的資料不正確，請輸入二位數十六進位碼。";
    QTest::newRow("dump 1000, GO") << "Command7"
                                   << "Text4"
                                   << "1000" << none << ""
                                   << "你所輸入的位址超過記憶體長度，請重新輸入。";
    QTest::newRow("dump empty, GO") << "Command7"
                                    << "Text4"
                                    << "" << none << ""
                                    << "你並未輸入起始位置，請輸入四位數十六進位碼。";
}

void TstWindowFlows::load_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("missingFirst"); // a name that does not exist is chosen first
    QTest::addColumn<QByteArray>("header");
    QTest::newRow("Load, 2048 bytes") << "Command1" << 2048 << false << QByteArray("L\x08\x00", 3);
    QTest::newRow("menu, 300 bytes after a missing name")
        << "muFileLoad" << 300 << true << QByteArray("L\x01\x2C", 3);
}

void TstWindowFlows::load()
{
    QFETCH(QString, control);
    QFETCH(int, size);
    QFETCH(bool, missingFirst);
    QFETCH(QByteArray, header);
    WindowRig &rig = *m_emu.rig;
    const QByteArray image = pattern(size, size);
    const QString path = writeFile(rig.path(QStringLiteral("load %1.tsk").arg(size)), image);
    const QString missing = rig.path(QStringLiteral("nowhere.tsk"));
    if (missingFirst)
        rig.dialogs.choose(missing);
    rig.dialogs.choose(path);
    rig.dialogs.boxes.clear();
    QSignalSpy status(rig.find<QLineEdit>("Text2"), &QLineEdit::textChanged);
    rig.use(control);
    QTRY_COMPARE(rig.status(), QStringLiteral("Load completed"));
    QCOMPARE(statuses(status),
             QStringList(
                 {QStringLiteral("Loading  %1   ( %2 Bytes)...").arg(path, QString::number(size)),
                  QStringLiteral("Load completed")}));
    QCOMPARE(rig.dialogs.boxes.size(), missingFirst ? 1 : 0);
    if (missingFirst) {
        QCOMPARE(rig.dialogs.boxes[0].title, QStringLiteral("找不到檔案"));
        QCOMPARE(rig.dialogs.boxes[0].text, "找不到" + missing + "這個檔案，請重新輸入。");
    }
    QCOMPARE(rig.latestFileLine(), QStringLiteral("Latest File at ") + path);
    QCOMPARE(rig.setting(QStringLiteral("tsk.log")), path.toUtf8());
    QTRY_COMPARE(rig.response(), QStringLiteral("Load OK, %1 bytes\n").arg(size));
    QCOMPARE(m_emu.fence(), header + image + "c");
}

void TstWindowFlows::express_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<bool>("remembered"); // in tsk.log; else chosen in the dialog
    QTest::addColumn<QString>("checksum");
    QTest::newRow("remembered, 4096 x FF")
        << "Command4" << QByteArray(4096, '\xFF') << true << "F000";
    QTest::newRow("menu, dialog, empty") << "muIcExp" << QByteArray() << false << "0";
}

void TstWindowFlows::express()
{
    QFETCH(QString, control);
    QFETCH(QByteArray, image);
    QFETCH(bool, remembered);
    QFETCH(QString, checksum);
    EmuWindow emu;
    QVERIFY(emu.open());
    WindowRig &rig = *emu.rig;
    const QString path = writeFile(rig.path(QStringLiteral("express.tsk")), image);
    if (remembered)
        rig.writeSetting(QStringLiteral("tsk.log"), path.toUtf8());
    else
        rig.dialogs.choose(path);
    QVERIFY(emu.startAndSettle());
    rig.use(control);
    QTRY_COMPARE(rig.status(), QStringLiteral("Load completed... ( Checksum = %1 )").arg(checksum));
    QCOMPARE(rig.dialogs.asked.size(), remembered ? 0 : 1);
    QCOMPARE(rig.setting(QStringLiteral("tsk.log")), path.toUtf8());
    QCOMPARE(rig.latestFileLine(), QStringLiteral("Latest File at ") + path);
    // The emulator loads, erases, programs and verifies the 2051.
    QTRY_VERIFY(rig.response().endsWith(QLatin1String("Verify OK\n")));
    QCOMPARE(emu.fence(),
             QByteArray("Q") + char(image.size() / 256) + char(image.size() % 256) + image + "c");
}

void TstWindowFlows::save_data()
{
    QTest::addColumn<QString>("offered"); // the size Select Size comes up with
    QTest::addColumn<QString>("option");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("replace"); // the file exists: the replace box is answered Yes
    QTest::newRow("2K") << "Option1"
                        << "Option1" << 2048 << QByteArray("S2") << false;
    QTest::newRow("4K") << "Option1"
                        << "Option2" << 4096 << QByteArray("S4") << false;
    QTest::newRow("1K over a file") << "Option2"
                                    << "Option3" << 1024 << QByteArray("S1") << true;
}

void TstWindowFlows::save()
{
    QFETCH(QString, offered);
    QFETCH(QString, option);
    QFETCH(int, bytes);
    QFETCH(QByteArray, command);
    QFETCH(bool, replace);
    WindowRig &rig = *m_emu.rig;
    // The SRAM holds a known 4 KiB, loaded through the window.
    const QByteArray sram = pattern(4096, 4);
    const QString image = writeFile(rig.path(QStringLiteral("sram.tsk")), sram);
    if (rig.setting(QStringLiteral("tsk.log")) != image.toUtf8()) {
        rig.dialogs.choose(image);
        rig.use(QStringLiteral("Command1"));
        QTRY_COMPARE(rig.response(), QStringLiteral("Load OK, 4096 bytes\n"));
        m_emu.fence();
    }
    const QString path = rig.path(QStringLiteral("saved %1.tsk").arg(bytes));
    if (replace)
        writeFile(path, "old");
    rig.dialogs.choose(path);
    rig.dialogs.reply(DialogBackend::Yes);
    rig.dialogs.boxes.clear();

    rig.use(QStringLiteral("muFileSave"));
    SaveSizeDialog *sizes = rig.window.sizeDialog();
    QVERIFY(sizes && sizes->isVisible());
    QVERIFY(sizes->findChild<QRadioButton *>(offered)->isChecked()); // the last choice
    sizes->findChild<QRadioButton *>(option)->click();
    sizes->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    QVERIFY(!sizes->isVisible());
    const QString saving = QStringLiteral("Saving %1K Bytes Data.").arg(bytes / 1024);
    QCOMPARE(rig.status(), saving);
    QTRY_COMPARE(rig.latestFileLine(), QStringLiteral("Latest File at ") + path);
    QCOMPARE(readFile(path), sram.left(bytes));
    QCOMPARE(rig.dialogs.boxes.size(), replace ? 1 : 0);
    if (replace)
        QCOMPARE(rig.dialogs.boxes[0].text, path + " 這個檔案已經存在，確定要取代？");
    QCOMPARE(rig.setting(QStringLiteral("tsk.log")), image.toUtf8()); // Save does not record it
    QCOMPARE(rig.status(), saving);
    QCOMPARE(rig.response(), QString()); // nothing of the block
    QCOMPARE(m_emu.fence(), command + "c");
}

void TstWindowFlows::unplug_data()
{
    QTest::addColumn<QString>("control"); // used once the removal shows; "" for nothing
    QTest::addColumn<QString>("status");
    QTest::newRow("noticed by the port") << "" << Removed;
    QTest::newRow("then Verify") << "Command2" << Removed;
    QTest::newRow("then Load") << "Command1"
                               << "燒錄器沒有連線，資料沒有送出，請執行 ComPort check。";
}

void TstWindowFlows::unplug()
{
    QFETCH(QString, control);
    QFETCH(QString, status);
    EmuWindow emu;
    QVERIFY(emu.open());
    WindowRig &rig = *emu.rig;
    QVERIFY(emu.startAndSettle());
    QCOMPARE(emu.sim.control(QStringLiteral("unplug")), QStringLiteral("ok"));
    QTRY_COMPARE(rig.status(), Removed);
    rig.dialogs.choose(writeFile(rig.path(QStringLiteral("small.tsk")), "abc"));
    if (!control.isEmpty())
        rig.use(control);
    QCOMPARE(rig.status(), status);
    QCOMPARE(emu.sim.received(), QByteArray());
}

QTEST_MAIN(TstWindowFlows)
#include "tst_windowflows.moc"
