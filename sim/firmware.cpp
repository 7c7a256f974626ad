#include "firmware.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <utility>

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

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
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

} // namespace

struct Wording {
    const char *identification;
    std::string (*chipSelected)(Chip selected);
    std::string (*signatureOk)(const std::array<std::uint8_t, 2> &sig, Chip selected);
    std::string (*signatureWrong)(const std::array<std::uint8_t, 2> &got,
                                  const std::array<std::uint8_t, 2> &want, Chip selected);
    const char *blank;
    std::string (*notBlank)(unsigned address);
    const char *erased;
    const char *programmed;
    const char *locked;
    const char *read;
    const char *verified;
    std::string (*verifyFailed)(unsigned first, std::size_t differ);
    const char *notErased;
    const char *lockSet;
    std::string (*loaded)(std::size_t bytes);
    std::string (*filled)(std::uint8_t value);
    const char *cleared;
    std::string (*checksum)(std::uint16_t sum);
    // One dump line: 16 bytes from start.
    std::string (*dumpLine)(unsigned start, const std::uint8_t *bytes);
    const char *sramTestOk;
    const char *sramTestFailed;
    const char *ledTest;
    const char *buzzerTest;
    const char *vppLevel;
    const char *vppHigh;
    const char *vppLow;
    const char *firmwareVersion;
    const char *unknown;
};

namespace
{

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

bool parseTexts(const std::string &text, Texts &texts)
{
    if (text == "default")
        texts = Texts::Default;
    else if (text == "other")
        texts = Texts::Other;
    else
        return false;
    return true;
}

const char *chipName(Chip chip)
{
    switch (chip) {
    case Chip::AT89C2051:
        return "AT89C2051";
    case Chip::AT89C4051:
        return "AT89C4051";
    case Chip::AT89C1051U:
        return "AT89C1051U";
    case Chip::None:
        break;
    }
    return "none";
}

const char *chipShortName(Chip chip)
{
    switch (chip) {
    case Chip::AT89C2051:
        return "2051";
    case Chip::AT89C4051:
        return "4051";
    case Chip::AT89C1051U:
        return "1051U";
    case Chip::None:
        break;
    }
    return "none";
}

bool parseChip(const std::string &text, Chip &chip)
{
    std::string t;
    for (char c : text)
        t += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (t == "2051" || t == "AT89C2051")
        chip = Chip::AT89C2051;
    else if (t == "4051" || t == "AT89C4051")
        chip = Chip::AT89C4051;
    else if (t == "1051U" || t == "1051" || t == "AT89C1051U")
        chip = Chip::AT89C1051U;
    else if (t == "NONE")
        chip = Chip::None;
    else
        return false;
    return true;
}

std::size_t flashSize(Chip chip)
{
    switch (chip) {
    case Chip::AT89C2051:
        return 2048;
    case Chip::AT89C4051:
        return 4096;
    case Chip::AT89C1051U:
        return 1024;
    case Chip::None:
        break;
    }
    return 0;
}

std::array<std::uint8_t, 2> signatureOf(Chip chip)
{
    switch (chip) {
    case Chip::AT89C2051:
        return {0x1E, 0x21};
    case Chip::AT89C4051:
        return {0x1E, 0x41};
    case Chip::AT89C1051U:
        return {0x1E, 0x12};
    case Chip::None:
        break;
    }
    return {0xFE, 0xFE};
}

std::string decodeEscapes(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const char e = text[i + 1];
        if (e == 'r') {
            out += '\r';
            ++i;
        } else if (e == 'n') {
            out += '\n';
            ++i;
        } else if (e == '\\') {
            out += '\\';
            ++i;
        } else if (e == 'x' && i + 3 < text.size() && hexDigit(text[i + 2]) >= 0 &&
                   hexDigit(text[i + 3]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3]));
            i += 3;
        } else {
            out += c;
        }
    }
    return out;
}

