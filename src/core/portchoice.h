#pragma once

#include "core/portmap.h"

#include <QString>

class SimulatedProgrammer;

// Where the programmer is looked for, as the window's and the tool's command lines say.
enum class PortSource {
    System,   // the system's serial ports as COM1 to COM11
    One,      // one device as COM1
    List,     // the devices of COM1, COM2, ..., comma-separated
    Simulate, // the emulator vantor-sim, started beside the program, as COM1
};

// The ports of source; value is the device (One) or the list (List). For Simulate the
// vantor-sim in the running program's folder is started in emulator: false, with *error,
// when it cannot be.
bool choosePorts(PortSource source, const QString &value, SimulatedProgrammer &emulator,
                 PortMap *ports, QString *error);
