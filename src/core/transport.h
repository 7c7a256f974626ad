#pragma once

#include "core/portprobe.h"

#include <QByteArray>
#include <QObject>

// The serial line to the programmer, as the session needs it. The real one is
// SerialTransport; tests use an in-process fake.
//
// Ports are numbered COM1, COM2, ... as the port map gives them. Nothing here shows a
// message; failures are results and signals.
class Transport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The highest port number that has a device (0 when none).
    virtual int lastPort() const = 0;
    // Opens port number n at 9600 baud, 8N1. False when it has no device, is missing or in
    // use, or a port is already open.
    virtual bool open(int port) = 0;
    // Why the last open() failed: one of NoDevice, PermissionDenied, Busy and OpenFailed.
    virtual PortProbe openFailure() const { return {}; }
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Hands bytes to the device. False when the port is closed, or when the device has gone:
    // the port is then closed at once, and removed() follows from the event loop.
    virtual bool write(const QByteArray &bytes) = 0;
    // Bytes handed over that the port still holds: not yet given to the system.
    virtual qint64 pendingOutput() const = 0;
    // Bytes the system holds for the line that have not left yet; -1 when the system cannot
    // tell. A device found gone here is a removal, as on a write.
    virtual qint64 systemQueue() = 0;

    // Everything received since the last take; empty when the port is closed.
    virtual QByteArray take() = 0;
    // How many received bytes wait to be taken.
    virtual qint64 available() = 0;
    // While batched, arriving bytes raise no received() signal: they wait until available()
    // or take() fetches them, so a long read-back wakes the program at its own pace instead
    // of once per byte. A removal may then be noticed only at the next fetch.
    virtual void setBatched(bool batched) = 0;

    // True when the last close was the device going away.
    virtual bool wasRemoved() const = 0;

signals:
    // Bytes arrived (not while batched).
    void received();
    // The port has given every byte handed over to the system (which may still hold them).
    void drained();
    // The device went away; the port is closed. Emitted from the event loop, never inside a
    // call of the transport: what found the removal has returned by then.
    void removed();
};
