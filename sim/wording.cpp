// The reply texts of the default and the other wording.

#include "wording.h"

#include <cstdio>

namespace vantorsim
{

namespace
{

// value in digits hexadecimal digits, upper- or lower-case.
std::string hex(unsigned value, int digits, bool lower = false)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, lower ? "%0*x" : "%0*X", digits,
                  value & ((1u << (4 * digits)) - 1u));
    return buf;
}

std::string sigText(const std::array<std::uint8_t, 2> &sig, const char *between)
{
    return hex(sig[0], 2) + between + hex(sig[1], 2);
}

// "89C2051" for the AT89C2051, as the other wording names the chips.
std::string partNumber(Chip chip)
{
    return std::string(chipName(chip)).substr(2);
}

const Wording kDefaultWords = {
    "Vantor USB Programmer V2.10\r\n",
    [](Chip selected) { return std::string("Chip ") + chipName(selected) + "\r\n"; },
    [](const std::array<std::uint8_t, 2> &sig, Chip selected) {
        return "Signature " + sigText(sig, " ") + " " + chipName(selected) + " OK\r\n";
    },
    [](const std::array<std::uint8_t, 2> &got, const std::array<std::uint8_t, 2> &want,
       Chip selected) {
        return "Error: signature " + sigText(got, " ") + ", expected " + sigText(want, " ") + " (" +
               chipName(selected) + ")\r\n";
    },
    "Blank\r\n",
    [](unsigned address) { return "Not blank at " + hex(address, 4) + "\r\n"; },
    "Erase OK\r\n",
    "Program OK\r\n",
    "Error: locked\r\n",
    "Read OK\r\n",
    "Verify OK\r\n",
    [](unsigned first, std::size_t differ) {
        return "Verify failed at " + hex(first, 4) + ", " + std::to_string(differ) +
               " bytes differ\r\n";
    },
    "Flash not erased?\r\n",
    "Lock bits set\r\n",
    [](std::size_t bytes) { return "Load OK, " + std::to_string(bytes) + " bytes\r\n"; },
    [](std::uint8_t value) { return "Fill " + hex(value, 2) + "\r\n"; },
    "SRAM cleared\r\n",
    [](std::uint16_t sum) { return "Checksum " + hex(sum, 4) + "\r\n"; },
    [](unsigned start, const std::uint8_t *bytes) {
        std::string text = hex(start, 4) + ":";
        for (unsigned i = 0; i < 16; ++i)
            text += " " + hex(bytes[i], 2);
        return text + "\r\n";
    },
    "SRAM test OK, 8192 bytes\r\n",
    "SRAM test failed\r\n",
    "LED test done\r\n",
    "Buzzer test done\r\n",
    "Vpp 12.0 V\r\n",
    "Vpp high\r\n",
    "Vpp low\r\n",
    "Firmware V2.10\r\n",
    "?\r\n",
};

// A board whose firmware speaks German, ends lines with LF (its tests with CR alone), and
// says nothing to the commands that only set something up.
const Wording kOtherWords = {
    "Brenner USB-Vantor, Stand 2.10\n",
    [](Chip) { return std::string(); },
    [](const std::array<std::uint8_t, 2> &sig, Chip selected) {
        return "Kennung " + sigText(sig, "") + ", " + partNumber(selected) + " erkannt\n";
    },
    [](const std::array<std::uint8_t, 2> &got, const std::array<std::uint8_t, 2> &want,
       Chip selected) {
        return "Kennung " + sigText(got, "") + " statt " + sigText(want, "") + " (" +
               partNumber(selected) + ")\n";
    },
    "leer\n",
    [](unsigned address) { return "belegt ab " + hex(address, 4) + "\n"; },
    "geloescht\n",
    "programmiert\n",
    "gesperrt\n",
    "ausgelesen\n",
    "gleich\n",
    [](unsigned first, std::size_t differ) {
        return "ungleich ab " + hex(first, 4) + ", " + std::to_string(differ) + " Bytes\n";
    },
    "vorher nicht geloescht\n",
    "Sperrbits gesetzt\n",
    [](std::size_t) { return std::string(); },
    [](std::uint8_t) { return std::string(); },
    "",
    [](std::uint16_t sum) { return "Summe " + hex(sum, 4, true) + "\n"; },
    [](unsigned start, const std::uint8_t *bytes) {
        std::string text = hex(start, 4, true) + ">";
        for (unsigned i = 0; i < 16; ++i)
            text += " " + hex(bytes[i], 2, true);
        return text + "\n";
    },
    "Speicher gut, 8192 Zellen\r",
    "Speicher defekt\r",
    "LED an und aus\r",
    "Summer gepiept\r",
    "Programmierspannung 12,0 V\r",
    "Vpp ein\r",
    "Vpp aus\r",
    "Stand 2.10\r",
    "Befehl unbekannt\n\r",
};

} // namespace

const Wording &wordingOf(Texts texts)
{
    return texts == Texts::Other ? kOtherWords : kDefaultWords;
}

} // namespace vantorsim
