#include "clock.h"

#include <QElapsedTimer>
#include <QTimer>

namespace
{

class SystemTimer : public ClockTimer
{
public:
    explicit SystemTimer(QObject *parent) : ClockTimer(parent)
    {
        connect(&m_timer, &QTimer::timeout, this, &ClockTimer::timeout);
    }

    void start(int intervalMs) override
    {
        // The byte pump's 3 ms would be stretched to whole coarse-timer slots otherwise.
        m_timer.setTimerType(m_precise || intervalMs < 20 ? Qt::PreciseTimer : Qt::CoarseTimer);
        m_timer.start(intervalMs);
    }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }
    void setSingleShot(bool singleShot) override { m_timer.setSingleShot(singleShot); }
    void setPrecise(bool precise) override { m_precise = precise; }

private:
    QTimer m_timer;
    bool m_precise = false;
};

class SystemClock : public Clock
{
public:
    SystemClock() { m_elapsed.start(); }
    qint64 now() const override { return m_elapsed.elapsed(); }
    ClockTimer *createTimer(QObject *parent) override { return new SystemTimer(parent); }

private:
    QElapsedTimer m_elapsed;
};

} // namespace

Clock &Clock::system()
{
    static SystemClock clock;
    return clock;
}
