#pragma once

#include "core/bufferlimits.h"

#include <QByteArray>
#include <QObject>

#include <array>

class Clock;
class ClockTimer;
class Transport;

// Sends queued fill and dump requests one byte per 3 ms tick from a buffer of 5001 bytes.
// With the port closed the bytes are skipped and nothing is sent. A new request replaces
// one still queued and starts again from its first byte.
class BytePump : public QObject
{
    Q_OBJECT
public:
    BytePump(Transport &transport, Clock &clock, QObject *parent = nullptr);

    // Queues bytes (at most the buffer's 5001) and starts the pump.
    void queue(const QByteArray &bytes);
    void stop();
    // True while queued bytes wait to be sent.
    bool isRunning() const;

signals:
    // The last queued byte went out (or was skipped on a closed port).
    void sent(bool toDevice);
    // A write failed: the device is gone. The pump has stopped.
    void failed();

private:
    void tick();

    Transport &m_transport;
    ClockTimer *m_timer;
    std::array<char, BufferLimits::TxBufferSize> m_buffer{};
    int m_count = 0;
    int m_index = 0;
};
