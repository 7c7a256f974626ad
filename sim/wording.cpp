// The reply texts of the default and the other wording.

#include "wording.h"

#include <cstdio>

namespace vantorsim
{

namespace
{

std::string hex2(unsigned value)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", value & 0xFFu);
    return buf;
}

std::string hex4(unsigned value)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", value & 0xFFFFu);
    return buf;
}

std::string hex2Lower(unsigned value)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02x", value & 0xFFu);
    return buf;
}

std::string hex4Lower(unsigned value)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", value & 0xFFFFu);
    return buf;
}

std::string sigText(const std::array<std::uint8_t, 2> &sig, const char *between)
{
    return hex2(sig[0]) + between + hex2(sig[1]);
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
    [](unsigned address) { return "Not blank at " + hex4(address) + "\r\n"; },
    "Erase OK\r\n",
    "Program OK\r\n",
    "Error: locked\r\n",
    "Read OK\r\n",
    "Verify OK\r\n",
    [](unsigned first, std::size_t differ) {
        return "Verify failed at " + hex4(first) + ", " + std::to_string(differ) +
               " bytes differ\r\n";
    },
    "Flash not erased?\r\n",
    "Lock bits set\r\n",
    [](std::size_t bytes) { return "Load OK, " + std::to_string(bytes) + " bytes\r\n"; },
    [](std::uint8_t value) { return "Fill " + hex2(value) + "\r\n"; },
    "SRAM cleared\r\n",
    [](std::uint16_t sum) { return "Checksum " + hex4(sum) + "\r\n"; },
    [](unsigned start, const std::uint8_t *bytes) {
        std::string text = hex4(start) + ":";
        for (unsigned i = 0; i < 16; ++i)
            text += " " + hex2(bytes[i]);
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
    [](unsigned address) { return "belegt ab " + hex4(address) + "\n"; },
    "geloescht\n",
    "programmiert\n",
    "gesperrt\n",
    "ausgelesen\n",
    "gleich\n",
    [](unsigned first, std::size_t differ) {
        return "ungleich ab " + hex4(first) + ", " + std::to_string(differ) + " Bytes\n";
    },
    "vorher nicht geloescht\n",
    "Sperrbits gesetzt\n",
    [](std::size_t) { return std::string(); },
    [](std::uint8_t) { return std::string(); },
    "",
    [](std::uint16_t sum) { return "Summe " + hex4Lower(sum) + "\n"; },
    [](unsigned start, const std::uint8_t *bytes) {
        std::string text = hex4Lower(start) + ">";
        for (unsigned i = 0; i < 16; ++i)
            text += " " + hex2Lower(bytes[i]);
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
