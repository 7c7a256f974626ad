#include "rig.h"

#include "core/receivedtext.h"

using Device = FakeTransport::Device;

// The session's link: the port search (probe pace, the identification's length and reply
// window, the settle step), commands and replies, key reports, the byte pump, removal and
// the busy state.
class TstSession : public QObject
{
    Q_OBJECT
private slots:
    void searchProbesAndIdentifies_data()
    {
        // events: each port probed and when, then 0 and the time the search gave up; probes:
        // what each probe found, with the size of the answer.
        const Table<int, int, int, QStringList, QList<qint64>, QStringList> row;
        // COM1 answers "i" with length characters after afterMs. It is probed at 400 ms; the
        // search's clock then ticks at 500 and 600 ms. Then COM2 is in use, COM3 silent (and
        // unplugged while it is tried), and COM4 answers with 29 characters after 30 ms.
        const QStringList on4 = {"COM1 400 i", "COM3 1200 i", "COM4 1600 i", "COM4 1630 i"};
        const QList<qint64> to4 = {1, 400, 2, 800, 3, 1200, 4, 1600};
        const QStringList after1 = {"COM2 busy 0", "COM3 no answer 0", "COM4 programmer 29"};
        row("26 characters after 199 ms", 26, 199, 11, {"COM1 400 i", "COM1 599 i", "COM1 1199 !"},
            {1, 400}, {"COM1 programmer 26"});
        row("26 characters after 201 ms", 26, 201, 11, on4, to4,
            QStringList("COM1 no answer 0") + after1);
        row("25 characters at once", 25, 0, 11, on4, to4,
            QStringList("COM1 not the programmer 25") + after1);
        row("up to COM3", 25, 0, 3, on4.mid(0, 2), {1, 400, 2, 800, 3, 1200, 0, 1600},
            QStringList("COM1 not the programmer 25") + after1.mid(0, 2));
    }
    void searchProbesAndIdentifies()
    {
        const auto [length, afterMs, lastPort, writes, events, probes] =
            Table<int, int, int, QStringList, QList<qint64>, QStringList>::fetch();
        Rig rig;
        rig.line.setDevice(1, Device::Answering);
        rig.line.answer(1, "i", QByteArray(length, 'v'), afterMs);
        rig.line.setDevice(2, Device::InUse);
        rig.line.setDevice(3, Device::Silent);
        rig.line.setDevice(4, Device::Answering);
        rig.line.answer(4, "i", QByteArray(29, 'v'), 30);
        rig.clock.callAfter(1250, [&] {
            if (!rig.session.isConnected())
                rig.line.unplug(); // a candidate that goes away is not a removal
        });
        QList<qint64> seen;
        connect(&rig.session, &ProgrammerSession::probing, this,
                [&](int port) { seen << port << rig.clock.now(); });
        connect(&rig.session, &ProgrammerSession::notFound, this,
                [&] { seen << 0 << rig.clock.now(); });
        QStringList found;
        connect(&rig.session, &ProgrammerSession::probed, this, [&](int port, const PortProbe &p) {
            found << QString("COM%1 %2 %3")
                         .arg(port)
                         .arg(outcomeName(p.outcome))
                         .arg(p.answer.size());
        });
        QSignalSpy removed(&rig.session, &ProgrammerSession::removed);
        rig.session.setLastPort(lastPort);
        rig.session.search();
        rig.clock.advance(1700);
        QCOMPARE(writesOf(rig.line), writes);
        QCOMPARE(seen, events);
        QCOMPARE(found, probes);
        QCOMPARE(removed.count(), 0);
    }

    void settleStepTellsTheRememberedChip_data()
    {
        // busyMs: busy from the moment the programmer is found; at: when the chip's command
        // goes out (-1: never).
        const Table<QString, int, QByteArray, int> row;
        // Found at 420 ms: the search clock's sixth tick from then is at 1020 ms.
        row("none remembered", "", 0, "!", 1020);
        row("4051", "4051", 0, "@", 1020);
        row("1051U", "1051U", 0, "#", 1020);
        row("2051 and a blank", "2051 ", 0, "", -1);
        row("lower case", "1051u", 0, "", -1);
        row("busy until 1370 ms", "", 950, "!", 1420);
    }
    void settleStepTellsTheRememberedChip()
    {
        const auto [remembered, busyMs, command, at] =
            Table<QString, int, QByteArray, int>::fetch();
        Rig rig;
        rig.line.setDevice(1, Device::Answering);
        rig.line.answer(1, "i", QByteArray(29, 'v'), 20);
        rig.session.setRememberedChip(remembered);
        rig.session.search();
        ADVANCE_UNTIL(rig, rig.session.isConnected(), 1000);
        if (busyMs > 0) {
            QCOMPARE(rig.session.reserve(), Refusal::None);
            rig.clock.callAfter(busyMs, [&] { rig.session.release(); });
        }
        rig.clock.advance(2000);
        QCOMPARE(rig.line.line(), "ii" + command);
        QCOMPARE(rig.line.timeOf(command), at);
        // A new search finds the chip told already.
        rig.session.search();
        rig.clock.advance(2000);
        QCOMPARE(rig.line.line(), "ii" + command + "ii");
    }

