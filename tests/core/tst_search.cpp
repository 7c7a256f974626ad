#include "rig.h"

// The port search: probe pace, the identification threshold and reply window, the settle
// step and giving up.
class TstSearch : public QObject
{
    Q_OBJECT
private slots:
    void identification_data();
    void identification();
    void probesPortsFourHundredMillisecondsApart();
    void settleStepTellsTheChipAfterSixTicks_data();
    void settleStepTellsTheChipAfterSixTicks();
    void settleStepWaitsWhileBusy();
    void secondSearchDoesNotTellTheChipAgain();
    void givesUpAfterTheLastPort_data();
    void givesUpAfterTheLastPort();
    void candidateGoingAwayIsNotARemoval();
};

void TstSearch::identification_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("afterMs");
    QTest::addColumn<bool>("found");
    // COM1 is probed at 400 ms; the clock then ticks at 500 and 600 ms.
    QTest::newRow("26 characters after 150 ms") << 26 << 150 << true;
    QTest::newRow("26 characters after 199 ms") << 26 << 199 << true;
    QTest::newRow("26 characters after 201 ms") << 26 << 201 << false;
    QTest::newRow("26 characters after 250 ms") << 26 << 250 << false;
    QTest::newRow("25 characters at once") << 25 << 0 << false;
    QTest::newRow("29 characters after 20 ms") << 29 << 20 << true;
}

void TstSearch::identification()
{
    QFETCH(int, length);
    QFETCH(int, afterMs);
    QFETCH(bool, found);
    Rig rig;
    rig.line.setDevice(1, FakeTransport::Device::Answering);
    rig.line.answer(1, "i", QByteArray(length, 'v'), afterMs);
    rig.line.setDevice(2, FakeTransport::Device::Silent);
    QSignalSpy foundOn(&rig.session, &ProgrammerSession::found);
    rig.session.search();
    rig.clock.advance(1000);

    QCOMPARE(foundOn.count(), found ? 1 : 0);
    if (found) {
        QCOMPARE(foundOn.at(0).at(0).toInt(), 1);
        QVERIFY(rig.session.isConnected());
        QCOMPARE(rig.line.port(), 1);
    } else {
        // COM1 was closed again and COM2 probed at 800 ms.
        QCOMPARE(rig.line.writes().last().port, 2);
        QCOMPARE(rig.line.writes().last().at, qint64(800));
    }
}

void TstSearch::probesPortsFourHundredMillisecondsApart()
{
    Rig rig;
    rig.line.setDevice(2, FakeTransport::Device::InUse);
    rig.line.setDevice(3, FakeTransport::Device::Silent);
    rig.line.setDevice(4, FakeTransport::Device::Answering);
    rig.line.answer(4, "i", Rig::identity(), 30);
    QList<std::pair<int, qint64>> probes;
    connect(&rig.session, &ProgrammerSession::probing, this, [&](int port) {
        probes.append({port, rig.clock.now()});
    });
    QSignalSpy found(&rig.session, &ProgrammerSession::found);
    rig.session.search();
    rig.clock.advance(1700);

    const QList<std::pair<int, qint64>> expected = {{1, 400}, {2, 800}, {3, 1200}, {4, 1600}};
    QCOMPARE(probes, expected);
    QCOMPARE(found.count(), 1);
    QCOMPARE(found.at(0).at(0).toInt(), 4);
    // Only the silent port and the programmer were sent "i"; the programmer twice.
    QCOMPARE(rig.line.writes().size(), 3);
    QCOMPARE(rig.line.writes().at(0).port, 3);
    QCOMPARE(rig.line.writes().at(0).at, qint64(1200));
    QCOMPARE(rig.line.writes().at(1).at, qint64(1600));
    QCOMPARE(rig.line.writes().at(2).at, qint64(1630));
    QCOMPARE(rig.line.line(), QByteArray("iii"));
}

