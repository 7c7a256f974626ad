// Each flow the user meets, through the real window against the emulator on a
// pseudo-terminal: the bytes on the line, the texts the window shows, the files it writes.
// The response box shows the programmer's CR LF line ends as line breaks ("\n").
// Discovery runs on a window of its own. The other flows share one, found on COM1 with the
// 2051, in this order: Express sends the Intel HEX file loaded before it, Save reads back
// what the fill and the load left in the SRAM, and the unplug comes last.
// Each look at the line takes everything since the last, so a stray byte shows in the next.

#include "core/intelhex.h"
#include "core/serialtransport.h"
#include "window/savesizedialog.h"
#include "windowrig.h"

// The emulator and a window on it.
struct EmuWindow {
    // Starts both; ports lists the devices of COM1, COM2, ... with "@" for the emulator's.
    bool open(QString ports = QStringLiteral("@"))
    {
        if (!sim.start())
            return false;
        line =
            std::make_unique<SerialTransport>(PortMap::fromList(ports.replace('@', sim.device())));
        rig = std::make_unique<WindowRig>(line.get());
        return true;
    }
    // The bytes on the line since the last look, once there are at least n.
    QByteArray received(int n)
    {
        const QByteArray bytes =
            sim.waitReceived(n) ? sim.received() : "<missing> " + sim.received();
        sim.markReceived();
        return bytes;
    }

    SimProcess sim;
    std::unique_ptr<SerialTransport> line;
    std::unique_ptr<WindowRig> rig;
};

// Bytes that repeat nowhere: a lost or misplaced one shows.
static QByteArray pattern(int n)
{
    QByteArray bytes;
    while (bytes.size() < n)
        bytes += char(bytes.size() * 7 + bytes.size() / 256 * 3 + 1);
    return bytes;
}

// A control, its tag, used: the fill or dump box given text first (or ""), the bytes sent, the
// box's text, the reply shown and the status (after "earlier text").
using Controls = Table<QString, QByteArray, QString, QString, QString>;

class TstWindowFlows : public QObject
{
    Q_OBJECT
    EmuWindow m_emu;
    WindowRig *rig = nullptr; // m_emu's

