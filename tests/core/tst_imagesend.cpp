#include "rig.h"

// Images under "L" and "Q": the framing, when a transfer is done, and how it can end.
class TstImageSend : public QObject
{
    Q_OBJECT
private slots:
    void framing_data();
    void framing();
    void doneOnlyWhenTheDeviceHasTakenEveryByte();
    void tooLargeIsRefusedBeforeAnyByte();
    void queuedRequestGoesOutWholeFirst();
    void repliesShowOnlyAfterTheTransfer();
    void endings_data();
    void endings();
};

static QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * seed + 3) & 0xFF);
    return bytes;
}

void TstImageSend::framing_data()
{
    QTest::addColumn<char>("letter");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("header");
    QTest::newRow("empty") << 'L' << QByteArray() << QByteArray("L\x00\x00", 3);
    QTest::newRow("256 bytes") << 'L' << pattern(256, 7) << QByteArray("L\x01\x00", 3);
    QTest::newRow("4096 bytes of FF")
        << 'Q' << QByteArray(4096, '\xFF') << QByteArray("Q\x10\x00", 3);
    QTest::newRow("4999 bytes") << 'L' << pattern(4999, 13) << QByteArray("L\x13\x87", 3);
}

void TstImageSend::framing()
{
    QFETCH(char, letter);
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, header);
    Rig rig;
    rig.connectProgrammer();
    QSignalSpy started(&rig.session, &ProgrammerSession::imageStarted);
    QSignalSpy finished(&rig.session, &ProgrammerSession::imageFinished);
    QCOMPARE(rig.session.sendImage(letter, image), Refusal::None);
    ADVANCE_UNTIL(rig, finished.count() == 1, 100);
    QCOMPARE(rig.line.line(), QByteArray("ii!") + header + image);
    QCOMPARE(started.count(), 1);
    QCOMPARE(started.at(0).at(0).toInt(), image.size());
    QCOMPARE(finished.at(0).at(0).value<SendResult>(), SendResult::Sent);
}

void TstImageSend::doneOnlyWhenTheDeviceHasTakenEveryByte()
{
    Rig rig;
    rig.connectProgrammer();
    rig.line.setIntake(FakeTransport::Intake::Paced);
    QSignalSpy busy(&rig.session, &ProgrammerSession::busyChanged);
    QSignalSpy finished(&rig.session, &ProgrammerSession::imageFinished);
    const qint64 start = rig.clock.now();
    rig.session.sendImage('Q', QByteArray(4096, '\xFF'));
    QVERIFY(rig.session.isBusy());
    // At 9600 baud "Q" takes 2 ms, the length and 4096 bytes another 4269 ms.
    rig.clock.advance(4270);
    QCOMPARE(finished.count(), 0);
    rig.clock.advance(1);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(rig.clock.now() - start, qint64(4271));
    QVERIFY(!rig.session.isBusy());
    QCOMPARE(busy.count(), 2);
}

void TstImageSend::tooLargeIsRefusedBeforeAnyByte()
{
    Rig rig;
    rig.connectProgrammer();
    QCOMPARE(rig.session.sendImage('L', QByteArray(5000, 'x')), Refusal::Invalid);
    rig.clock.advance(100);
    QCOMPARE(rig.line.line(), QByteArray("ii!"));
    QVERIFY(!rig.session.isBusy());
}

void TstImageSend::queuedRequestGoesOutWholeFirst()
{
    Rig rig;
    rig.connectProgrammer();
    QSignalSpy finished(&rig.session, &ProgrammerSession::imageFinished);
    rig.session.queueRequest(QByteArray("F\xA5"));
    QCOMPARE(rig.session.sendImage('L', "abc"), Refusal::None);
    ADVANCE_UNTIL(rig, finished.count() == 1, 100);
    QCOMPARE(rig.line.line(), QByteArray("ii!F\xA5L\x00\x03"
                                         "abc",
                                         11));
}

void TstImageSend::repliesShowOnlyAfterTheTransfer()
{
    Rig rig;
    rig.connectProgrammer();
    rig.line.setIntake(FakeTransport::Intake::Paced);
    rig.line.answer(1, "L", "Load OK, 1024 bytes\r\n", 5);
    QSignalSpy finished(&rig.session, &ProgrammerSession::imageFinished);
    rig.session.sendImage('L', pattern(1024, 5));
    ADVANCE_UNTIL(rig, finished.count() == 1, 2000);
    QCOMPARE(rig.session.received(), QString());
    rig.clock.advance(100);
    QCOMPARE(rig.session.received(), QStringLiteral("Load OK, 1024 bytes\r\n"));
}

void TstImageSend::endings_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<SendResult>("result");
    QTest::addColumn<qint64>("afterMs");
    QTest::newRow("port closed") << QStringLiteral("closed") << SendResult::NotConnected
                                 << qint64(0);
    QTest::newRow("unplugged on the way")
        << QStringLiteral("unplug") << SendResult::Removed << qint64(500);
    // 1026 bytes take 1069 ms at 9600 baud; the device gets 10 s more.
    QTest::newRow("device stops taking bytes")
        << QStringLiteral("stall") << SendResult::NotConnected << qint64(11069);
}

void TstImageSend::endings()
{
    QFETCH(QString, how);
    QFETCH(SendResult, result);
    QFETCH(qint64, afterMs);
    Rig rig;
    if (how != QLatin1String("closed"))
        rig.connectProgrammer();
    rig.line.setIntake(how == QLatin1String("stall") ? FakeTransport::Intake::Stalled
                                                     : FakeTransport::Intake::Paced);
    if (how == QLatin1String("unplug"))
        rig.clock.callAfter(500, [&] { rig.line.unplug(); });
    QSignalSpy finished(&rig.session, &ProgrammerSession::imageFinished);
    const qint64 start = rig.clock.now();
    rig.session.sendImage('L', pattern(1024, 3));
    ADVANCE_UNTIL(rig, finished.count() == 1, 20000);
    QCOMPARE(finished.at(0).at(0).value<SendResult>(), result);
    QCOMPARE(rig.clock.now() - start, afterMs);
    QVERIFY(!rig.line.isOpen());
    QVERIFY(!rig.session.isBusy());
}

QTEST_GUILESS_MAIN(TstImageSend)
#include "tst_imagesend.moc"
