#pragma once

#include <QString>
#include <QStringList>

// Maps the port numbers COM1 to COM11 to devices of this system.
//
// By default: the serial ports the system lists, USB adapters (ttyUSB*, ttyACM*) first,
// then the rest, each group in name order; COM1 is the first. On Windows COMn is COMn.
// A list given on the command line (--ports) replaces the map: COMn is its n-th entry,
// an empty entry leaves that number without a device, numbers past the list have none.
class PortMap
{
public:
    static PortMap systemDefault();
    static PortMap fromList(const QString &commaSeparated);
    static PortMap fromDevices(const QStringList &devices);

    // Device path of COMn, or an empty string when COMn has no device.
    QString device(int comNumber) const;
    const QStringList &devices() const { return m_devices; }

    // Orders Linux device names: USB adapters first, then the rest, each group by name.
    static QStringList orderDevices(QStringList names);

private:
    QStringList m_devices;
};
