#include "imagesender.h"

#include "core/bufferlimits.h"
#include "core/clock.h"
#include "core/linetiming.h"
#include "core/transport.h"

ImageSender::ImageSender(Transport &transport, Clock &clock, QObject *parent)
    : QObject(parent), m_transport(transport), m_limit(clock.createTimer(this))
{
    m_limit->setSingleShot(true);
    connect(m_limit, &ClockTimer::timeout, this, &ImageSender::onStalled);
    connect(&m_transport, &Transport::drained, this, &ImageSender::onDrained);
    connect(&m_transport, &Transport::removed, this, &ImageSender::onRemoved);
}

void ImageSender::send(const QByteArray &image)
{
    const int size = static_cast<int>(image.size());
    QByteArray framed;
    framed.reserve(BufferLimits::LengthBytes + size);
    framed.append(static_cast<char>(size / 256));
    framed.append(static_cast<char>(size % 256));
    framed.append(image);
    m_sending = true;
    const bool written = m_transport.write(framed);
    if (!m_sending)
        return; // the write already told how it ended (drained or removed)
    if (!written) {
        finish(m_transport.wasRemoved() ? SendResult::Removed : SendResult::NotConnected);
        return;
    }
    if (m_transport.pendingOutput() == 0) {
        finish(SendResult::Sent);
        return;
    }
    m_limit->start(LineTiming::lineMs(static_cast<int>(framed.size())) + LineTiming::DrainMarginMs);
}

void ImageSender::abort()
{
    m_limit->stop();
    m_sending = false;
}

void ImageSender::onDrained()
{
    if (m_sending && m_transport.isOpen() && m_transport.pendingOutput() == 0)
        finish(SendResult::Sent);
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
