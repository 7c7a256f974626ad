#pragma once

#include "core/portmap.h"
#include "core/transport.h"

#include <QSerialPort>
#include <QString>

// The serial line over QSerialPort.
//
// Every write is flushed and checked. A device that has vanished is found on a write that
// fails, whether or not the port reports an error, or when it reports one; on Unix a removal is
// confirmed first (poll() reports HUP, ERR or NVAL, or the device node is gone), because
// QSerialPort reports a full or busy line (EAGAIN) with the same error as a removal. Such a
// transient error is cleared and reading goes on (Qt stops its read notifications after one).
// Elsewhere a failed flush or a resource error is a removal. A confirmed removal closes the port at
// once and emits removed() once, from the event loop: never inside the call that found it.
//
// The system's output queue is asked with TIOCOUTQ on Linux and ClearCommError on Windows;
// elsewhere it cannot be told. A pseudo-terminal reports it empty.
class SerialTransport : public Transport
{
    Q_OBJECT
public:
    explicit SerialTransport(const PortMap &ports, QObject *parent = nullptr);
    ~SerialTransport() override;

    int lastPort() const override;
    bool open(int port) override;
    PortProbe openFailure() const override { return m_openFailure; }
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }

    bool write(const QByteArray &bytes) override;
    qint64 pendingOutput() const override;
    qint64 systemQueue() override;

    QByteArray take() override;
    qint64 available() override;
    void setBatched(bool batched) override;

    bool wasRemoved() const override { return m_removed; }

protected:
    // Hands what the port holds to the system; a line whose flush fails stands in for it in
    // tests.
    virtual bool flushPort();

private:
    void onReadyRead();
    void onBytesWritten();
    void onError(QSerialPort::SerialPortError error);
    bool applySettings();
    bool openFailed();
    // Reads what the system holds into the port's buffer without waiting.
    void fetchBatched();
    bool confirmGone();
    void closeRemoved();

    QSerialPort m_port;
    PortMap m_ports;
    QString m_device;
    int m_number = 0; // the port's number, as the log names it
    PortProbe m_openFailure;
    bool m_removed = false;
    bool m_batched = false;
};
