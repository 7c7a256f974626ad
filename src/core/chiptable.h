#pragma once

#include <QByteArray>
#include <QString>

#include <array>

// The three chips the programmer takes, in the order of the window's options.
struct Chip {
    const char *caption;   // "AT89C2051"
    const char *name;      // "2051", as chip.log remembers it
    char command;          // '!', told to the programmer
    const char *keyReport; // "KEY_2K", reported by the programmer for this size
    int flashSize;         // bytes of flash
};

namespace ChipTable
{

constexpr int Count = 3;
const std::array<Chip, Count> &chips();
const Chip &chip(int index);

// The chip whose name is exactly name; -1 for none.
int byName(const QString &name);
// After the port search: the chip a remembered name stands for; an empty name means the
// AT89C2051; -1 for a name that is none of the three.
int forRemembered(const QString &name);
// The chip whose key report the received bytes hold, "KEY_2K" before "KEY_4K" before
// "KEY_1K", case-sensitive, anywhere; -1 for none.
int keyReportIn(const QByteArray &received);

// The read-back of a block of one chip's flash size: "S1", "S2" or "S4" for 1024, 2048 or
// 4096 bytes; empty for any other size.
QByteArray readBackCommand(int bytes);

} // namespace ChipTable
