#include "core/events.h"
#include "core/vbtimer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

class TstTimers : public QObject
{
    Q_OBJECT
private slots:
    void intervalZeroNeverTicks_data();
    void intervalZeroNeverTicks();
    void reEnableWaitsWholeInterval();
    void settingIntervalStartsAfresh();
    void waitEventsSleepsUntilTick();
};

void TstTimers::intervalZeroNeverTicks_data()
{
    QTest::addColumn<bool>("enableFirst");
    QTest::newRow("enabled, then interval 0") << true;
    QTest::newRow("interval 0, then enabled") << false;
}

void TstTimers::intervalZeroNeverTicks()
{
    QFETCH(bool, enableFirst);
    VbTimer zero(QStringLiteral("Timer3"));
    VbTimer fence(QStringLiteral("fence"), 50);
    QSignalSpy ticks(&zero, &VbTimer::Timer);
    QSignalSpy fenceTicks(&fence, &VbTimer::Timer);
    if (enableFirst) {
        zero.setEnabled(true);
        zero.setInterval(0);
    } else {
        zero.setInterval(0);
        zero.setEnabled(true);
    }
    QVERIFY(zero.Enabled());
    QVERIFY(!zero.isTicking());
    fence.setEnabled(true);
    // Many passes of the event loop go by while the fence ticks three times.
    QTRY_VERIFY(fenceTicks.count() >= 3);
    QCOMPARE(ticks.count(), 0);
}

void TstTimers::reEnableWaitsWholeInterval()
{
    VbTimer timer(QStringLiteral("Timer1"), 200);
    QSignalSpy ticks(&timer, &VbTimer::Timer);
    timer.setEnabled(true);
    QTest::qWait(150);
    timer.setEnabled(false);
    timer.setEnabled(true);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(ticks.wait(1000));
    // Had the first countdown gone on, the tick would have come after about 50 ms.
    QVERIFY2(clock.elapsed() >= 190, qPrintable(QString::number(clock.elapsed())));
}

void TstTimers::settingIntervalStartsAfresh()
{
    VbTimer timer(QStringLiteral("Timer4"), 0);
    QSignalSpy ticks(&timer, &VbTimer::Timer);
    timer.setEnabled(true);
    timer.setInterval(100);
    QVERIFY(ticks.wait(1000));
    timer.setEnabled(false);
    const int seen = ticks.count();
    QTest::qWait(250);
    QCOMPARE(ticks.count(), seen);
}

void TstTimers::waitEventsSleepsUntilTick()
{
    // WaitEvents returns when the tick comes, having slept rather than spun.
    VbTimer timer(QStringLiteral("Timer4"), 100);
    int ticked = 0;
    connect(&timer, &VbTimer::Timer, this, [&] { ++ticked; });
    timer.setEnabled(true);
    int passes = 0;
    while (ticked < 3) {
        WaitEvents();
        ++passes;
    }
    // A spinning wait would pass through the loop thousands of times.
    QVERIFY2(passes < 50, qPrintable(QString::number(passes)));
}

QTEST_GUILESS_MAIN(TstTimers)
#include "tst_timers.moc"
