#include "receivepoller.h"

#include "core/chiptable.h"
#include "core/clock.h"
#include "core/linetiming.h"
#include "core/transport.h"

ReceivePoller::ReceivePoller(Transport &transport, Clock &clock, QObject *parent)
    : QObject(parent), m_transport(transport), m_timer(clock.createTimer(this))
{
    connect(m_timer, &ClockTimer::timeout, this, &ReceivePoller::tick);
}

void ReceivePoller::start()
{
    m_timer->start(LineTiming::PollMs);
}

void ReceivePoller::stop()
{
    m_timer->stop();
}

bool ReceivePoller::isRunning() const
{
    return m_timer->isActive();
}

void ReceivePoller::clear()
{
    m_text.clear();
    publish();
}

void ReceivePoller::tick()
{
    if (!m_transport.isOpen()) {
        stop();
        return;
    }
    const QByteArray bytes = m_transport.take();
    if (!bytes.isEmpty()) {
        m_text += QString::fromLatin1(bytes);
        emit arrived();
    }
    const int chip = ChipTable::keyReportIn(m_text);
    if (chip >= 0)
        emit keyReport(chip);
    publish();
}

void ReceivePoller::publish()
{
    if (m_text == m_shown)
        return;
    m_shown = m_text;
    emit changed(m_text);
}
