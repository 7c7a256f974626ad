#include "vbtimer.h"

VbTimer::VbTimer(const QString &name, int interval, QObject *parent)
    : QObject(parent), m_interval(interval)
{
    setObjectName(name);
    m_timer.setSingleShot(false);
    connect(&m_timer, &QTimer::timeout, this, &VbTimer::Timer);
}

void VbTimer::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    rearm();
}

void VbTimer::setInterval(int ms)
{
    m_interval = ms < 0 ? 0 : ms;
    rearm();
}

void VbTimer::rearm()
{
    m_timer.stop();
    if (!m_enabled || m_interval <= 0)
        return;
    m_timer.setTimerType(m_interval < 20 ? Qt::PreciseTimer : Qt::CoarseTimer);
    m_timer.start(m_interval);
}
