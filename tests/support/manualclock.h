#pragma once

#include "core/clock.h"

#include <functional>
#include <map>
#include <utility>

class ManualTimer;

// A clock that moves only when the test moves it. Everything due runs in time order (ties
// in the order they were set), with now() at the moment it is due: timers of the code under
// test and the fake device's deliveries alike. The clock must outlive its timers: declare it
// before what it drives.
class ManualClock : public Clock
{
public:
    qint64 now() const override { return m_now; }
    ClockTimer *createTimer(QObject *parent) override;

    // Runs what falls due up to now + ms, then stands at now + ms.
    void advance(qint64 ms)
    {
        advanceUntil([] { return false; }, ms);
    }
    // Runs events until done() holds, for at most ms; true when it held. The clock stands
    // at the moment it first held.
    bool advanceUntil(const std::function<bool()> &done, qint64 ms);
    // Calls fn ms from now.
    void callAfter(qint64 ms, std::function<void()> fn) { schedule(m_now + ms, std::move(fn)); }

private:
    friend class ManualTimer;
    using Key = std::pair<qint64, quint64>; // due, order of setting

    Key schedule(qint64 at, std::function<void()> fn)
    {
        return m_calls.emplace(Key{at, ++m_order}, std::move(fn)).first->first;
    }

    qint64 m_now = 0;
    quint64 m_order = 0;
    std::map<Key, std::function<void()>> m_calls; // the timers' next ticks among them
};