std::uint16_t byteSum(const std::uint8_t *data, std::size_t size)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum += data[i];
    return static_cast<std::uint16_t>(sum & 0xFFFFu);
}

const char *Firmware::defaultIdentification()
{
    return kDefaultWords.identification;
}

const char *Firmware::otherIdentification()
{
    return kOtherWords.identification;
}

Firmware::Firmware() : m_words(&kDefaultWords), m_identification(defaultIdentification())
{
    m_sram.fill(0xFF);
    setSocket(Chip::AT89C2051);
}

void Firmware::setSocket(Chip chip)
{
    m_socket = chip;
    m_flash.assign(flashSize(chip), 0xFF);
    m_lock = 0;
}

void Firmware::setTexts(Texts texts)
{
    m_texts = texts;
    m_words = texts == Texts::Other ? &kOtherWords : &kDefaultWords;
    if (!m_customIdentification)
        m_identification = m_words->identification;
}

void Firmware::setIdentification(const std::string &reply)
{
    m_identification = reply;
    m_customIdentification = true;
}

bool Firmware::pressKey(const std::string &size)
{
    if (size != "2K" && size != "4K" && size != "1K")
        return false;
    // The same report in every wording: the program chooses the chip by it.
    m_out += "KEY_" + size + "\r\n";
    return true;
}

void Firmware::setShortReadback(std::size_t n)
{
    m_shortPending = true;
    m_shortCount = n;
    m_extraCount = 0;
}

void Firmware::setExtraReadback(std::size_t n)
{
    m_shortPending = false;
    m_extraCount = n;
}

bool Firmware::setFault(const std::string &name)
{
    if (name != "no-clear" && name != "none")
        return false;
    m_clearIgnored = name == "no-clear";
    return true;
}

void Firmware::receive(std::uint8_t byte, double nowMs)
{
    m_pending.push_back({byte, nowMs});
    advance(nowMs);
}

std::string Firmware::takeOutput(double nowMs)
{
    advance(nowMs);
    std::string out;
    out.swap(m_out);
    return out;
}

double Firmware::nextDue() const
{
    if (m_stages.empty())
        return std::numeric_limits<double>::infinity();
    return m_stageClock + m_stages.front().durationMs;
}

void Firmware::advance(double nowMs)
{
    for (;;) {
        if (!m_stages.empty()) {
            const double end = m_stageClock + m_stages.front().durationMs;
            if (end > nowMs)
                return;
            m_stageClock = end;
            Stage stage = std::move(m_stages.front());
            m_stages.pop_front();
            if (!stage.run())
                m_stages.clear();
            continue;
        }
        if (m_pending.empty())
            return;
        const Pending p = m_pending.front();
        m_pending.pop_front();
        // A byte that came in while the board was busy is handled when it became free.
        process(p.byte, std::max(p.atMs, m_stageClock));
    }
}

void Firmware::startStages(std::vector<Stage> stages, double atMs)
{
    m_stageClock = atMs;
    for (Stage &s : stages)
        m_stages.push_back(std::move(s));
}

void Firmware::process(std::uint8_t byte, double atMs)
{
    switch (m_parse) {
    case Parse::Command:
        command(byte, atMs);
        return;
    case Parse::LoadHi:
        m_loadLength = static_cast<std::size_t>(byte) << 8;
        m_parse = Parse::LoadLo;
        return;
    case Parse::LoadLo:
        m_loadLength |= byte;
        m_loadPos = 0;
        if (m_loadLength == 0) {
            finishLoad(atMs);
        } else {
            m_parse = Parse::LoadData;
        }
        return;
    case Parse::LoadData:
        if (m_loadPos < kSramSize)
            m_sram[m_loadPos] = byte;
        if (++m_loadPos == m_loadLength)
            finishLoad(atMs);
        return;
    case Parse::ReadbackSize:
        m_parse = Parse::Command;
        if (byte == '1')
            sendReadback(1024);
        else if (byte == '2')
            sendReadback(2048);
        else if (byte == '4')
            sendReadback(4096);
        else
            reply(m_words->unknown);
        return;
    case Parse::FillValue:
        m_parse = Parse::Command;
        m_sram.fill(byte);
        reply(m_words->filled(byte));
        return;
    case Parse::DumpHi:
        m_dumpHi = byte;
        m_parse = Parse::DumpLo;
        return;
    case Parse::DumpLo:
        m_parse = Parse::Command;
        sendDump((m_dumpHi << 8) | byte);
        return;
    case Parse::Test:
        m_parse = Parse::Command;
        runTest(byte);
        return;
    }
}

