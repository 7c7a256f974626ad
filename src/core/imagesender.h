#pragma once

#include "core/session.h"

#include <QByteArray>
#include <QObject>

class Clock;
class ClockTimer;
class Transport;

// Hands the length and the bytes of an image (after its command letter) to the port in one
// write, then follows them on the line's clock. The system takes a whole image at once and
// sends it over seconds, so the image is sent only once both hold: its bytes and the letter
// can have left at 9600 baud since they were handed over, and neither the port nor the
// system (where it can tell) holds any of them. A removal before then is a removal. A
// device that stops taking bytes for longer than their line time and a margin is given up:
// the port is closed.
class ImageSender : public QObject
{
    Q_OBJECT
public:
    ImageSender(Transport &transport, Clock &clock, QObject *parent = nullptr);

    // The big-endian length and the image (at most 4999 bytes); its letter was handed over
    // just before.
    void send(const QByteArray &image);
    void abort();

signals:
    // The image bytes that can have left, every 100 ms; all of them just before Sent.
    void progress(int done, int total);
    void finished(SendResult result);

private:
    // Bytes of the transfer that the port or the system still holds.
    qint64 held();
    void check();
    void onTick();
    void onRemoved();
    void onStalled();
    void finish(SendResult result);

    Transport &m_transport;
    Clock &m_clock;
    ClockTimer *m_check;
    ClockTimer *m_tick;
    ClockTimer *m_limit;
    qint64 m_handedAt = 0;
    qint64 m_dueAt = 0; // when the last byte can have left
    int m_bytes = 0;    // the letter, the length and the image
    int m_size = 0;
    bool m_sending = false;
};
