#include "receivepoller.h"

#include "core/chiptable.h"
#include "core/clock.h"
#include "core/linetiming.h"
#include "core/receivedtext.h"
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
    m_received.clear();
    m_held.clear();
    m_text.clear();
    emit cleared();
}

void ReceivePoller::tick()
{
    if (!m_transport.isOpen()) {
        stop();
        return;
    }
    const qsizetype before = m_text.size();
    const QByteArray bytes = m_transport.take();
    const QByteArray shown = append(bytes);
    if (!bytes.isEmpty())
        emit arrived();
    const int chip = ChipTable::keyReportIn(m_received);
    if (chip >= 0)
        emit keyReport(chip); // which may clear the text
    if (m_text.size() > before)
        emit appended(shown);
    emit polled();
}

QByteArray ReceivePoller::append(const QByteArray &bytes)
{
    QByteArray shown = m_held + bytes;
    if (!bytes.isEmpty()) {
        m_received += bytes;
        m_text += ReceivedText::decode(shown, &m_held);
        shown.chop(m_held.size());
    } else if (!m_held.isEmpty()) {
        m_text += ReceivedText::decode(shown); // no more came: shown byte by byte
        m_held.clear();
    }
    return shown;
}
