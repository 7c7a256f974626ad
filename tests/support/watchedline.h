#pragma once

#include "core/serialtransport.h"

// The real serial line with an observer in front: it counts the bytes the program hands
// over, tells of each write, and knows whether reading is batched (the soak's checks, the
// benchmarks' timing).
class WatchedLine : public Transport
{
    Q_OBJECT
public:
    explicit WatchedLine(const PortMap &ports);

    // Bytes handed over since the count was last reset (a new device).
    qint64 handedOver() const { return m_handedOver; }
    void resetCount() { m_handedOver = 0; }
    bool isBatched() const { return m_batched; }

    int lastPort() const override { return m_line.lastPort(); }
    bool open(int port) override;
    void close() override { m_line.close(); }
    bool isOpen() const override { return m_line.isOpen(); }
    bool write(const QByteArray &bytes) override;
    qint64 pendingOutput() const override { return m_line.pendingOutput(); }
    qint64 systemQueue() override { return m_line.systemQueue(); }
    QByteArray take() override { return m_line.take(); }
    qint64 available() override { return m_line.available(); }
    void setBatched(bool batched) override;
    bool wasRemoved() const override { return m_line.wasRemoved(); }

signals:
    // The program handed bytes over.
    void wrote(const QByteArray &bytes);

private:
    SerialTransport m_line;
    qint64 m_handedOver = 0;
    bool m_batched = false;
};
