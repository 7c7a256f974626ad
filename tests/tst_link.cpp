#include "core/messages.h"
#include "harness.h"

#include <QTest>

// The command channel, the receive poller and the byte pump against the emulator.
class TstLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void sendCommandWritesExactlyItsBytes_data();
    void sendCommandWritesExactlyItsBytes();
    void pumpSendsOneBytePerTickInOrder();
    void pumpIdleWhenIndexReachedCount();
    void pollerAccumulatesReplies();
    void closedPortSendsNothing();
    void pumpRunsThroughQueueWithPortClosed();
    void unplugGivesRemovalMessageOnceAndStopsPoller();

private:
    QByteArray fence();
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<WindowHarness> h;
};

void TstLink::initTestCase()
{
    sim = std::make_unique<SimProcess>();
    QVERIFY(sim->start());
    h = std::make_unique<WindowHarness>(PortMap::fromDevices({sim->device()}));
    h->load();
    QTRY_COMPARE_WITH_TIMEOUT(h->window->selectedChipOption(), 1, 5000);
    QVERIFY(sim->waitReceived(3));
}

void TstLink::cleanupTestCase()
{
    h.reset();
    sim.reset();
}

void TstLink::init()
{
    if (h && h->p().MSComm1.PortOpen())
        fence();
}

// Sends "c" and waits until it is on the line: everything sent before it is there too.
// Returns what the line carried since the last fence, and forgets it.
QByteArray TstLink::fence()
{
    h->p().link.SendCommand(QStringLiteral("c"));
    if (!sim->waitReceivedEndsWith("c"))
        return QByteArray("<no fence>");
    for (int i = 0; i < 200 && !h->p().RxText.endsWith(QLatin1String("\r\n")); ++i)
        QTest::qWait(10); // the reply to "c", so that it does not mix with the next test's
    const QByteArray line = sim->received();
    sim->markReceived();
    return line;
}

void TstLink::sendCommandWritesExactlyItsBytes_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("tb") << "tb" << QByteArray("\x74\x62");
    QTest::newRow("l") << "l" << QByteArray("\x6c");
    QTest::newRow("S2") << "S2" << QByteArray("\x53\x32");
}

void TstLink::sendCommandWritesExactlyItsBytes()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, bytes);
    if (command == QLatin1String("S2")) {
        // The block that answers S2 is raw bytes: switch the poller off while it comes.
        h->p().Timer1.setEnabled(false);
    }
    h->p().setText(1, QStringLiteral("old reply"));
    h->p().RxText = QStringLiteral("old reply");
    h->p().setText(2, QStringLiteral("status stays"));
    h->p().link.SendCommand(command);
    QCOMPARE(h->text(1), QString());
    QCOMPARE(h->p().RxText, QString());
    QCOMPARE(h->text(2), QStringLiteral("status stays"));
    QVERIFY(sim->waitReceived(bytes.size()));
    if (command == QLatin1String("S2")) {
        QTRY_COMPARE(h->p().MSComm1.InBufferCount(), 2048);
        QByteArray block;
        h->p().MSComm1.Input(&block);
        h->p().Timer1.setEnabled(true);
    }
    // The fence's "c" came right after: nothing else, no CR or LF, went out.
    QCOMPARE(fence(), bytes + "c");
}

void TstLink::pumpSendsOneBytePerTickInOrder()
{
    Programmer &p = h->p();
    QList<int> indexAfterTick;
    auto conn = connect(&p.Timer2, &VbTimer::Timer, this, [&] { indexAfterTick << p.TxIndex; });
    p.link.QueueForPump(QByteArray("\x64\x01\x23", 3));
    QVERIFY(p.Timer2.Enabled());
    QTRY_VERIFY(!p.Timer2.Enabled());
    disconnect(conn);
    QCOMPARE(indexAfterTick, QList<int>({1, 2, 3}));
    QTRY_VERIFY(p.RxText.contains(QLatin1String("0123: ")));
    QCOMPARE(fence(), QByteArray("\x64\x01\x23"
                                 "c",
                                 4));
}

