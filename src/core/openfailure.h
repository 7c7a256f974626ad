#pragma once

#include "core/portprobe.h"

#include <QSerialPort>
#include <QString>

// Why a serial device could not be opened, as far as the system tells.
namespace OpenFailure
{

// What can be seen of a device that could not be opened.
struct Device {
    bool exists = true;
    bool permitted = true; // this process may read and write it
    QString program;       // the program holding it, where the system tells
    qint64 pid = 0;
};

// Looks at the device that failed to open with error: whether it exists and may be opened
// by this process and, when QSerialPort found it in use, which program holds it (a lock
// file in the system's lock folders, else a process with the device open). Best effort:
// what cannot be seen is left out.
Device look(const QString &device, QSerialPort::SerialPortError error);

// Why the open failed, from QSerialPort's error and what look() saw. QSerialPort reports a
// device locked or held exclusively by another program and one this user may not open
// alike (PermissionError); the device's permissions tell the two apart.
PortProbe classify(QSerialPort::SerialPortError error, const QString &systemError,
                   const Device &device);

} // namespace OpenFailure
