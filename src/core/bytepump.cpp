#include "bytepump.h"

#include "core/clock.h"
#include "core/linetiming.h"
#include "core/transport.h"

BytePump::BytePump(Transport &transport, Clock &clock, QObject *parent)
    : QObject(parent), m_transport(transport), m_timer(clock.createTimer(this))
{
    connect(m_timer, &ClockTimer::timeout, this, &BytePump::tick);
}

void BytePump::queue(const QByteArray &bytes)
{
    const int n = static_cast<int>(qMin<qsizetype>(bytes.size(), BufferLimits::TxBufferSize));
    std::copy(bytes.constBegin(), bytes.constBegin() + n, m_buffer.begin());
    m_count = n;
    m_index = 0;
    if (n > 0)
        m_timer->start(LineTiming::PumpMs);
}

void BytePump::stop()
{
    m_timer->stop();
    m_count = m_index = 0;
}

bool BytePump::isRunning() const
{
    return m_timer->isActive() && m_index < m_count;
}

void BytePump::tick()
{
    if (m_index >= m_count)
        return;
    const bool open = m_transport.isOpen();
    if (open && !m_transport.write(QByteArray(1, m_buffer.at(static_cast<size_t>(m_index))))) {
        stop();
        emit failed();
        return;
    }
    ++m_index;
    if (m_index >= m_count) {
        m_timer->stop();
        emit sent(open);
    }
}
