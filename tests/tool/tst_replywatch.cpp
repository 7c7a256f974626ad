#include "core/rig.h"

#include "exitcode.h"
#include "options.h"
#include "replyrules.h"

// When the tool takes a reply as whole, on the manual clock: a reply's lines may come apart by
// less than the settle time, and what comes after it belongs to the next command.
class TstReplyWatch : public QObject
{
    Q_OBJECT
private slots:
    void linesWithinTheSettleTimeBelong_data()
    {
        // The reply's first line comes at 1230 ms, the line "Error 7" gapMs after it; the
        // session's look at the line falls on 1320, 1420 and so on. done: when, and the exit.
        columns<int, QString>("gapMs", "done");
        QTest::newRow("60 ms apart") << 60 << "1390 exit 1: the programmer said: Error 7";
        QTest::newRow("99 ms apart") << 99 << "1429 exit 1: the programmer said: Error 7";
        QTest::newRow("101 ms apart") << 101 << "1330 exit 0: ";
        QTest::newRow("2 s apart") << 2000 << "1330 exit 0: ";
    }
    void linesWithinTheSettleTimeBelong()
    {
        const auto [gapMs, done] = fetch<int, QString>("gapMs", "done");
        Rig rig;
        QVERIFY(rig.start());
        rig.session.clearReceived(); // the chip's answer is not this reply
        const Judging judging{Options().settleMs, QRegularExpression("^Error")};
        ReplyWatch watch(rig.session, rig.line, ReplyRules::quick(), judging, &rig.clock);
        QStringList seen;
        connect(&watch, &ReplyWatch::finished, this, [&](int rc) {
            seen << QString("%1 exit %2: %3").arg(rig.clock.now()).arg(rc).arg(watch.why());
        });
        rig.line.send("Version 2.10\r\n", 10);
        rig.line.send("Error 7\r\n", 10 + gapMs);
        watch.start();
        rig.clock.advance(3000);
        QCOMPARE(seen, QStringList(done));
    }
    void silenceIsNoAnswerByTheTimeTheWorkIsDone()
    {
        Rig rig;
        QVERIFY(rig.start());
        rig.session.sendCommand("E"); // which may take 510 ms; a quick answer 500 ms after
        rig.clock.advance(1);
        ReplyWatch watch(rig.session, rig.line, ReplyRules::chipOperation(), {}, &rig.clock);
        QSignalSpy done(&watch, &ReplyWatch::finished);
        watch.start();
        rig.clock.advance(3000);
        QCOMPARE(done, QList<QVariantList>{{int(Failed)}});
        QCOMPARE(watch.why(), "no answer within 1 s"); // 1009 ms, counted from the watch's start
    }
};

QTEST_GUILESS_MAIN(TstReplyWatch)
#include "tst_replywatch.moc"