    void commandClearsRepliesAndItsAnswerShowsOnThePollerTick()
    {
        Rig rig;
        QVERIFY(rig.start()); // on a tick of the poller
        rig.line.answer(1, "E", "Erase OK\r\n", 30);
        rig.line.send("stale reply");
        rig.clock.advance(120);
        QCOMPARE(rig.session.receivedText(), QStringLiteral("Chip OK\r\nstale reply"));
        QSignalSpy shown(&rig.session, &ProgrammerSession::receivedCleared);
        QCOMPARE(rig.session.sendCommand("E"), Refusal::None); // answered 50 ms after a tick
        QCOMPARE(shown.count(), 1);
        QCOMPARE(rig.session.receivedText(), QString());
        rig.clock.advance(79);
        QCOMPARE(rig.session.receivedText(), QString());
        rig.clock.advance(1);
        QCOMPARE(rig.session.receivedText(), QStringLiteral("Erase OK\r\n"));
    }

    void repliesShowAsUtf8WhereValid_data()
    {
        // A "|" splits the bytes in parts that come a poll apart; shown: the received text
        // after each poll, and after one more.
        const Table<QByteArray, QStringList> row;
        const QString error = QStringLiteral("błąd"), done = QStringLiteral("燒錄完成");
        row("UTF-8", "błąd 燒錄完成", QStringList(2, error + " " + done));
        row("split after a first byte", "b\xC5|\x82ąd", {"b", error, error});
        row("four bytes, split after three", "\xF0\x9F\x98|\x80!", {"", "😀!", "😀!"});
        // Bytes that are not UTF-8 show as Latin-1 characters.
        row("Latin-1, 0xFF, a lone continuation", "Gr\xFC\xDF Gott, 25\xB0 \xFF\x80",
            QStringList(2, QStringLiteral("Grüß Gott, 25° \u00FF\u0080")));
        row("overlong, surrogate", "\xC0\xAF\xED\xA0\x80",
            QStringList(2, QStringLiteral("\u00C0\u00AF\u00ED\u00A0\u0080")));
        // A character cut short waits a poll for its rest, and is then shown as it is.
        row("nothing after a first byte", "ok \xC3", {"ok ", "ok Ã"});
        row("no continuation after two", "\xE4\xB8|(", {"", "ä¸(", "ä¸("});
    }
    void repliesShowAsUtf8WhereValid()
    {
        const auto [bytes, shown] = Table<QByteArray, QStringList>::fetch();
        Rig rig;
        QVERIFY(rig.start());
        rig.session.clearReceived();
        // A client keeps the same text of the chunks passed on.
        QString kept;
        connect(&rig.session, &ProgrammerSession::received, this,
                [&](const QByteArray &chunk) { kept += ReceivedText::decode(chunk); });
        const QList<QByteArray> parts = bytes.split('|');
        QStringList seen;
        for (int k = 0; k <= parts.size(); ++k) {
            if (k < parts.size())
                rig.line.send(parts[k], 10);
            rig.clock.advance(100);
            seen << rig.session.receivedText();
        }
        QCOMPARE(seen, shown);
        QCOMPARE(kept, shown.last());
    }

    void keyReportChoosesTheChip_data()
    {
        // A "|" splits the report in two parts that come a poll apart.
        const Table<QString, QByteArray, QByteArray> row;
        row("1K amid other text", "", "OK KEY_1K now", "#");
        row("2K before 4K and 1K", "1051U", "KEY_1K KEY_4K KEY_2K", "!");
        row("4K before 1K", "", "KEY_1K KEY_4K", "@");
        row("split across two polls", "", "KE|Y_4K", "@");
        row("lower case", "1051U", "key_2k", "");
        row("the chip already chosen", "4051", "KEY_4K", "");
        row("pinned: reported, not chosen", "", "KEY_4K", "");
    }
    void keyReportChoosesTheChip()
    {
        const auto [remembered, report, command] = Table<QString, QByteArray, QByteArray>::fetch();
        Rig rig;
        QVERIFY(rig.start(remembered));
        const bool pinned = QByteArray(QTest::currentDataTag()).startsWith("pinned");
        rig.session.setChipPinned(pinned);
        QSignalSpy reported(&rig.session, &ProgrammerSession::keyReported);
        const QByteArray before = rig.line.line();
        const QList<QByteArray> parts = report.split('|');
        for (int k = 0; k < parts.size(); ++k)
            rig.line.send(parts[k], 10 + 140 * k);
        rig.clock.advance(400);
        QCOMPARE(rig.line.line(), before + command);
        if (pinned)
            QVERIFY(reported.count() == 1 && reported.at(0) == QVariantList{1} &&
                    rig.session.chip() == 0);
    }

