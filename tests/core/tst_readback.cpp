#include "rig.h"

// Read-backs ("S1", "S2", "S4"): the wait for the last answer, the quiet line before
// asking, the time limit, the rest of a short block, and how often the program looks.
class TstReadBack : public QObject
{
    Q_OBJECT
private slots:
    void timeLimit_data();
    void timeLimit();
    void waitsForTheLastCommandsAnswer_data();
    void waitsForTheLastCommandsAnswer();
    void asksOnlyOnAQuietLine_data();
    void asksOnlyOnAQuietLine();
    void restOfAShortBlockIsDropped();
    void looksOnlyWhenTheBlockCanBeComplete();
    void endsWhenTheProgrammerGoes_data();
    void endsWhenTheProgrammerGoes();
};

// The programmer found on COM1, the chip told and its answer taken.
static void connectAnswered(Rig &rig)
{
    rig.line.answer(1, "!", "Chip AT89C2051\r\n", 5);
    rig.connectProgrammer();
    rig.clock.advance(200);
}

static QByteArray sram(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    return bytes;
}

void TstReadBack::timeLimit_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("lastByteMs");
    QTest::addColumn<BlockResult>("result");
    // The limit: the block's time at 9600 baud (1066, 2133, 4266 ms) and half again, plus
    // 1500 ms: 3099, 4699 and 7899 ms after the command.
    QTest::newRow("1K in time") << 1024 << 3098 << BlockResult::Complete;
    QTest::newRow("1K late") << 1024 << 3100 << BlockResult::Short;
    QTest::newRow("2K in time") << 2048 << 4698 << BlockResult::Complete;
    QTest::newRow("2K late") << 2048 << 4700 << BlockResult::Short;
    QTest::newRow("4K in time") << 4096 << 7898 << BlockResult::Complete;
    QTest::newRow("4K late") << 4096 << 7900 << BlockResult::Short;
}

void TstReadBack::timeLimit()
{
    QFETCH(int, bytes);
    QFETCH(int, lastByteMs);
    QFETCH(BlockResult, result);
    Rig rig;
    connectAnswered(rig);
    const QByteArray block = sram(bytes);
    const QByteArray command = "S" + QByteArray::number(bytes / 1024);
    rig.line.answer(1, command, block.left(bytes - 1), 0);
    rig.line.answer(1, command, block.right(1), lastByteMs);
    QSignalSpy finished(&rig.session, &ProgrammerSession::blockFinished);
    QCOMPARE(rig.session.readBlock(bytes), Refusal::None);
    ADVANCE_UNTIL(rig, finished.count() == 1, 20000);
    QCOMPARE(rig.line.writes().last().bytes, command);
    QCOMPARE(finished.at(0).at(0).value<BlockResult>(), result);
    const QByteArray got = finished.at(0).at(1).toByteArray();
    QCOMPARE(got, result == BlockResult::Complete ? block : block.left(bytes - 1));
}

void TstReadBack::waitsForTheLastCommandsAnswer_data()
{
    QTest::addColumn<int>("answerMs");
    QTest::addColumn<qint64>("askedAt");
    // "P" goes out at 0, the read-back is asked for at 500; the answer to "P" comes at
    // answerMs (-1: never), then the line must be quiet for 30 ms.
    QTest::newRow("answer after 3 s") << 3000 << qint64(3030);
    QTest::newRow("no answer: the slowest operation's 13 s") << -1 << qint64(13030);
    QTest::newRow("answer shown already") << 100 << qint64(530);
    QTest::newRow("answer waiting, not yet shown") << 460 << qint64(530);
}

void TstReadBack::waitsForTheLastCommandsAnswer()
{
    QFETCH(int, answerMs);
    QFETCH(qint64, askedAt);
    Rig rig;
    connectAnswered(rig);
    rig.clock.advance(1000 - rig.clock.now() % 1000 + 70); // off the poller's ticks
    if (answerMs >= 0)
        rig.line.answer(1, "P", "Program OK\r\n", answerMs);
    rig.line.answer(1, "S1", sram(1024));
    QSignalSpy finished(&rig.session, &ProgrammerSession::blockFinished);
    const qint64 start = rig.clock.now();
    rig.session.sendCommand("P");
    rig.clock.advance(500);
    rig.session.readBlock(1024);
    ADVANCE_UNTIL(rig, finished.count() == 1, 20000);
    QCOMPARE(rig.line.timeOf("S1") - start, askedAt);
    QCOMPARE(finished.at(0).at(1).toByteArray(), sram(1024));
}

