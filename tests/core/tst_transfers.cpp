#include "rig.h"

// Test bytes of any size.
static QByteArray bytes(int size)
{
    return QByteArray("\x5A\xA5\x00\xFF\x31", 5).repeated(size / 5 + 1).left(size);
}

// Images under "L" and "Q" (the framing, when a transfer is done, how it can end) and
// read-backs under "S1", "S2", "S4" (the wait for the last command to be done and its
// answer, the quiet line before asking, the time limit, the quiet after the block, the rest
// of a short or spoilt block, how often the program looks), and key reports that come
// while a transfer owns the port.
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
        const Table<QByteArray, char, int, QByteArray, QString, int, int> row;
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
            Table<QByteArray, char, int, QByteArray, QString, int, int>::fetch();
        Rig rig;
        QVERIFY(rig.start());
        using Q = FakeTransport::Queue;
        rig.line.setQueue(device == "paced" ? Q::Port : device == "late" ? Q::System : Q::Untold);
        rig.line.setIntake(device == "untold" ? FakeTransport::Intake::Instant
                                              : FakeTransport::Intake::Paced,
                           device == "late" ? 500 : 0);
        rig.line.answer(1, QByteArray(1, letter), "Load OK\r\n", 5);
        const qint64 start = rig.clock.now();
        // The fill's transfer ends when its last byte is out, and the image's is its own.
        Followed fill(rig.session.queueRequest(queued), rig.clock); // none: refused at once
        Followed image(rig.session.sendImage(ImageCommand(letter), bytes(size)), rig.clock);
        ADVANCE_UNTIL(rig, image.finished == 1, 10000);
        QCOMPARE(rig.clock.now() - start, doneAt);
        QCOMPARE(rig.line.line(), "ii!" + queued + header + bytes(size));
        QVERIFY(fill.finished == 1 && fill.progress.isEmpty() && image.sent == SendResult::Sent);
        QCOMPARE(fill.sent, queued.isEmpty() ? SendResult::NotConnected : SendResult::Sent);
        // The whole image only when done.
        const auto &progress = image.progress;
        QVERIFY(!progress.isEmpty() && progress.last() == qMakePair(start + doneAt, size));
        QVERIFY(std::all_of(progress.begin(), progress.end() - 1,
                            [&](const auto &p) { return p.second < size; }));
        const auto look = std::find_if(progress.begin(), progress.end(),
                                       [&](const auto &p) { return p.first - start >= 1000; });
        QCOMPARE(look < progress.end() - 1 ? look->second : -1, at1s);
        // The answer that came during the transfer shows only after it.
        QVERIFY(rig.session.receivedText().isEmpty() && !rig.session.isBusy());
        rig.clock.advance(100);
        QCOMPARE(rig.session.receivedText(), QStringLiteral("Load OK\r\n"));
    }

    void endings_data()
    {
        // An image of 1024 bytes at the line's pace, or a block of 2048 bytes.
        const Table<QString, QString, QVariant, int> row;
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
        row("block, unplugged before it is asked", "block", "unplug unnoticed early",
            QVariant::fromValue(B::Removed), 30);
    }
    void endings()
    {
        const auto [what, how, result, afterMs] = Table<QString, QString, QVariant, int>::fetch();
        Rig rig;
        if (how != "closed")
            QVERIFY(rig.start());
        const bool handed = how.endsWith("handed");
        rig.line.setIntake(how == "stall" ? FakeTransport::Intake::Stalled
                           : handed       ? FakeTransport::Intake::Instant
                                          : FakeTransport::Intake::Paced);
        rig.line.setQueue(handed ? FakeTransport::Queue::Untold : FakeTransport::Queue::Port);
        rig.line.answer(1, "S2", bytes(2048), 0, true);
        const int unplugAt = handed ? 1069 : how.endsWith("early") ? 20 : 500;
        rig.clock.callAfter(unplugAt, [&] {
            if (how.startsWith("unplug"))
                rig.line.unplug(!how.contains("unnoticed"));
        });
        QSignalSpy removed(&rig.session, &ProgrammerSession::removed);
        const qint64 start = rig.clock.now();
        Followed t(what == "image" ? rig.session.sendImage(ImageCommand::Load, bytes(1024))
                                   : rig.session.readBlock(2048),
                   rig.clock);
        ADVANCE_UNTIL(rig, t.finished > 0, 20000);
        QCOMPARE(rig.clock.now() - start, afterMs);
        rig.clock.advance(1000); // one result, one removal
        QCOMPARE(t.finished, 1);
        QCOMPARE(what == "image" ? QVariant::fromValue(t.sent) : QVariant::fromValue(t.block),
                 result);
        QCOMPARE(removed.count(), how.startsWith("unplug") ? 1 : 0);
        QVERIFY(!rig.line.isOpen() && !rig.session.isBusy());
    }

    void readBack_data()
    {
        // lastByteMs: after the command (-1: the block at the line's pace, 4267 ms); extraMs:
        // a byte more that long after the block's last (-1: none); the times from the start.
        const Table<int, int, int, int, int, int, BlockResult> row;
        using R = BlockResult;
        // On a quiet line the block is asked for after 30 ms. The limit: the block's time at
        // 9600 baud (1066, 2133, 4266 ms) and half again, plus 1500 ms: 3099, 4699 and 7899 ms.
        // A whole block is good 100 ms after the look that finds it (with one byte to come, the
        // look is when it can be there); the rest of a short one is dropped until 200 ms of
        // quiet.
        row("1K in time", 0, 1024, 3098, -1, 30, 3228, R::Complete);
        row("1K late", 0, 1024, 3100, -1, 30, 3330, R::Short);
        row("2K in time", 0, 2048, 4698, -1, 30, 4828, R::Complete);
        row("2K late", 0, 2048, 4700, -1, 30, 4930, R::Short);
        row("4K in time", 0, 4096, 7898, -1, 30, 8028, R::Complete);
        row("4K late", 0, 4096, 7900, -1, 30, 8130, R::Short);
        row("4K at the line's pace", 0, 4096, -1, -1, 30, 4397, R::Complete);
        // Chatter ends 30 ms before asking, or goes on into the block.
        row("chatter for 200 ms", 200, 1024, 0, -1, 230, 380, R::Complete);
        row("chatter for 3 s", 3000, 1024, 0, -1, 1000, 3200, R::Overrun);
        // The block's last byte comes at 1030 ms, on a look.
        row("a byte 99 ms after the block", 0, 2048, 1000, 99, 30, 1329, R::Overrun);
        row("a byte 101 ms after the block", 0, 2048, 1000, 101, 30, 1130, R::Complete);
        row("a byte with the block", 0, 4096, 0, 0, 30, 280, R::Overrun);
    }
    void readBack()
    {
        const auto [chatterMs, size, lastByteMs, extraMs, askedAt, doneAt, result] =
            Table<int, int, int, int, int, int, BlockResult>::fetch();
        Rig rig;
        QVERIFY(rig.start());
        rig.clock.advance(70); // off the poller's ticks
        const QByteArray block = bytes(size);
        const QByteArray command = "S" + QByteArray::number(size / 1024);
        const int last = lastByteMs < 0 ? 4267 : lastByteMs;
        rig.line.answer(1, command, block.left(size - 1), 0, lastByteMs < 0);
        rig.line.answer(1, command, block.right(1), last);
        if (extraMs >= 0)
            rig.line.answer(1, command, "x", last + extraMs);
        for (int ms = 10; ms <= chatterMs; ms += 10)
            rig.line.send("x", ms);
        const qint64 start = rig.clock.now();
        Followed read(rig.session.readBlock(size), rig.clock);
        ADVANCE_UNTIL(rig, read.finished == 1, 20000);
        QCOMPARE(rig.line.timeOf(command) - start, askedAt);
        QCOMPARE(rig.clock.now() - start, doneAt);
        QCOMPARE(read.block, result);
        // Exactly the block, or what came of it in time, or nothing of a spoilt one.
        QCOMPARE(read.bytes, result == BlockResult::Complete ? block
                             : result == BlockResult::Short  ? block.left(size - 1)
                                                             : QByteArray());
        // Seen complete as soon as it can be, after looks at most 50 ms apart (86 for 4K,
        // where one a byte would be thousands).
        QVERIFY2(lastByteMs >= 0 || rig.line.looks <= 100,
                 qPrintable(QString::number(rig.line.looks)));
        // The block's progress as it comes: all of a complete one, and a block at the line's
        // pace step by step.
        QVERIFY(result != BlockResult::Complete ||
                (!read.progress.isEmpty() && read.progress.last().second == size));
        QVERIFY(lastByteMs >= 0 || read.progress.size() > 40);
    }

    void waitsBeforeAsking_data()
    {
        // What goes out before the save ("Q": an image of 100 bytes), when the stages of the
        // last one's answer come, and when the save is asked for, from the moment the first
        // went out; the programmer answers "S1" 3 s after it comes.
        const Table<QString, QByteArrayList, QList<int>, int, int, int> row;
        // Done at once: its answer must have begun (for at most 500 ms), then 30 quiet ms.
        row("checksum answered at 200 ms", "", {"c"}, {200}, 0, 230, 0);
        row("checksum unanswered", "", {"c"}, {}, 0, 530, 0);
        row("checksum answered and shown", "", {"c"}, {100}, 500, 530, 0);
        row("checksum answered, not yet shown", "", {"c"}, {460}, 500, 530, 0);
        // A chip operation: not before it can be done, answered or not, then 30 quiet ms. The
        // AT89C2051's 2048 bytes written at 2 ms each and 500 ms more: 4596 ms.
        row("program, answered in stages", "", {"P"}, {0, 3000}, 0, 4626, 0);
        row("program, unanswered", "", {"P"}, {}, 0, 4626, 0);
        row("program, saved 5 s later", "", {"P"}, {0, 3000}, 5000, 5030, 0);
        row("program on the AT89C1051U", "1051U", {"P"}, {0}, 0, 2578, 0);
        row("program on the AT89C4051", "4051", {"P"}, {0}, 0, 8722, 0);
        // A firmware said to take 6 s for each chip operation; the checksum takes no time.
        row("program, 6 s an operation", "", {"P", "c"}, {0}, 0, 6030, 6000);
        // Erase (10 ms and 500) first, program after it: 5106 ms.
        row("erase, then program behind it", "", {"E", "P"}, {0}, 0, 5136, 0);
        // Erase, write and read (0.1 ms a byte) the 2048 bytes, 4811 ms, from the end of the
        // image's 103 bytes on the line at 108 ms; the save asked for once the image is sent.
        row("express, answered in stages", "", {"Q"}, {0, 10, 3000}, 200, 4949, 0);
        // 8192 bytes written and read twice at 0.1 ms each, and 500 ms: 3777 ms.
        row("SRAM test", "", {"tR"}, {}, 0, 3807, 0);
    }
    void waitsBeforeAsking()
    {
        const auto [chip, sent, answers, saveMs, askedAt, operationMs] =
            Table<QString, QByteArrayList, QList<int>, int, int, int>::fetch();
        Rig rig;
        rig.session.setOperationTimeMs(operationMs);
        QVERIFY(rig.start(chip));
        rig.clock.advance(70); // off the poller's ticks
        rig.line.answer(1, "S1", bytes(1024), 3000);
        for (int k = 0; k < answers.size(); ++k)
            rig.line.answer(1, sent.last(), "stage " + QByteArray::number(k) + "\r\n", answers[k]);
        const qint64 start = rig.clock.now();
        for (const QByteArray &command : sent)
            command == "Q" ? void(rig.session.sendImage(ImageCommand::Express, bytes(100)))
                           : void(rig.session.sendCommand(command));
        rig.clock.advance(saveMs);
        Followed read(rig.session.readBlock(1024), rig.clock);
        ADVANCE_UNTIL(rig, read.finished == 1, 20000);
        QCOMPARE(rig.line.timeOf("S1") - start, askedAt);
        QVERIFY(read.block == BlockResult::Complete && read.bytes == bytes(1024));
    }

    void keyReportDuringATransfer_data()
    {
        // What the programmer sends (a "|" parts it, 10 ms apart) and when, from the start of
        // the transfer; what goes out once the transfer's own bytes are on the line.
        const Table<QString, QByteArray, int, QByteArray> row;
        // Save 2K: asked at 30 ms, the block in at once and whole at 80, good at 180 ms.
        row("before the block", "save", "KEY_4K\r\n", 10, "@");
        row("split before the block", "save", "KE|Y_1K", 5, "#");
        row("the latest of two", "save", "KEY_4K|KEY_1K", 5, "#");
        row("the chip already chosen", "save", "KEY_2K", 10, "");
        row("right after the block", "save", "KEY_1K\r\n", 120, "#");
        // A fill request of 100 bytes goes out before an image, 3 ms a byte, while the poller
        // runs.
        row("while a fill goes out", "image", "KEY_4K", 50, "@");
    }
    void keyReportDuringATransfer()
    {
        const auto [transfer, report, atMs, after] =
            Table<QString, QByteArray, int, QByteArray>::fetch();
        Rig rig;
        QVERIFY(rig.start());
        rig.line.answer(1, "S2", bytes(2048));
        const QList<QByteArray> parts = report.split('|');
        for (int k = 0; k < parts.size(); ++k)
            rig.line.send(parts[k], atMs + 10 * k);
        QSignalSpy chosen(&rig.session, &ProgrammerSession::chipChosen);
        const QByteArray own =
            transfer == "image" ? "F" + bytes(99) + QByteArray("L\x00\x05image", 8) : "S2";
        const QByteArray before = rig.line.line();
        if (transfer == "image") {
            rig.session.queueRequest(own.left(100));
            rig.session.sendImage(ImageCommand::Load, "image");
        } else {
            rig.session.readBlock(2048);
        }
        rig.clock.advance(2000);
        QCOMPARE(rig.line.line(), before + own + after);
        QCOMPARE(chosen.count(), after.isEmpty() ? 0 : 1);
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
        Followed read(rig.session.readBlock(2048), rig.clock);
        ADVANCE_UNTIL(rig, read.finished == 1, 20000);
        QCOMPARE(read.block, BlockResult::Short);
        QCOMPARE(read.bytes, block.left(1631));
        QCOMPARE(rig.clock.now() - rig.line.timeOf("S2"), 5334); // quiet 200 ms after it
        rig.clock.advance(1000);
        QCOMPARE(rig.session.receivedText(), QString());
        QCOMPARE(rig.session.chip(), 0); // the block's bytes are no key report
        QVERIFY(rig.line.line().endsWith("S2"));
    }
};

QTEST_GUILESS_MAIN(TstTransfers)
#include "tst_transfers.moc"
