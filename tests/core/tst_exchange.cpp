#include "rig.h"

// Commands, the receive poller with the key reports, the byte pump, removal and the busy
// state, on a programmer found on COM1 (the line then holds "ii!").
class TstExchange : public QObject
{
    Q_OBJECT
private slots:
    void commandGoesOutAloneAndClearsReplies();
    void closedPortDropsCommandsSilently();
    void repliesShowOnThePollerTick();
    void keyReportChoosesTheChip_data();
    void keyReportChoosesTheChip();
    void pumpSendsOneBytePerTick();
    void newRequestReplacesAQueuedOne();
    void removalIsToldOnceAndClosesThePort_data();
    void removalIsToldOnceAndClosesThePort();
    void requestsRefusedWhileBusyOrSearching_data();
    void requestsRefusedWhileBusyOrSearching();
};

void TstExchange::commandGoesOutAloneAndClearsReplies()
{
    Rig rig;
    rig.connectProgrammer();
    rig.line.send("stale reply");
    rig.clock.advance(100);
    QCOMPARE(rig.session.received(), QStringLiteral("stale reply"));
    QSignalSpy shown(&rig.session, &ProgrammerSession::receivedChanged);
    QCOMPARE(rig.session.sendCommand("tb"), Refusal::None);
    QCOMPARE(rig.line.writes().last().bytes, QByteArray("tb"));
    QCOMPARE(rig.line.line(), QByteArray("ii!tb"));
    QCOMPARE(rig.session.received(), QString());
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toString(), QString());
}

void TstExchange::closedPortDropsCommandsSilently()
{
    Rig rig;
    QSignalSpy removed(&rig.session, &ProgrammerSession::removed);
    QCOMPARE(rig.session.sendCommand("E"), Refusal::None);
    QCOMPARE(rig.session.queueRequest("F\xA5"), Refusal::None);
    rig.clock.advance(100);
    QVERIFY(rig.line.writes().isEmpty());
    QCOMPARE(removed.count(), 0);
}

void TstExchange::repliesShowOnThePollerTick()
{
    Rig rig;
    rig.connectProgrammer(); // found at 420: the poller ticks at 520, 620, ...
    rig.line.answer(1, "E", "Erase OK\r\n", 30);
    rig.clock.advance(1040 - rig.clock.now());
    rig.session.sendCommand("E"); // the reply arrives at 1070
    rig.clock.advance(1119 - rig.clock.now());
    QCOMPARE(rig.session.received(), QString());
    rig.clock.advance(1);
    QCOMPARE(rig.session.received(), QStringLiteral("Erase OK\r\n"));
}

void TstExchange::keyReportChoosesTheChip_data()
{
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("chip");
    QTest::newRow("1K amid other text")
        << QString() << QByteArray("OK KEY_1K now") << QByteArray() << QByteArray("#") << 2;
    QTest::newRow("2K before 4K") << QStringLiteral("1051U") << QByteArray("KEY_4K KEY_2K")
                                  << QByteArray() << QByteArray("!") << 0;
    QTest::newRow("split across two polls")
        << QString() << QByteArray("KE") << QByteArray("Y_4K") << QByteArray("@") << 1;
    QTest::newRow("lower case") << QStringLiteral("1051U") << QByteArray("key_2k") << QByteArray()
                                << QByteArray() << 2;
    QTest::newRow("the chip already chosen")
        << QStringLiteral("4051") << QByteArray("KEY_4K") << QByteArray() << QByteArray() << 1;
}

void TstExchange::keyReportChoosesTheChip()
{
    QFETCH(QString, remembered);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QByteArray, command);
    QFETCH(int, chip);
    Rig rig;
    rig.connectProgrammer(remembered);
    const QByteArray before = rig.line.line();
    QSignalSpy chosen(&rig.session, &ProgrammerSession::chipChosen);
    rig.line.send(first, 10);
    if (!second.isEmpty())
        rig.line.send(second, 150);
    rig.clock.advance(400);
    QCOMPARE(rig.line.line(), before + command);
    QCOMPARE(rig.session.chip(), chip);
    QCOMPARE(chosen.count(), command.isEmpty() ? 0 : 1);
    if (!command.isEmpty())
        QCOMPARE(rig.session.received(), QString()); // the chip's command cleared it
}

void TstExchange::pumpSendsOneBytePerTick()
{
    Rig rig;
    rig.connectProgrammer();
    const qint64 start = rig.clock.now();
    QCOMPARE(rig.session.queueRequest(QByteArray("d\x01\x23", 3)), Refusal::None);
    rig.clock.advance(50);
    const QList<FakeTransport::Write> &w = rig.line.writes();
    QCOMPARE(w.size(), 6);
    QCOMPARE(w.at(3).bytes, QByteArray("d"));
    QCOMPARE(w.at(4).bytes, QByteArray("\x01"));
    QCOMPARE(w.at(5).bytes, QByteArray("\x23"));
    QCOMPARE(w.at(3).at - start, qint64(3));
    QCOMPARE(w.at(4).at - start, qint64(6));
    QCOMPARE(w.at(5).at - start, qint64(9));
}

