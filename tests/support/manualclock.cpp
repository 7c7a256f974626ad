#include "manualclock.h"

ManualClock::~ManualClock()
{
    for (ManualTimer *timer : m_timers)
        timer->m_clock = nullptr;
}

ClockTimer *ManualClock::createTimer(QObject *parent)
{
    return new ManualTimer(this, parent);
}

void ManualClock::callAfter(qint64 ms, std::function<void()> fn)
{
    m_calls.emplace(Key{m_now + ms, nextOrder()}, std::move(fn));
}

bool ManualClock::runNext(qint64 limit)
{
    ManualTimer *timer = nullptr;
    for (ManualTimer *t : m_timers) {
        if (t->m_active && (!timer || t->m_due < timer->m_due))
            timer = t;
    }
    const bool callFirst = !m_calls.empty() && (!timer || m_calls.begin()->first < timer->m_due);
    if (callFirst && m_calls.begin()->first.first <= limit) {
        auto call = m_calls.extract(m_calls.begin());
        m_now = call.key().first;
        call.mapped()();
        return true;
    }
    if (!callFirst && timer && timer->m_due.first <= limit) {
        m_now = timer->m_due.first;
        timer->fire();
        return true;
    }
    return false;
}

void ManualClock::advance(qint64 ms)
{
    const qint64 limit = m_now + ms;
    while (runNext(limit)) {
    }
    m_now = limit;
}

bool ManualClock::advanceUntil(const std::function<bool()> &done, qint64 ms)
{
    const qint64 limit = m_now + ms;
    while (!done()) {
        if (!runNext(limit)) {
            m_now = limit;
            return done();
        }
    }
    return true;
}

ManualTimer::ManualTimer(ManualClock *clock, QObject *parent) : ClockTimer(parent), m_clock(clock)
{
    m_clock->m_timers.append(this);
}

ManualTimer::~ManualTimer()
{
    if (m_clock)
        m_clock->m_timers.removeOne(this);
}

void ManualTimer::start(int intervalMs)
{
    m_interval = qMax(intervalMs, 0);
    m_due = {m_clock->m_now + m_interval, m_clock->nextOrder()};
    m_active = true;
}

void ManualTimer::fire()
{
    if (m_singleShot)
        m_active = false;
    else
        m_due = {m_due.first + qMax(m_interval, 1), m_clock->nextOrder()};
    emit timeout();
}