    void useControl()
    {
        const auto [box, sent, text, reply, status] = Controls::fetch();
        if (!box.isEmpty())
            rig->find<QLineEdit>(box)->setText(text);
        rig->find<QLineEdit>("Text2")->setText(QStringLiteral("earlier text"));
        rig->use(QTest::currentDataTag());
        QTRY_COMPARE(rig->response(), reply);
        QCOMPARE(rig->status(), status);
        QCOMPARE(m_emu.received(int(sent.size())), sent);
        if (!box.isEmpty())
            QCOMPARE(rig->find<QLineEdit>(box)->text(), text); // it stays
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_emu.open());
        rig = m_emu.rig.get();
        rig->start();
        QTRY_VERIFY(rig->find<QRadioButton>("Option1")->isChecked());
        QCOMPARE(m_emu.received(3), "ii!");
        QCOMPARE(m_emu.sim.control(QStringLiteral("fault sram")), "ok"); // only its test shows it
    }

    void discovery()
    {
        // Nothing on COM1, the programmer on COM2, and the 4051 chosen last time.
        EmuWindow emu;
        QVERIFY(emu.open(QStringLiteral(",@")));
        WindowRig &own = *emu.rig;
        own.writeSetting("chip.log", "4051");
        own.start();
        QCOMPARE(own.find<QLabel>("Label3")->text(), "No latest file !");
        // The answer to the second "i" is shown; about 600 ms later the chip is told.
        QTRY_COMPARE_WITH_TIMEOUT(own.response(), "Vantor USB Programmer V2.10\n", 8000);
        QTRY_VERIFY(own.find<QRadioButton>("Option2")->isChecked());
        QCOMPARE(emu.received(3), "ii@");
        QCOMPARE(own.status(), "Find Programmer on COM2");
    }

    void commands_data()
    {
        // A message left in the status box stays: commands write none.
        const Controls row;
        row("muIcSig", "", "s", "", "Signature 1E 21 AT89C2051 OK\n", "earlier text");
        row("Command9", "", "q", "", "Program OK\nVerify OK\nLock bits set\n", "earlier text");
        row("muDiagRAM", "", "tR", "", "SRAM test failed\n", "earlier text"); // a bad SRAM
    }
    void commands() { useControl(); }

    void fillAndDump_data()
    {
        QString dump;
        for (const char *address : {"0123", "0133", "0143", "0153"})
            dump += address + QStringLiteral(":") + QStringLiteral(" A5").repeated(16) + '\n';
        const Controls row;
        row("Command6", "Text3", "F\xA5", "a5", "Fill A5\n", "");
        row("muProgDump", "Text4", "d\x01\x23", "0123", dump, "");
        row("muProgFill", "Text3", "", "G1", "",
            "你所要填入SRAM的資料不正確，請輸入二位數十六進位碼。");
    }
    void fillAndDump() { useControl(); }

    void load()
    {
        // An Intel HEX file, as a compiler writes it: the image it describes goes out.
        const QString path =
            writeFile(rig->path(QStringLiteral("load.ihx")), IntelHex::format(pattern(300)));
        rig->dialogs.choose(path);
        rig->use(QStringLiteral("muFileLoad"));
        QTRY_COMPARE(rig->response(), "Load OK, 300 bytes\n");
        QCOMPARE(rig->status(), "Load completed");
        QCOMPARE(rig->find<QLabel>("Label3")->text(), "Latest File at " + path);
        QCOMPARE(readFile(rig->path("tsk.log")), path.toUtf8());
        QCOMPARE(m_emu.received(303), "L\x01\x2C" + pattern(300));
    }

    void express()
    {
        // The latest file goes without a question; the emulator loads, erases, programs and
        // verifies the 2051.
        rig->dialogs.asked.clear();
        rig->use(QStringLiteral("Command4"));
        QTRY_VERIFY(rig->response().endsWith(QLatin1String("Verify OK\n")));
        QCOMPARE(rig->status(), "Load completed... ( Checksum = 920E )");
        QVERIFY(rig->dialogs.asked.isEmpty());
        QCOMPARE(m_emu.received(303), "Q\x01\x2C" + pattern(300));
    }

    void save_data()
    {
        // offered: the size Select Size comes up with; the tag: the size chosen and the file.
        const Table<QString, QString, QByteArray> row;
        row("2K", "Option1", "Option1", "S2");
        row("4K", "Option1", "Option2", "S4");
        row("1K", "Option2", "Option3", "S1");
    }
    void save()
    {
        const auto [offered, option, command] = Table<QString, QString, QByteArray>::fetch();
        const QString path = rig->path(QTest::currentDataTag());
        rig->dialogs.choose(path);
        rig->use(QStringLiteral("muFileSave"));
        SaveSizeDialog *sizes = rig->window.sizeDialog();
        QVERIFY(sizes && sizes->isVisible());
        QVERIFY(sizes->findChild<QRadioButton *>(offered)->isChecked()); // the last choice
        sizes->findChild<QRadioButton *>(option)->click();
        sizes->findChild<QAbstractButton *>(QStringLiteral("Command1"))->click();
        QVERIFY(!sizes->isVisible());
        const int kib = QByteArray(QTest::currentDataTag()).left(1).toInt();
        QCOMPARE(rig->status(), QStringLiteral("Saving %1K Bytes Data.").arg(kib));
        // The first save follows Express and the commands after it: the block is not asked
        // for before the 2051 can have been erased, programmed and verified (4.8 s after the
        // image), and the SRAM tested (3.8 s) and the rest done.
        QTRY_COMPARE_WITH_TIMEOUT(rig->find<QLabel>("Label3")->text(), "Latest File at " + path,
                                  25000);
        // The SRAM holds the fill's A5 under the 300 bytes loaded since.
        QCOMPARE(readFile(path), (pattern(300) + QByteArray(3796, '\xA5')).left(kib * 1024));
        QCOMPARE(m_emu.received(2), command);
    }

    void unplug()
    {
        // The port notices the removal; then Verify sends nothing and Load is refused.
        const QString removed = QStringLiteral("燒錄器已移除，請重新接上後執行 ComPort check。");
        QCOMPARE(m_emu.sim.control(QStringLiteral("unplug")), "ok");
        QTRY_COMPARE(rig->status(), removed);
        rig->use(QStringLiteral("Command2"));
        QCOMPARE(rig->status(), removed);
        rig->dialogs.choose(writeFile(rig->path(QStringLiteral("small.tsk")), "abc"));
        rig->use(QStringLiteral("Command1"));
        QCOMPARE(rig->status(), "燒錄器沒有連線，資料沒有送出，請執行 ComPort check。");
        QCOMPARE(m_emu.received(0), "");
    }
};

QTEST_MAIN(TstWindowFlows)
#include "tst_windowflows.moc"
