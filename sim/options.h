#pragma once

// The emulator's command line.

#include "firmware.h"

#include <string>
#include <vector>

namespace vantorsim
{

struct Options {
    bool pace = false;
    bool silent = false;
    Chip chip = Chip::AT89C2051;
    Texts texts = Texts::Default;
    bool customIdentification = false;
    std::string identification;
    const char *logPath = nullptr;
    // Firmware faults from the start, as the control channel's "fault NAME" sets them.
    std::vector<std::string> faults;
    // A USB adapter's latency: replies reach the program in chunks this often (0: at once).
    unsigned long latencyMs = 0;
};

// Reads the command line into options. -1 to go on, otherwise the exit code (after --help,
// --version or a bad argument, which have been answered).
int parseOptions(int argc, char **argv, Options &options);

// A decimal or 0x-prefixed hexadecimal number without a sign.
bool parseNumber(const std::string &text, unsigned long &value);

} // namespace vantorsim
