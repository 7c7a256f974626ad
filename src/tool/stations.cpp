#include "stations.h"

#include "exitcode.h"

#include <QStringList>

namespace
{

QString serialOf(const QList<PortInfo> &available, const QString &device)
{
    for (const PortInfo &port : available) {
        if (sameDevice(port.device, device))
            return port.serialNumber;
    }
    return QString();
}

void addFound(const QList<PortInfo> &found, QList<StationPort> *stations)
{
    for (const PortInfo &port : found)
        stations->append({PortSource::One, port.device, port.serialNumber});
}

// The adapters --usb-serial and --usb name; false with *why for one that finds none.
bool findAdapters(const Options &options, const QList<PortInfo> &available,
                  QList<StationPort> *stations, QString *why)
{
    const QString hint = QStringLiteral(" (vantor-cli ports shows each adapter's)");
    for (const QString &serial : options.usbSerials) {
        const QList<PortInfo> found = portsWithSerial(available, serial);
        if (found.isEmpty()) {
            *why = QStringLiteral("--usb-serial %1: no USB adapter has this serial number")
                       .arg(serial) +
                   hint;
            return false;
        }
        addFound(found, stations);
    }
    if (!options.usb)
        return true;
    const QList<PortInfo> found = portsWithUsbId(available, *options.usb);
    if (found.isEmpty()) {
        *why = QStringLiteral("--usb %1: no USB adapter has these ids").arg(options.usb->text()) +
               hint;
        return false;
    }
    addFound(found, stations);
    return true;
}

// False with *why when two stations are one device, however named.
bool allApart(const QList<StationPort> &stations, QString *why)
{
    for (qsizetype i = 0; i < stations.size(); ++i) {
        for (qsizetype j = 0; j < i; ++j) {
            if (!sameDevice(stations.at(i).value, stations.at(j).value))
                continue;
            *why = stations.at(i).value == stations.at(j).value
                       ? QStringLiteral("%1 is named twice").arg(stations.at(i).value)
                       : QStringLiteral("%1 and %2 are the same device")
                             .arg(stations.at(j).value, stations.at(i).value);
            return false;
        }
    }
    return true;
}

} // namespace

int stationsFor(const Options &options, const QList<PortInfo> &available,
                QList<StationPort> *stations, QString *why)
{
    stations->clear();
    if (options.devices.isEmpty() && options.usbSerials.isEmpty() && !options.usb) {
        const bool one = options.ports == PortSource::One;
        stations->append({options.ports, options.portValue,
                          one ? serialOf(available, options.portValue) : QString()});
        return Success;
    }
    for (const QString &device : options.devices)
        stations->append({PortSource::One, device, serialOf(available, device)});
    if (!findAdapters(options, available, stations, why))
        return NoProgrammer;
    return allApart(*stations, why) ? Success : Usage;
}

bool chooseStations(const Options &options, const QList<PortInfo> &available,
                    QList<StationPort> *stations, QString *why)
{
    return stationsFor(options, available, stations, why) == Success;
}

int chooseOneStation(const Options &options, const QList<PortInfo> &available, StationPort *station,
                     QString *why)
{
    QList<StationPort> stations;
    if (const int rc = stationsFor(options, available, &stations, why); rc != Success)
        return rc;
    if (stations.size() > 1) {
        QStringList devices;
        for (const StationPort &s : stations)
            devices << s.value;
        *why = QStringLiteral("%1 programmers named (%2): only write --repeat drives several at "
                              "once; name one with --usb-serial or --port")
                   .arg(stations.size())
                   .arg(devices.join(QStringLiteral(", ")));
        return Usage;
    }
    *station = stations.first();
    return Success;
}