void TstExchange::newRequestReplacesAQueuedOne()
{
    Rig rig;
    rig.connectProgrammer();
    rig.session.queueRequest(QByteArray("d\x00\x10", 3));
    rig.clock.advance(4); // "d" has gone
    rig.session.queueRequest(QByteArray("F\xA5"));
    rig.clock.advance(50);
    QCOMPARE(rig.line.line(), QByteArray("ii!dF\xA5"));
}

void TstExchange::removalIsToldOnceAndClosesThePort_data()
{
    QTest::addColumn<bool>("noticedByPort");
    QTest::addColumn<bool>("byPump");
    QTest::newRow("the port reports it") << true << false;
    QTest::newRow("a command's write finds it") << false << false;
    QTest::newRow("the pump's write finds it") << false << true;
}

void TstExchange::removalIsToldOnceAndClosesThePort()
{
    QFETCH(bool, noticedByPort);
    QFETCH(bool, byPump);
    Rig rig;
    rig.connectProgrammer();
    QSignalSpy removed(&rig.session, &ProgrammerSession::removed);
    rig.line.unplug(noticedByPort);
    if (byPump)
        rig.session.queueRequest(QByteArray("F\x00", 2));
    else
        rig.session.sendCommand("E");
    rig.clock.advance(100);
    QCOMPARE(removed.count(), 1);
    QVERIFY(!rig.session.isConnected());
    rig.session.sendCommand("V");
    rig.clock.advance(300);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(rig.line.line(), QByteArray("ii!"));
}

enum Request { Command, Request_, Chip, Search, Image, Reserve, Block };

void TstExchange::requestsRefusedWhileBusyOrSearching_data()
{
    QTest::addColumn<bool>("searching");
    QTest::addColumn<int>("request");
    QTest::addColumn<Refusal>("refusal");
    QTest::newRow("busy: command") << false << int(Command) << Refusal::Busy;
    QTest::newRow("busy: fill") << false << int(Request_) << Refusal::Busy;
    QTest::newRow("busy: chip") << false << int(Chip) << Refusal::Busy;
    QTest::newRow("busy: search") << false << int(Search) << Refusal::Busy;
    QTest::newRow("busy: image") << false << int(Image) << Refusal::Busy;
    QTest::newRow("busy: reserve") << false << int(Reserve) << Refusal::Busy;
    QTest::newRow("searching: command") << true << int(Command) << Refusal::None;
    QTest::newRow("searching: image") << true << int(Image) << Refusal::Searching;
    QTest::newRow("searching: reserve") << true << int(Reserve) << Refusal::Searching;
    QTest::newRow("searching: block") << true << int(Block) << Refusal::Searching;
}

void TstExchange::requestsRefusedWhileBusyOrSearching()
{
    QFETCH(bool, searching);
    QFETCH(int, request);
    QFETCH(Refusal, refusal);
    Rig rig;
    rig.connectProgrammer();
    if (searching) {
        rig.line.setDevice(1, FakeTransport::Device::Silent);
        rig.session.search();
        rig.clock.advance(450); // COM1 is being probed
    } else {
        QCOMPARE(rig.session.reserve(), Refusal::None);
    }
    QSignalSpy shown(&rig.session, &ProgrammerSession::chipShown);
    const QByteArray before = rig.line.line();
    Refusal got = Refusal::None;
    switch (Request(request)) {
    case Command:
        got = rig.session.sendCommand("E");
        break;
    case Request_:
        got = rig.session.queueRequest("F\xA5");
        break;
    case Chip:
        got = rig.session.chooseChip(1);
        break;
    case Search:
        got = rig.session.search();
        break;
    case Image:
        got = rig.session.sendImage('L', "image");
        break;
    case Reserve:
        got = rig.session.reserve();
        break;
    case Block:
        got = rig.session.readBlock(1024);
        break;
    }
    rig.clock.advance(10);
    QCOMPARE(got, refusal);
    if (refusal != Refusal::None)
        QCOMPARE(rig.line.line(), before);
    if (request == Chip) {
        // The option goes back to the chip the programmer was last told.
        QCOMPARE(shown.count(), 1);
        QCOMPARE(shown.at(0).at(0).toInt(), 0);
        QCOMPARE(rig.session.chip(), 0);
    }
}

QTEST_GUILESS_MAIN(TstExchange)
#include "tst_exchange.moc"
