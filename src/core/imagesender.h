#pragma once

#include "core/session.h"

#include <QByteArray>
#include <QObject>

class Clock;
class ClockTimer;
class Transport;

// Hands the length and the bytes of an image (after its command letter) to the port in one
// write, then waits until the device has taken every byte: only then is the image sent. A
// device that stops taking bytes for longer than their line time and a margin is given up:
// the port is closed.
class ImageSender : public QObject
{
    Q_OBJECT
public:
    ImageSender(Transport &transport, Clock &clock, QObject *parent = nullptr);

    // The big-endian length and the image (at most 4999 bytes).
    void send(const QByteArray &image);
    void abort();

signals:
    void finished(SendResult result);

private:
    void onDrained();
    void onRemoved();
    void onStalled();
    void finish(SendResult result);

    Transport &m_transport;
    ClockTimer *m_limit;
    bool m_sending = false;
};
