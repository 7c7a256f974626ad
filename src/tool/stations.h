#pragma once

#include "core/portchoice.h"

#include <QString>

// One programmer of a run, and where it is looked for.
struct StationPort {
    PortSource source = PortSource::System; // core/portchoice.h
    QString value;     // the device (One) or the list (List); empty for System and Simulate
    QString usbSerial; // the adapter's USB serial number, when known
};
