#include "manualclock.h"

// A timer's next tick is one of its clock's calls.
class ManualTimer : public ClockTimer
{
public:
    ManualTimer(ManualClock *clock, QObject *parent) : ClockTimer(parent), m_clock(clock) {}
    ~ManualTimer() override { stop(); }
    void start(int intervalMs) override
    {
        m_interval = qMax(intervalMs, 0);
        tickAt(m_clock->m_now + m_interval);
    }
    void stop() override
    {
        if (m_active)
            m_clock->m_calls.erase(m_due);
        m_active = false;
    }
    bool isActive() const override { return m_active; }
    void setSingleShot(bool singleShot) override { m_singleShot = singleShot; }

private:
    void tickAt(qint64 at)
    {
        stop();
        m_due = m_clock->schedule(at, [this] {
            m_active = false; // this tick has been taken
            if (!m_singleShot)
                tickAt(m_due.first + qMax(m_interval, 1));
            emit timeout();
        });
        m_active = true;
    }

    ManualClock *m_clock;
    ManualClock::Key m_due;
    int m_interval = 0;
    bool m_active = false;
    bool m_singleShot = false;
};

ClockTimer *ManualClock::createTimer(QObject *parent)
{
    return new ManualTimer(this, parent);
}

bool ManualClock::advanceUntil(const std::function<bool()> &done, qint64 ms)
{
    const qint64 limit = m_now + ms;
    while (!done()) {
        if (m_calls.empty() || m_calls.begin()->first.first > limit) {
            m_now = limit;
            return done();
        }
        auto call = m_calls.extract(m_calls.begin());
        m_now = call.key().first;
        call.mapped()();
    }
    return true;
}
