#include "rig.h"

// Test bytes of any size.
static QByteArray bytes(int size)
{
    return QByteArray("\x5A\xA5\x00\xFF\x31", 5).repeated(size / 5 + 1).left(size);
}

// Images under "L" and "Q" (the framing, when a transfer is done, how it can end) and
// read-backs under "S1", "S2", "S4" (the wait for the last answer, the quiet line before
// asking, the time limit, the rest of a short block, how often the program looks).
class TstTransfers : public QObject
{
    Q_OBJECT
private slots:
    void framing_data()
    {
        // A fill request queued before the image goes out whole first. The image is done once
        // its bytes and the letter before them can have left at 9600 baud (a byte in 1.04 ms)
        // and nothing of it waits in the port or the system. Progress: the image bytes that
        // can have left by the first look at or after 1 s (-1: done before), at most those the
        // line has carried and those no queue holds.
        columns<QByteArray, char, int, QByteArray, QString, int, int>(
            "queued", "letter", "size", "header", "device", "doneAt", "at1s");
        const auto row = [](const char *name, const QByteArray &queued, char letter, int size,
                            const QByteArray &header, const char *device, int doneAt, int at1s) {
            QTest::newRow(name) << queued << letter << size << header << device << doneAt << at1s;
        };
        // The device takes bytes at the line's pace; the port holds what it has not taken.
        row("empty", {}, 'L', 0, QByteArray("L\x00\x00", 3), "paced", 5, -1);
        row("256 bytes after a fill", "F\xA5", 'L', 256, QByteArray("L\x01\x00", 3), "paced", 279,
            -1);
        row("4999 bytes", {}, 'Q', 4999, QByteArray("Q\x13\x87", 3), "paced", 5212, 956);
        // The system takes 4099 bytes at once and cannot tell what it still holds: their line
        // time, 4269.8 ms.
        row("4096 bytes, all handed over", {}, 'L', 4096, QByteArray("L\x10\x00", 3), "untold",
            4270, 957);
        // The system holds them and the device takes them from 500 ms on: the system is empty
        // at 4771 ms, seen a byte's time later.
        row("4096 bytes, the device late", {}, 'L', 4096, QByteArray("L\x10\x00", 3), "late", 4772,
            476);
    }
    void framing()
    {
        const auto [queued, letter, size, header, device, doneAt, at1s] =
            fetch<QByteArray, char, int, QByteArray, QString, int, int>(
                "queued", "letter", "size", "header", "device", "doneAt", "at1s");
        Rig rig;
        QVERIFY(rig.start());
        using Q = FakeTransport::Queue;
        rig.line.setQueue(device == "paced" ? Q::Port : device == "late" ? Q::System : Q::Untold);
        rig.line.setIntake(device == "untold" ? FakeTransport::Intake::Instant
                                              : FakeTransport::Intake::Paced,
                           device == "late" ? 500 : 0);
        rig.line.answer(1, QByteArray(1, letter), "Load OK\r\n", 5);
        QSignalSpy finished(&rig.session, &ProgrammerSession::imageFinished);
        const qint64 start = rig.clock.now();
        QList<QPair<qint64, int>> progress;
        connect(&rig.session, &ProgrammerSession::imageProgress, this, [&](int done) {
            progress.append({rig.clock.now() - start, done});
        });
        if (!queued.isEmpty())
            rig.session.queueRequest(queued);
        QCOMPARE(rig.session.sendImage(letter, bytes(size)), Refusal::None);
        ADVANCE_UNTIL(rig, finished.count() == 1, 10000);
        QCOMPARE(rig.clock.now() - start, doneAt);
        QCOMPARE(rig.line.line(), "ii!" + queued + header + bytes(size));
        // The whole image only when done.
        QVERIFY(!progress.isEmpty() && progress.last() == qMakePair(qint64(doneAt), size));
        QVERIFY(std::all_of(progress.begin(), progress.end() - 1,
                            [&](const auto &p) { return p.second < size; }));
        const auto look = std::find_if(progress.begin(), progress.end(),
                                       [](const auto &p) { return p.first >= 1000; });
        QCOMPARE(look < progress.end() - 1 ? look->second : -1, at1s);
        // The answer that came during the transfer shows only after it.
        QVERIFY(rig.session.received().isEmpty() && !rig.session.isBusy());
        rig.clock.advance(100);
        QCOMPARE(rig.session.received(), QStringLiteral("Load OK\r\n"));
    }