void TstSearch::settleStepTellsTheChipAfterSixTicks_data()
{
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("chip");
    QTest::newRow("none remembered") << QString() << QByteArray("!") << 0;
    QTest::newRow("2051") << QStringLiteral("2051") << QByteArray("!") << 0;
    QTest::newRow("4051") << QStringLiteral("4051") << QByteArray("@") << 1;
    QTest::newRow("1051U") << QStringLiteral("1051U") << QByteArray("#") << 2;
    QTest::newRow("2051 and a blank") << QStringLiteral("2051 ") << QByteArray() << -1;
    QTest::newRow("lower case") << QStringLiteral("1051u") << QByteArray() << -1;
}

void TstSearch::settleStepTellsTheChipAfterSixTicks()
{
    QFETCH(QString, remembered);
    QFETCH(QByteArray, command);
    QFETCH(int, chip);
    Rig rig;
    const qint64 foundAt = rig.connectProgrammer(remembered);
    QCOMPARE(foundAt, qint64(420));
    rig.clock.advance(1000);
    // After the two "i": the chip's command, exactly 600 ms after the programmer was found.
    QCOMPARE(rig.line.line(), QByteArray("ii") + command);
    if (!command.isEmpty())
        QCOMPARE(rig.line.writes().at(2).at, qint64(1020));
    QCOMPARE(rig.session.chip(), chip);
}

void TstSearch::settleStepWaitsWhileBusy()
{
    Rig rig;
    rig.line.setDevice(1, FakeTransport::Device::Answering);
    rig.line.answer(1, "i", Rig::identity(), 20);
    rig.session.search();
    ADVANCE_UNTIL(rig, rig.session.isConnected(), 1000);
    QCOMPARE(rig.session.reserve(), Refusal::None);
    rig.clock.advance(1000); // 1420 ms: the sixth tick (1020) has passed
    QCOMPARE(rig.line.line(), QByteArray("ii"));
    rig.session.release();
    rig.clock.advance(100);
    QCOMPARE(rig.line.line(), QByteArray("ii!"));
    QCOMPARE(rig.line.writes().last().at, qint64(1520));
}

void TstSearch::secondSearchDoesNotTellTheChipAgain()
{
    Rig rig;
    rig.connectProgrammer(QStringLiteral("4051"));
    QSignalSpy settled(&rig.session, &ProgrammerSession::settled);
    QSignalSpy chosen(&rig.session, &ProgrammerSession::chipChosen);
    rig.session.search();
    ADVANCE_UNTIL(rig, settled.count() == 1, 2000);
    QCOMPARE(rig.line.line(), QByteArray("ii@ii"));
    QCOMPARE(chosen.count(), 0);
}

void TstSearch::givesUpAfterTheLastPort_data()
{
    QTest::addColumn<int>("lastPort");
    QTest::addColumn<qint64>("givenUpAt");
    QTest::newRow("COM11") << 11 << qint64(4800);
    QTest::newRow("COM3") << 3 << qint64(1600);
}

void TstSearch::givesUpAfterTheLastPort()
{
    QFETCH(int, lastPort);
    QFETCH(qint64, givenUpAt);
    Rig rig;
    for (int port = 1; port <= 12; ++port)
        rig.line.setDevice(port, FakeTransport::Device::Silent);
    rig.session.setLastPort(lastPort);
    QSignalSpy probing(&rig.session, &ProgrammerSession::probing);
    QSignalSpy notFound(&rig.session, &ProgrammerSession::notFound);
    rig.session.search();
    rig.clock.advance(givenUpAt - 1);
    QCOMPARE(notFound.count(), 0);
    QVERIFY(rig.session.isSearching());
    rig.clock.advance(1);
    QCOMPARE(notFound.count(), 1);
    QCOMPARE(probing.count(), lastPort);
    QVERIFY(!rig.session.isSearching());
    QVERIFY(!rig.line.isOpen());
    QCOMPARE(rig.line.line(), QByteArray(lastPort, 'i'));
}

void TstSearch::candidateGoingAwayIsNotARemoval()
{
    Rig rig;
    rig.line.setDevice(1, FakeTransport::Device::Silent);
    QSignalSpy removed(&rig.session, &ProgrammerSession::removed);
    rig.session.search();
    rig.clock.advance(450);
    rig.line.unplug();
    rig.clock.advance(1000);
    QCOMPARE(removed.count(), 0);
    QVERIFY(rig.session.isSearching());
}

QTEST_GUILESS_MAIN(TstSearch)
#include "tst_search.moc"
