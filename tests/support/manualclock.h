#pragma once

#include "core/clock.h"

#include <QList>

#include <functional>
#include <map>
#include <utility>

class ManualTimer;

// A clock that moves only when the test moves it. Everything due runs in time order (ties
// in the order they were set), with now() at the moment it is due: timers of the code under
// test and the fake device's deliveries alike.
class ManualClock : public Clock
{
public:
    ~ManualClock() override;

    qint64 now() const override { return m_now; }
    ClockTimer *createTimer(QObject *parent) override;

    // Runs what falls due up to now + ms, then stands at now + ms.
    void advance(qint64 ms);
    // Runs events until done() holds, for at most ms; true when it held. The clock stands
    // at the moment it first held.
    bool advanceUntil(const std::function<bool()> &done, qint64 ms);
    // Calls fn ms from now.
    void callAfter(qint64 ms, std::function<void()> fn);

private:
    friend class ManualTimer;
    using Key = std::pair<qint64, quint64>; // due, order of setting

    // Runs the earliest event due by limit; false when there is none.
    bool runNext(qint64 limit);
    quint64 nextOrder() { return ++m_order; }

    qint64 m_now = 0;
    quint64 m_order = 0;
    std::map<Key, std::function<void()>> m_calls;
    QList<ManualTimer *> m_timers;
};

class ManualTimer : public ClockTimer
{
public:
    ManualTimer(ManualClock *clock, QObject *parent);
    ~ManualTimer() override;

    void start(int intervalMs) override;
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }
    void setSingleShot(bool singleShot) override { m_singleShot = singleShot; }

private:
    friend class ManualClock;
    void fire();

    ManualClock *m_clock;
    ManualClock::Key m_due{0, 0};
    int m_interval = 0;
    bool m_active = false;
    bool m_singleShot = false;
};