void Firmware::finishLoad(double atMs)
{
    m_parse = Parse::Command;
    reply(m_words->loaded(m_loadLength));
    if (m_loadThenProgram)
        startStages({signatureCheck(), eraseStage(), programStage(), verifyStage()}, atMs);
}

void Firmware::command(std::uint8_t byte, double atMs)
{
    switch (byte) {
    case 'i':
        reply(m_identification);
        return;
    case '!':
    case '@':
    case '#':
        m_selected = byte == '!'   ? Chip::AT89C2051
                     : byte == '@' ? Chip::AT89C4051
                                   : Chip::AT89C1051U;
        reply(m_words->chipSelected(m_selected));
        return;
    case 's':
        startStages({signatureCheck(), Stage{0.0,
                                             [this] {
                                                 const auto sig = signatureOf(m_selected);
                                                 reply(m_words->signatureOk(sig, m_selected));
                                                 return true;
                                             }}},
                    atMs);
        return;
    case 'B':
        startStages(
            {signatureCheck(),
             Stage{0.0,
                   [this] {
                       const auto it = std::find_if(m_flash.begin(), m_flash.end(),
                                                    [](std::uint8_t b) { return b != 0xFF; });
                       if (it == m_flash.end())
                           reply(m_words->blank);
                       else
                           reply(m_words->notBlank(static_cast<unsigned>(it - m_flash.begin())));
                       return true;
                   }}},
            atMs);
        return;
    case 'E':
        startStages({signatureCheck(), eraseStage()}, atMs);
        return;
    case 'P':
        startStages({signatureCheck(), programLockCheck(), programStage()}, atMs);
        return;
    case 'R':
        startStages({signatureCheck(), readLockCheck(),
                     Stage{0.0,
                           [this] {
                               std::copy(m_flash.begin(), m_flash.end(), m_sram.begin());
                               reply(m_words->read);
                               return true;
                           }}},
                    atMs);
        return;
    case 'V':
        startStages({signatureCheck(), readLockCheck(), verifyStage()}, atMs);
        return;
    case 'l':
        startStages({signatureCheck(), lockStage()}, atMs);
        return;
    case 'q':
        startStages({signatureCheck(), programLockCheck(), programStage(), readLockCheck(),
                     verifyStage(), lockStage()},
                    atMs);
        return;
    case 'L':
    case 'Q':
        m_loadThenProgram = byte == 'Q';
        m_parse = Parse::LoadHi;
        return;
    case 'S':
        m_parse = Parse::ReadbackSize;
        return;
    case 'F':
        m_parse = Parse::FillValue;
        return;
    case 'X':
        if (!m_clearIgnored)
            m_sram.fill(0xFF);
        reply(m_words->cleared);
        return;
    case 'c':
        reply(m_words->checksum(byteSum(m_sram.data(), chipSize())));
        return;
    case 'd':
        m_parse = Parse::DumpHi;
        return;
    case 't':
        m_parse = Parse::Test;
        return;
    default:
        reply(m_words->unknown);
        return;
    }
}

Firmware::Stage Firmware::signatureCheck()
{
    return {0.0, [this] {
                if (m_socket == m_selected)
                    return true;
                const auto got = signatureOf(m_socket);
                const auto want = signatureOf(m_selected);
                reply(m_words->signatureWrong(got, want, m_selected));
                return false;
            }};
}