void TstReadBack::asksOnlyOnAQuietLine_data()
{
    QTest::addColumn<int>("chatterMs");
    QTest::addColumn<qint64>("askedAt");
    QTest::newRow("quiet") << 0 << qint64(30);
    QTest::newRow("chatter for 200 ms") << 200 << qint64(230);
    QTest::newRow("chatter for 3 s: at most 1 s") << 3000 << qint64(1000);
}

void TstReadBack::asksOnlyOnAQuietLine()
{
    QFETCH(int, chatterMs);
    QFETCH(qint64, askedAt);
    Rig rig;
    connectAnswered(rig);
    rig.line.answer(1, "S1", sram(1024));
    for (int ms = 10; ms <= chatterMs; ms += 10)
        rig.line.send("x", ms);
    QSignalSpy finished(&rig.session, &ProgrammerSession::blockFinished);
    const qint64 start = rig.clock.now();
    rig.session.readBlock(1024);
    ADVANCE_UNTIL(rig, finished.count() == 1, 10000);
    QCOMPARE(rig.line.timeOf("S1") - start, askedAt);
    // Nothing said before the command comes first in the block.
    QVERIFY(finished.at(0).at(1).toByteArray().startsWith(sram(1024)));
}

void TstReadBack::restOfAShortBlockIsDropped()
{
    Rig rig;
    connectAnswered(rig);
    // A slow programmer starts the block 3 s late: by the limit (4699 ms) 1631 bytes are
    // in; the rest, which happens to hold a key report, comes until 5134 ms.
    QByteArray block = sram(2048);
    block.replace(2000, 6, "KEY_4K");
    rig.line.answer(1, "S2", block, 3000, true);
    QSignalSpy finished(&rig.session, &ProgrammerSession::blockFinished);
    QSignalSpy chosen(&rig.session, &ProgrammerSession::chipChosen);
    rig.session.readBlock(2048);
    ADVANCE_UNTIL(rig, finished.count() == 1, 20000);
    QCOMPARE(finished.at(0).at(0).value<BlockResult>(), BlockResult::Short);
    QCOMPARE(finished.at(0).at(1).toByteArray(), block.left(1631));
    QCOMPARE(rig.clock.now() - rig.line.timeOf("S2"), qint64(5334)); // quiet 200 ms after it
    rig.clock.advance(1000);
    QCOMPARE(chosen.count(), 0);
    QCOMPARE(rig.session.received(), QString());
    QVERIFY(rig.line.line().endsWith("S2"));
}

void TstReadBack::looksOnlyWhenTheBlockCanBeComplete()
{
    Rig rig;
    connectAnswered(rig);
    rig.line.answer(1, "S4", sram(4096), 0, true);
    QSignalSpy finished(&rig.session, &ProgrammerSession::blockFinished);
    rig.session.readBlock(4096);
    ADVANCE_UNTIL(rig, rig.line.timeOf("S4") >= 0, 100);
    rig.line.looks = 0;
    ADVANCE_UNTIL(rig, finished.count() == 1, 10000);
    // 4096 bytes at 9600 baud: the last one is in 4267 ms after the command, and the block
    // is seen complete then, after looks at most 50 ms apart (86 of them), not one per byte.
    QCOMPARE(rig.clock.now() - rig.line.timeOf("S4"), qint64(4267));
    QCOMPARE(finished.at(0).at(1).toByteArray(), sram(4096));
    QVERIFY2(rig.line.looks <= 100, qPrintable(QString::number(rig.line.looks)));
}

void TstReadBack::endsWhenTheProgrammerGoes_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<BlockResult>("result");
    QTest::newRow("not connected") << false << BlockResult::NotConnected;
    QTest::newRow("unplugged during the block") << true << BlockResult::Removed;
}

void TstReadBack::endsWhenTheProgrammerGoes()
{
    QFETCH(bool, connected);
    QFETCH(BlockResult, result);
    Rig rig;
    if (connected) {
        connectAnswered(rig);
        rig.line.answer(1, "S2", sram(2048), 0, true);
        rig.clock.callAfter(1000, [&] { rig.line.unplug(false); });
    }
    QSignalSpy finished(&rig.session, &ProgrammerSession::blockFinished);
    QSignalSpy removed(&rig.session, &ProgrammerSession::removed);
    rig.session.readBlock(2048);
    ADVANCE_UNTIL(rig, finished.count() == 1, 10000);
    QCOMPARE(finished.at(0).at(0).value<BlockResult>(), result);
    QCOMPARE(removed.count(), connected ? 1 : 0);
    QVERIFY(!rig.session.isBusy());
    QVERIFY(!rig.line.isOpen());
}

QTEST_GUILESS_MAIN(TstReadBack)
#include "tst_readback.moc"
