#include "core/messages.h"
#include "harness.h"

#include <QTest>

// The command channel, the receive poller and the byte pump against the emulator.
class TstLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void pumpSendsOneBytePerTickInOrder();
    void pumpIdleWhenIndexReachedCount();
    void pollerAccumulatesReplies();
    void closedPortSendsNothing();
    void pumpRunsThroughQueueWithPortClosed();
    void unplugGivesRemovalMessageOnceAndStopsPoller();

private:
    QByteArray fence() { return h->fence(*sim); }
    // A ComPort check finds the programmer again; the line carries its two probes.
    void reconnect();
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<WindowHarness> h;
};

void TstLink::initTestCase()
{
    sim = std::make_unique<SimProcess>();
    QVERIFY(connectWindow(*sim, h));
}

void TstLink::init()
{
    if (h->p().MSComm1.PortOpen())
        fence();
}

void TstLink::reconnect()
{
    h->p().discovery.muFileComm_Click();
    QVERIFY(h->settled());
    QCOMPARE(fence(), QByteArray("iic"));
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
    reconnect();
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
    reconnect();
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