    void endings_data()
    {
        // An image of 1024 bytes at the line's pace, or a block of 2048 bytes.
        columns<QString, QString, QVariant, int>("what", "how", "result", "afterMs");
        const auto row = [](const char *name, const char *what, const char *how, QVariant result,
                            int afterMs) {
            QTest::newRow(name) << what << how << result << afterMs;
        };
        using S = SendResult;
        using B = BlockResult;
        row("image, port closed", "image", "closed", QVariant::fromValue(S::NotConnected), 0);
        row("image, unplugged", "image", "unplug", QVariant::fromValue(S::Removed), 500);
        // Handed to a system that takes it at once and cannot tell how much it holds: the
        // 1027 bytes are on the line until 1070 ms. Unplugged unnoticed at 1069 ms, the next
        // look at the system's queue finds it.
        row("image, unplugged on the line", "image", "unplug unnoticed handed",
            QVariant::fromValue(S::Removed), 1070);
        // The letter and 1026 bytes take 1070 ms at 9600 baud; the device gets 10 s more.
        row("image, device stalls", "image", "stall", QVariant::fromValue(S::NotConnected), 11070);
        row("block, port closed", "block", "closed", QVariant::fromValue(B::NotConnected), 0);
        // Asked at 30 ms, then looked at every 50 ms: the next look finds the device gone.
        row("block, unplugged", "block", "unplug unnoticed", QVariant::fromValue(B::Removed), 530);
    }
    void endings()
    {
        const auto [what, how, result, afterMs] =
            fetch<QString, QString, QVariant, int>("what", "how", "result", "afterMs");
        Rig rig;
        if (how != "closed")
            QVERIFY(rig.start());
        const bool handed = how.endsWith("handed");
        rig.line.setIntake(how == "stall" ? FakeTransport::Intake::Stalled
                           : handed       ? FakeTransport::Intake::Instant
                                          : FakeTransport::Intake::Paced);
        rig.line.setQueue(handed ? FakeTransport::Queue::Untold : FakeTransport::Queue::Port);
        rig.line.answer(1, "S2", bytes(2048), 0, true);
        rig.clock.callAfter(handed ? 1069 : 500, [&] {
            if (how.startsWith("unplug"))
                rig.line.unplug(!how.contains("unnoticed"));
        });
        QSignalSpy images(&rig.session, &ProgrammerSession::imageFinished);
        QSignalSpy blocks(&rig.session, &ProgrammerSession::blockFinished);
        QSignalSpy removed(&rig.session, &ProgrammerSession::removed);
        const qint64 start = rig.clock.now();
        what == "image" ? rig.session.sendImage('L', bytes(1024)) : rig.session.readBlock(2048);
        ADVANCE_UNTIL(rig, images.count() + blocks.count() == 1, 20000);
        QCOMPARE((what == "image" ? images : blocks).at(0).at(0), result);
        QCOMPARE(rig.clock.now() - start, afterMs);
        QCOMPARE(removed.count(), how.startsWith("unplug") ? 1 : 0);
        QVERIFY(!rig.line.isOpen() && !rig.session.isBusy());
    }

