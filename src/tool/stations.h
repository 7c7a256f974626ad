#pragma once

#include "options.h"

#include "core/portchoice.h"
#include "core/portinfo.h"

#include <QList>
#include <QString>

// One programmer of a run, and where it is looked for.
struct StationPort {
    PortSource source = PortSource::System; // core/portchoice.h
    QString value;     // the device (One) or the list (List); empty for System and Simulate
    QString usbSerial; // the adapter's USB serial number, when known
};

// The programmers the options name: one for each --port, for each entry of --ports
// with --all, for each adapter --usb-serial or --usb finds; otherwise one, as
// options.ports and options.portValue say. False with *why (English, naming the cause)
// when a --usb-serial or --usb finds no adapter, or the options name the same device twice.
// available: the system's ports (systemPorts() of core/portinfo.h).
bool chooseStations(const Options &options, const QList<PortInfo> &available,
                    QList<StationPort> *stations, QString *why);

// chooseStations as an exit code: Success; NoProgrammer when an adapter is not found; Usage
// when a device is named twice (names that differ but lead to one device too).
int stationsFor(const Options &options, const QList<PortInfo> &available,
                QList<StationPort> *stations, QString *why);

// The one programmer of a command that drives one, as stationsFor; Usage when --usb finds
// several adapters.
int chooseOneStation(const Options &options, const QList<PortInfo> &available, StationPort *station,
                     QString *why);