    void pumpSendsOneBytePerTickAndTheNewestRequest()
    {
        Rig rig;
        QVERIFY(rig.start());
        Followed dump(rig.session.queueRequest(QByteArray("d\x01\x23", 3)), rig.clock);
        rig.clock.advance(4); // "d" has gone; a new request replaces the rest
        Followed fill(rig.session.queueRequest("FA"), rig.clock);
        QVERIFY(dump.finished == 1 && dump.sent == SendResult::NotConnected && !fill.finished);
        rig.clock.advance(50);
        QCOMPARE(writesOf(rig.line).mid(3),
                 (QStringList{"COM1 1223 d", "COM1 1227 F", "COM1 1230 A"}));
        QVERIFY(dump.finished == 1 && fill.finished == 1 && fill.sent == SendResult::Sent);
    }

    // What a request gets and sends in each state of the session.
    void requestsInEachState_data()
    {
        // The row's name: the state, then the request.
        const Table<Refusal, QByteArray> row;
        for (const char *request : {"command", "fill", "chip", "search", "image", "reserve"})
            row(qPrintable(QString("busy: ") + request), Refusal::Busy, "");
        row("searching: command", Refusal::None, "E");
        for (const char *request : {"image", "reserve", "block"})
            row(qPrintable(QString("searching: ") + request), Refusal::Searching, "");
        row("closed: command", Refusal::None, "");
        row("closed: fill", Refusal::None, "");
        row("idle: 5000 bytes", Refusal::Invalid, "");
        // Removed: told once, when the port reports it or a write of a command or of the
        // pump finds it; nothing goes out after.
        row("unplugged: command", Refusal::None, "");
        row("unplugged unnoticed: command", Refusal::None, "");
        row("unplugged unnoticed: fill", Refusal::None, "");
    }
    void requestsInEachState()
    {
        const auto [refusal, sent] = Table<Refusal, QByteArray>::fetch();
        const QStringList tag = QString::fromLatin1(QTest::currentDataTag()).split(": ");
        Rig rig;
        ProgrammerSession &s = rig.session;
        // A transfer refused is finished on return, with its refusal.
        const auto answer = [](Transfer *t) {
            return t->isFinished() ? t->refusal() : Refusal::None;
        };
        const QMap<QString, std::function<Refusal()>> ask = {
            {"command", [&] { return s.sendCommand("E"); }},
            {"fill", [&] { return answer(s.queueRequest("F\xA5")); }},
            {"chip", [&] { return s.chooseChip(1); }},
            {"search", [&] { return s.search(); }},
            {"image", [&] { return answer(s.sendImage(ImageCommand::Load, "image")); }},
            {"5000 bytes",
             [&] { return answer(s.sendImage(ImageCommand::Load, QByteArray(5000, 'x'))); }},
            {"reserve", [&] { return s.reserve(); }},
            {"block", [&] { return answer(s.readBlock(1024)); }},
        };
        if (tag[0] != "closed")
            QVERIFY(rig.start());
        if (tag[0] == "searching") {
            rig.line.setDevice(1, Device::Silent);
            s.search();
            rig.clock.advance(450); // COM1 is being probed
        }
        if (tag[0] == "busy")
            QCOMPARE(s.reserve(), Refusal::None);
        const bool unplugged = tag[0].startsWith("unplugged");
        if (unplugged)
            rig.line.unplug(tag[0] == "unplugged");
        QSignalSpy shown(&s, &ProgrammerSession::chipShown);
        QSignalSpy removed(&s, &ProgrammerSession::removed);
        const QByteArray before = rig.line.line();
        QCOMPARE(ask[tag[1]](), refusal);
        rig.clock.advance(100);
        if (unplugged)
            ask["command"]();
        rig.clock.advance(100);
        QCOMPARE(rig.line.line().mid(before.size()), sent);
        QCOMPARE(removed.count(), unplugged ? 1 : 0);
        QCOMPARE(s.isConnected(), tag[0] == "busy" || tag[0] == "idle");
        if (tag[1] == "chip") // the option goes back to the chip the programmer was told
            QCOMPARE(shown.value(0), QVariantList{0});
    }
};

QTEST_GUILESS_MAIN(TstSession)
#include "tst_session.moc"