    void readBack_data()
    {
        // answerMs: "P" first, answered then (-1: never); -2: no "P".
        columns<int, int, int, int, int, BlockResult>("answerMs", "chatterMs", "size", "lastByteMs",
                                                      "askedAt", "result");
        using R = BlockResult;
        // On a quiet line the block is asked for after 30 ms. The limit: the block's time at
        // 9600 baud (1066, 2133, 4266 ms) and half again, plus 1500 ms: 3099, 4699 and 7899 ms.
        QTest::newRow("1K in time") << -2 << 0 << 1024 << 3098 << 30 << R::Complete;
        QTest::newRow("1K late") << -2 << 0 << 1024 << 3100 << 30 << R::Short;
        QTest::newRow("2K in time") << -2 << 0 << 2048 << 4698 << 30 << R::Complete;
        QTest::newRow("2K late") << -2 << 0 << 2048 << 4700 << 30 << R::Short;
        QTest::newRow("4K in time") << -2 << 0 << 4096 << 7898 << 30 << R::Complete;
        QTest::newRow("4K late") << -2 << 0 << 4096 << 7900 << 30 << R::Short;
        // lastByteMs -1: the block at the line's pace, its last byte in after 4267 ms.
        QTest::newRow("4K at the line's pace") << -2 << 0 << 4096 << -1 << 30 << R::Complete;
        // Chatter ends 30 ms before asking, or after 1 s.
        QTest::newRow("chatter for 200 ms") << -2 << 200 << 1024 << 0 << 230 << R::Complete;
        QTest::newRow("chatter for 3 s") << -2 << 3000 << 1024 << 0 << 1000 << R::Complete;
        // "P" goes out at 0 and the block is wanted at 500 ms: the answer to "P" must have
        // begun (for at most 13 s), then 30 quiet ms.
        QTest::newRow("answer after 3 s") << 3000 << 0 << 1024 << 0 << 3030 << R::Complete;
        QTest::newRow("no answer") << -1 << 0 << 1024 << 0 << 13030 << R::Complete;
        QTest::newRow("answer shown already") << 100 << 0 << 1024 << 0 << 530 << R::Complete;
        QTest::newRow("answer in, not yet shown") << 460 << 0 << 1024 << 0 << 530 << R::Complete;
    }
    void readBack()
    {
        const auto [answerMs, chatterMs, size, lastByteMs, askedAt, result] =
            fetch<int, int, int, int, int, BlockResult>("answerMs", "chatterMs", "size",
                                                        "lastByteMs", "askedAt", "result");
        Rig rig;
        QVERIFY(rig.start());
        rig.clock.advance(70); // off the poller's ticks
        const QByteArray block = bytes(size);
        const QByteArray command = "S" + QByteArray::number(size / 1024);
        rig.line.answer(1, command, block.left(size - 1), 0, lastByteMs < 0);
        rig.line.answer(1, command, block.right(1), lastByteMs < 0 ? 4267 : lastByteMs);
        for (int ms = 10; ms <= chatterMs; ms += 10)
            rig.line.send("x", ms);
        QSignalSpy finished(&rig.session, &ProgrammerSession::blockFinished);
        const qint64 start = rig.clock.now();
        if (answerMs >= 0)
            rig.line.answer(1, "P", "Program OK\r\n", answerMs);
        if (answerMs != -2) {
            rig.session.sendCommand("P");
            rig.clock.advance(500);
        }
        QCOMPARE(rig.session.readBlock(size), Refusal::None);
        ADVANCE_UNTIL(rig, finished.count() == 1, 20000);
        QCOMPARE(rig.line.timeOf(command) - start, askedAt);
        QCOMPARE(finished.at(0).at(0).value<BlockResult>(), result);
        // What came before the command is not part of the block.
        QVERIFY(finished.at(0).at(1).toByteArray().startsWith(
            result == BlockResult::Complete ? block : block.left(size - 1)));
        // Seen complete as soon as it can be, after looks at most 50 ms apart (86 for 4K,
        // where one a byte would be thousands).
        if (lastByteMs < 0) {
            QCOMPARE(rig.clock.now() - rig.line.timeOf(command), 4267);
            QVERIFY2(rig.line.looks <= 100, qPrintable(QString::number(rig.line.looks)));
        }
    }

    void restOfAShortBlockIsDropped()
    {
        Rig rig;
        QVERIFY(rig.start());
        // A slow programmer starts the block 3 s late: by the limit (4699 ms) 1631 bytes are
        // in; the rest, which happens to hold a key report, comes until 5134 ms.
        QByteArray block = bytes(2048);
        block.replace(2000, 6, "KEY_4K");
        rig.line.answer(1, "S2", block, 3000, true);
        QSignalSpy finished(&rig.session, &ProgrammerSession::blockFinished);
        rig.session.readBlock(2048);
        ADVANCE_UNTIL(rig, finished.count() == 1, 20000);
        QCOMPARE(finished.at(0).at(0).value<BlockResult>(), BlockResult::Short);
        QCOMPARE(finished.at(0).at(1).toByteArray(), block.left(1631));
        QCOMPARE(rig.clock.now() - rig.line.timeOf("S2"), 5334); // quiet 200 ms after it
        rig.clock.advance(1000);
        QCOMPARE(rig.session.received(), QString());
    }
};

QTEST_GUILESS_MAIN(TstTransfers)
#include "tst_transfers.moc"
