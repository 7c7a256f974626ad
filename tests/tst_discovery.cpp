#include "core/messages.h"
#include "harness.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>

// Programmer discovery through the real window, against emulators on pseudo-terminals.
class TstDiscovery : public QObject
{
    Q_OBJECT
private slots:
    void foundOnCom3AfterTwoAbsentPorts();
    void shortOrSilentReplyIsSkipped_data();
    void shortOrSilentReplyIsSkipped();
    void noProgrammerShowsOneAboutBox();
    void secondCheckDoesNotResendChip();
    void checkDuringSettleKeepsCounting();
    void removalDuringSettleStaysShown();
    void startUpProblemRepeatedAfterFirstSearchOnly();
};

static int form2Count()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += w->objectName() == QLatin1String("Form2") ? 1 : 0;
    return n;
}

void TstDiscovery::foundOnCom3AfterTwoAbsentPorts()
{
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness h(PortMap::fromList(QStringLiteral(",,") + sim.device()));
    QStringList statusTexts;
    auto *text2 = h.find<QLineEdit>("Text2");
    connect(text2, &QLineEdit::textChanged, this, [&](const QString &t) { statusTexts << t; });
    h.load();
    QCOMPARE(h.text(2), QString()); // discovery is under way, nothing shown yet

    QTRY_COMPARE_WITH_TIMEOUT(h.text(2), Msg::foundOn(3), 5000);
    QElapsedTimer sinceFound;
    sinceFound.start();
    QCOMPARE(statusTexts,
             QStringList({Msg::checkCom(1), Msg::checkCom(2), Msg::checkCom(3), Msg::foundOn(3)}));
    QVERIFY(h.p().MSComm1.PortOpen());
    QCOMPARE(h.p().MSComm1.CommPort(), 3);
    QVERIFY(h.p().Timer1.Enabled());
    QVERIFY(!h.p().Timer3.Enabled());
    QCOMPARE(h.window->selectedChipOption(), 0);

    // The reply to the second "i" reaches Text1 through the poller.
    QTRY_COMPARE(h.p().RxText, QStringLiteral("Vantor USB Programmer V2.10\r\n"));
    QTRY_COMPARE(h.text(1), QStringLiteral("Vantor USB Programmer V2.10\n"));

    // The settle step, six Timer4 ticks later, selects the 2051 and tells the programmer.
    QTRY_COMPARE(h.window->selectedChipOption(), 1);
    QVERIFY2(sinceFound.elapsed() >= 450, qPrintable(QString::number(sinceFound.elapsed())));
    QVERIFY(!h.p().Timer4.Enabled());
    QVERIFY(sim.waitReceived(3));
    QCOMPARE(sim.received(), QByteArray("ii!"));
    QCOMPARE(h.readSetting(QStringLiteral("chip.log")), QByteArray("2051"));
    QCOMPARE(h.text(2), Msg::foundOn(3));
    QCOMPARE(form2Count(), 0);
}

void TstDiscovery::shortOrSilentReplyIsSkipped_data()
{
    QTest::addColumn<QStringList>("firstArgs");
    QTest::newRow("25 characters")
        << QStringList{QStringLiteral("--id"), QStringLiteral("Vantor USB Programmer V\\r\\n")};
    QTest::newRow("silent") << QStringList{QStringLiteral("--silent")};
}

void TstDiscovery::shortOrSilentReplyIsSkipped()
{
    QFETCH(QStringList, firstArgs);
    SimProcess impostor(firstArgs);
    SimProcess programmer;
    QVERIFY(impostor.start());
    QVERIFY(programmer.start());
    WindowHarness h(PortMap::fromDevices({impostor.device(), programmer.device()}));
    h.load();
    QTRY_COMPARE_WITH_TIMEOUT(h.text(2), Msg::foundOn(2), 5000);
    QCOMPARE(h.p().MSComm1.CommPort(), 2);
    QTRY_COMPARE(h.window->selectedChipOption(), 1);
    QVERIFY(programmer.waitReceived(3));
    QCOMPARE(programmer.received(), QByteArray("ii!"));
    // The impostor heard one probe and nothing after it: its port was closed.
    QCOMPARE(impostor.received(), QByteArray("i"));
}

void TstDiscovery::noProgrammerShowsOneAboutBox()
{
    WindowHarness h(PortMap::fromList(QString()));
    int probes = 0;
    connect(&h.p().Timer3, &VbTimer::Timer, this, [&] { ++probes; });
    h.load();
    QTRY_COMPARE_WITH_TIMEOUT(h.text(2), Msg::notInstalled(), 8000);
    QCOMPARE(probes, 12);
    QVERIFY(!h.p().Timer3.Enabled());
    QVERIFY(!h.p().Timer4.Enabled());
    QVERIFY(!h.p().MSComm1.PortOpen());
    QVERIFY(h.window->form2() && h.window->form2()->isVisible());
    QCOMPARE(form2Count(), 1);
    // The main window stays usable, and a second failed search shows the same box.
    h.p().discovery.muFileComm_Click();
    QCOMPARE(h.text(2), QString());
    QTRY_COMPARE_WITH_TIMEOUT(h.text(2), Msg::notInstalled(), 8000);
    QCOMPARE(form2Count(), 1);
    QCOMPARE(probes, 24);
}