void TstLink::pumpIdleWhenIndexReachedCount()
{
    Programmer &p = h->p();
    p.TxIndex = 2;
    p.TxCount = 2;
    int ticks = 0;
    auto conn = connect(&p.Timer2, &VbTimer::Timer, this, [&] { ++ticks; });
    p.Timer2.setEnabled(true);
    QTRY_VERIFY(ticks >= 5);
    disconnect(conn);
    QVERIFY(p.Timer2.Enabled());
    p.Timer2.setEnabled(false);
    QCOMPARE(p.TxIndex, 2);
    QCOMPARE(fence(), QByteArray("c"));
}

void TstLink::pollerAccumulatesReplies()
{
    Programmer &p = h->p();
    p.link.SendCommand(QStringLiteral("tf"));
    QTRY_VERIFY(p.RxText.endsWith(QLatin1String("\r\n")));
    const QString first = p.RxText;
    QCOMPARE(sim->control(QStringLiteral("send more text\\r\\n")), QStringLiteral("ok"));
    QTRY_COMPARE(p.RxText, first + QStringLiteral("more text\r\n"));
    QTRY_COMPARE(h->text(1), QString(first + QStringLiteral("more text\r\n"))
                                 .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

void TstLink::closedPortSendsNothing()
{
    Programmer &p = h->p();
    p.MSComm1.setPortOpen(false);
    p.setText(1, QStringLiteral("reply"));
    p.RxText = QStringLiteral("reply");
    p.setText(2, QStringLiteral("status"));
    p.link.SendCommand(QStringLiteral("E"));
    QCOMPARE(h->text(1), QStringLiteral("reply"));
    QCOMPARE(p.RxText, QStringLiteral("reply"));
    QCOMPARE(h->text(2), QStringLiteral("status"));
    // The poller stops at its next tick, silently.
    QTRY_VERIFY(!p.Timer1.Enabled());
    QCOMPARE(h->text(2), QStringLiteral("status"));
    // Reconnect for the tests that follow.
    p.discovery.muFileComm_Click();
    QTRY_COMPARE_WITH_TIMEOUT(h->text(2), Msg::foundOn(1), 5000);
    QTRY_VERIFY(!p.Timer4.Enabled());
    QCOMPARE(fence(), QByteArray("iic"));
}

void TstLink::pumpRunsThroughQueueWithPortClosed()
{
    Programmer &p = h->p();
    p.MSComm1.setPortOpen(false);
    p.setText(2, QString());
    p.link.QueueForPump(QByteArray("F\xA5", 2));
    QTRY_VERIFY(!p.Timer2.Enabled());
    QCOMPARE(p.TxIndex, 2);
    QCOMPARE(h->text(2), QString());
    p.discovery.muFileComm_Click();
    QTRY_COMPARE_WITH_TIMEOUT(h->text(2), Msg::foundOn(1), 5000);
    QTRY_VERIFY(!p.Timer4.Enabled());
    QCOMPARE(fence(), QByteArray("iic"));
}

void TstLink::unplugGivesRemovalMessageOnceAndStopsPoller()
{
    Programmer &p = h->p();
    int removalShown = 0;
    auto conn = connect(h->find<QLineEdit>("Text2"), &QLineEdit::textChanged, this,
                        [&](const QString &t) { removalShown += t == Msg::removed(); });
    QCOMPARE(sim->control(QStringLiteral("unplug")), QStringLiteral("ok"));
    p.link.SendCommand(QStringLiteral("s"));
    QCOMPARE(h->text(2), Msg::removed());
    QVERIFY(!p.MSComm1.PortOpen());
    QTRY_VERIFY(!p.Timer1.Enabled());
    p.link.SendCommand(QStringLiteral("B"));
    p.commands.muIcErase_Click();
    QTest::qWait(150);
    disconnect(conn);
    QCOMPARE(removalShown, 1);
    QCOMPARE(h->text(2), Msg::removed());
}

QTEST_MAIN(TstLink)
#include "tst_link.moc"
