#include "imagesender.h"

#include "core/bufferlimits.h"
#include "core/clock.h"
#include "core/linetiming.h"
#include "core/transport.h"

namespace
{

// The command letter and the two length bytes go before the image.
constexpr int HeaderBytes = 1 + BufferLimits::LengthBytes;

} // namespace

ImageSender::ImageSender(Transport &transport, Clock &clock, QObject *parent)
    : QObject(parent), m_transport(transport), m_clock(clock), m_check(clock.createTimer(this)),
      m_tick(clock.createTimer(this)), m_limit(clock.createTimer(this))
{
    m_check->setSingleShot(true);
    m_limit->setSingleShot(true);
    connect(m_check, &ClockTimer::timeout, this, &ImageSender::check);
    connect(m_tick, &ClockTimer::timeout, this, &ImageSender::onTick);
    connect(m_limit, &ClockTimer::timeout, this, &ImageSender::onStalled);
    connect(&m_transport, &Transport::drained, this, [this] {
        if (m_sending && m_clock.now() >= m_dueAt)
            check(); // the line time has passed: only the port's bytes were missing
    });
    connect(&m_transport, &Transport::removed, this, &ImageSender::onRemoved);
}

void ImageSender::send(const QByteArray &image)
{
    m_size = static_cast<int>(image.size());
    m_bytes = HeaderBytes + m_size;
    m_handedAt = m_clock.now();
    QByteArray framed;
    framed.reserve(BufferLimits::LengthBytes + m_size);
    framed.append(static_cast<char>(m_size / 256));
    framed.append(static_cast<char>(m_size % 256));
    framed.append(image);
    if (!m_transport.write(framed)) {
        finish(m_transport.wasRemoved() ? SendResult::Removed : SendResult::NotConnected);
        return;
    }
    m_sending = true;
    const int lineMs = LineTiming::lineMs(m_bytes);
    m_dueAt = m_handedAt + lineMs;
    m_check->start(lineMs);
    m_tick->start(LineTiming::ProgressMs);
    m_limit->start(lineMs + LineTiming::DrainMarginMs);
}

void ImageSender::abort()
{
    m_check->stop();
    m_tick->stop();
    m_limit->stop();
    m_sending = false;
}

qint64 ImageSender::held()
{
    const qint64 system = m_transport.systemQueue(); // may find the device gone: closed
    return m_transport.pendingOutput() + qMax<qint64>(system, 0);
}

void ImageSender::check()
{
    const qint64 early = m_dueAt - m_clock.now();
    if (early > 0) { // a coarse timer may tick up to 5 % early
        m_check->start(static_cast<int>(early));
        return;
    }
    const qint64 left = held();
    if (!m_transport.isOpen()) {
        finish(m_transport.wasRemoved() ? SendResult::Removed : SendResult::NotConnected);
        return;
    }
    if (left == 0) {
        emit progress(m_size, m_size);
        finish(SendResult::Sent);
        return;
    }
    // Look again when what is left can have gone, at least once a tick.
    m_check->start(qBound(1, LineTiming::lineMs(static_cast<int>(left)), LineTiming::ProgressMs));
}

void ImageSender::onTick()
{
    const qint64 left = held();
    if (!m_transport.isOpen())
        return; // the check that follows, or removed(), tells how it ended
    const qint64 carried = LineTiming::bytesInMs(m_clock.now() - m_handedAt);
    const qint64 out = qMin(carried, m_bytes - left) - HeaderBytes;
    // All of it only once sent.
    emit progress(static_cast<int>(qMax<qint64>(0, qMin<qint64>(out, m_size - 1))), m_size);
}

void ImageSender::onRemoved()
{
    if (m_sending)
        finish(SendResult::Removed);
}

void ImageSender::onStalled()
{
    if (!m_sending)
        return;
    m_transport.close(); // the device stopped taking bytes: it has not got the image
    finish(SendResult::NotConnected);
}

void ImageSender::finish(SendResult result)
{
    abort();
    emit finished(result);
}