void TstDiscovery::secondCheckDoesNotResendChip()
{
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness h(PortMap::fromDevices({sim.device()}));
    h.writeSetting(QStringLiteral("chip.log"), "4051");
    h.load();
    QTRY_COMPARE_WITH_TIMEOUT(h.window->selectedChipOption(), 2, 5000);
    QVERIFY(sim.waitReceived(3));
    QCOMPARE(sim.received(), QByteArray("ii@"));
    h.p().discovery.muFileComm_Click();
    QVERIFY(h.settled());
    QCOMPARE(h.fence(sim), QByteArray("ii@iic"));
}

void TstDiscovery::checkDuringSettleKeepsCounting()
{
    // WaitTicks saturates instead of wrapping while Timer4 runs on with the port closed.
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness h(PortMap::fromDevices({sim.device()}));
    h.load();
    QTRY_COMPARE_WITH_TIMEOUT(h.text(2), Msg::foundOn(1), 5000);
    h.p().MSComm1.setPortOpen(false);
    h.p().WaitTicks = 32766;
    QTRY_COMPARE(h.p().WaitTicks, qint16(32767));
    QTest::qWait(250);
    QCOMPARE(h.p().WaitTicks, qint16(32767));
    QCOMPARE(h.window->selectedChipOption(), 0);
}

void TstDiscovery::removalDuringSettleStaysShown()
{
    // A start-up problem with tsk.log is shown again with the search's result; the
    // programmer then goes away just as the settle step tells it the chip. The removal
    // message is the last word.
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness h(PortMap::fromDevices({sim.device()}));
    const QString tsk = h.path(QStringLiteral("tsk.log"));
    QVERIFY(QDir().mkpath(tsk));
    const QString problem = QStringLiteral("無法讀取或建立設定檔 ") + tsk +
                            QStringLiteral("（是一個資料夾），設定將不會被記住。");
    QStringList texts;
    connect(h.find<QLineEdit>("Text2"), &QLineEdit::textChanged, this,
            [&](const QString &t) { texts << t; });
    // On the fifth Timer4 tick after success the programmer goes (its emulator ends, which
    // runs no event of the window), and the sixth tick, the settle step, comes at once,
    // before anything else can notice.
    bool unplugged = false;
    connect(&h.p().Timer4, &VbTimer::Timer, this, [&] {
        if (unplugged || h.p().Timer3.Enabled() || h.p().WaitTicks != 5)
            return;
        unplugged = true;
        sim.stop();
        emit h.p().Timer4.Timer();
    });

    h.load();

    QTRY_VERIFY_WITH_TIMEOUT(unplugged, 5000);
    QCOMPARE(h.window->selectedChipOption(), 1); // chosen, but it could not be told
    QVERIFY(!h.p().MSComm1.PortOpen());
    QCOMPARE(h.text(2), QStringLiteral("燒錄器已移除，請重新接上後執行 ComPort check。"));
    QCOMPARE(texts,
             QStringList({problem, QString(), QStringLiteral("Check COM1......"),
                          QStringLiteral("Find Programmer on COM1  ") + problem,
                          QStringLiteral("燒錄器已移除，請重新接上後執行 ComPort check。")}));
    QCOMPARE(sim.received(), QByteArray("ii"));
}

void TstDiscovery::startUpProblemRepeatedAfterFirstSearchOnly()
{
    // The start-up problem comes back once, with the first search's result. A later
    // problem (a chip choice that chip.log cannot keep) is shown when it happens and is
    // not carried into the next search's result.
    SimProcess sim;
    QVERIFY(sim.start());
    WindowHarness h(PortMap::fromDevices({sim.device()}));
    const QString tsk = h.path(QStringLiteral("tsk.log"));
    QVERIFY(QDir().mkpath(tsk));
    h.load();
    QTRY_COMPARE_WITH_TIMEOUT(h.window->selectedChipOption(), 1, 5000);
    QTRY_VERIFY(!h.p().Timer4.Enabled());
    QCOMPARE(h.text(2), QStringLiteral("Find Programmer on COM1  無法讀取或建立設定檔 ") + tsk +
                            QStringLiteral("（是一個資料夾），設定將不會被記住。"));

    const QString chip = h.path(QStringLiteral("chip.log"));
    QVERIFY(QFile::remove(chip) && QDir().mkpath(chip));
    h.find<QRadioButton>("Option2")->click();
    QVERIFY2(h.text(2).startsWith(QStringLiteral("無法寫入設定檔 ") + chip), qPrintable(h.text(2)));

    QStringList texts;
    connect(h.find<QLineEdit>("Text2"), &QLineEdit::textChanged, this,
            [&](const QString &t) { texts << t; });
    h.p().discovery.muFileComm_Click();
    QTRY_COMPARE_WITH_TIMEOUT(h.text(2), QStringLiteral("Find Programmer on COM1"), 5000);
    QTRY_VERIFY(!h.p().Timer4.Enabled());
    QCOMPARE(texts, QStringList({QString(), QStringLiteral("Check COM1......"),
                                 QStringLiteral("Find Programmer on COM1")}));
    QCOMPARE(h.fence(sim), QByteArray("ii!@iic"));
}

QTEST_MAIN(TstDiscovery)
#include "tst_discovery.moc"