Firmware::Stage Firmware::programLockCheck()
{
    return {0.0, [this] {
                if ((m_lock & kLockBit1) == 0)
                    return true;
                reply(m_words->locked);
                return false;
            }};
}

Firmware::Stage Firmware::readLockCheck()
{
    return {0.0, [this] {
                if ((m_lock & kLockBit2) == 0)
                    return true;
                reply(m_words->locked);
                return false;
            }};
}

Firmware::Stage Firmware::eraseStage()
{
    return {m_pacing ? kEraseMs : 0.0, [this] {
                std::fill(m_flash.begin(), m_flash.end(), 0xFF);
                m_lock = 0;
                reply(m_words->erased);
                return true;
            }};
}

Firmware::Stage Firmware::programStage()
{
    return {m_pacing ? kProgramMsPerByte * static_cast<double>(chipSize()) : 0.0, [this] {
                // Programming can only turn ones into zeros.
                for (std::size_t i = 0; i < m_flash.size(); ++i)
                    m_flash[i] &= m_sram[i];
                reply(m_words->programmed);
                return true;
            }};
}

Firmware::Stage Firmware::verifyStage()
{
    return {0.0, [this] {
                std::size_t first = 0;
                std::size_t differ = 0;
                bool unerased = false;
                for (std::size_t i = 0; i < m_flash.size(); ++i) {
                    if (m_flash[i] == m_sram[i])
                        continue;
                    if (differ++ == 0)
                        first = i;
                    // A bit still 0 in flash where the image wants 1: programmed over old data.
                    if ((~m_flash[i] & m_sram[i]) != 0)
                        unerased = true;
                }
                if (differ == 0) {
                    reply(m_words->verified);
                    return true;
                }
                reply(m_words->verifyFailed(static_cast<unsigned>(first), differ));
                if (unerased)
                    reply(m_words->notErased);
                return false;
            }};
}

Firmware::Stage Firmware::lockStage()
{
    return {0.0, [this] {
                m_lock = kLockBit1 | kLockBit2;
                reply(m_words->lockSet);
                return true;
            }};
}

void Firmware::sendReadback(std::size_t size)
{
    std::size_t n = size;
    if (m_shortPending)
        n = std::min(m_shortCount, size);
    else
        n = size + m_extraCount;
    m_shortPending = false;
    m_extraCount = 0;
    for (std::size_t i = 0; i < n; ++i)
        m_out += static_cast<char>(m_sram[i % kSramSize]);
}

void Firmware::sendDump(unsigned address)
{
    for (unsigned line = 0; line < 4; ++line) {
        const unsigned start = (address + line * 16) % kSramSize;
        std::uint8_t bytes[16];
        for (unsigned i = 0; i < 16; ++i)
            bytes[i] = m_sram[(start + i) % kSramSize];
        reply(m_words->dumpLine(start, bytes));
    }
}

bool Firmware::sramTest()
{
    bool ok = true;
    for (std::uint8_t &cell : m_sram) {
        const std::uint8_t keep = cell;
        for (std::uint8_t pattern : {std::uint8_t{0x55}, std::uint8_t{0xAA}}) {
            cell = pattern;
            if (cell != pattern)
                ok = false;
        }
        cell = keep;
    }
    return ok;
}

void Firmware::runTest(std::uint8_t which)
{
    switch (which) {
    case 'R':
        reply(sramTest() ? m_words->sramTestOk : m_words->sramTestFailed);
        return;
    case 'L':
        reply(m_words->ledTest);
        return;
    case 'b':
        reply(m_words->buzzerTest);
        return;
    case 'V':
        reply(m_words->vppLevel);
        return;
    case 'h':
        reply(m_words->vppHigh);
        return;
    case 'l':
        reply(m_words->vppLow);
        return;
    case 'f':
        reply(m_words->firmwareVersion);
        return;
    default:
        reply(m_words->unknown);
        return;
    }
}

} // namespace vantorsim
