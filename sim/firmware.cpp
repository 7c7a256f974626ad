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

} // namespace

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
    return "Vantor USB Programmer V2.10\r\n";
}

Firmware::Firmware() : m_identification(defaultIdentification())
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
            reply("?\r\n");
        return;
    case Parse::FillValue:
        m_parse = Parse::Command;
        m_sram.fill(byte);
        reply("Fill " + hex2(byte) + "\r\n");
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
    reply("Load OK, " + std::to_string(m_loadLength) + " bytes\r\n");
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
        reply(std::string("Chip ") + chipName(m_selected) + "\r\n");
        return;
    case 's':
        startStages({signatureCheck(), Stage{0.0,
                                             [this] {
                                                 const auto sig = signatureOf(m_selected);
                                                 reply("Signature " + hex2(sig[0]) + " " +
                                                       hex2(sig[1]) + " " + chipName(m_selected) +
                                                       " OK\r\n");
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
                           reply("Blank\r\n");
                       else
                           reply("Not blank at " +
                                 hex4(static_cast<unsigned>(it - m_flash.begin())) + "\r\n");
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
                               reply("Read OK\r\n");
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
        m_sram.fill(0xFF);
        reply("SRAM cleared\r\n");
        return;
    case 'c':
        reply("Checksum " + hex4(byteSum(m_sram.data(), chipSize())) + "\r\n");
        return;
    case 'd':
        m_parse = Parse::DumpHi;
        return;
    case 't':
        m_parse = Parse::Test;
        return;
    default:
        reply("?\r\n");
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
                reply("Error: signature " + hex2(got[0]) + " " + hex2(got[1]) + ", expected " +
                      hex2(want[0]) + " " + hex2(want[1]) + " (" + chipName(m_selected) + ")\r\n");
                return false;
            }};
}

Firmware::Stage Firmware::programLockCheck()
{
    return {0.0, [this] {
                if ((m_lock & kLockBit1) == 0)
                    return true;
                reply("Error: locked\r\n");
                return false;
            }};
}

Firmware::Stage Firmware::readLockCheck()
{
    return {0.0, [this] {
                if ((m_lock & kLockBit2) == 0)
                    return true;
                reply("Error: locked\r\n");
                return false;
            }};
}

Firmware::Stage Firmware::eraseStage()
{
    return {m_pacing ? kEraseMs : 0.0, [this] {
                std::fill(m_flash.begin(), m_flash.end(), 0xFF);
                m_lock = 0;
                reply("Erase OK\r\n");
                return true;
            }};
}

Firmware::Stage Firmware::programStage()
{
    return {m_pacing ? kProgramMsPerByte * static_cast<double>(chipSize()) : 0.0, [this] {
                // Programming can only turn ones into zeros.
                for (std::size_t i = 0; i < m_flash.size(); ++i)
                    m_flash[i] &= m_sram[i];
                reply("Program OK\r\n");
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
                    reply("Verify OK\r\n");
                    return true;
                }
                reply("Verify failed at " + hex4(static_cast<unsigned>(first)) + ", " +
                      std::to_string(differ) + " bytes differ\r\n");
                if (unerased)
                    reply("Flash not erased?\r\n");
                return false;
            }};
}

Firmware::Stage Firmware::lockStage()
{
    return {0.0, [this] {
                m_lock = kLockBit1 | kLockBit2;
                reply("Lock bits set\r\n");
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
        std::string text = hex4(start) + ":";
        for (unsigned i = 0; i < 16; ++i)
            text += " " + hex2(m_sram[(start + i) % kSramSize]);
        reply(text + "\r\n");
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
        reply(sramTest() ? "SRAM test OK, 8192 bytes\r\n" : "SRAM test failed\r\n");
        return;
    case 'L':
        reply("LED test done\r\n");
        return;
    case 'b':
        reply("Buzzer test done\r\n");
        return;
    case 'V':
        reply("Vpp 12.0 V\r\n");
        return;
    case 'h':
        reply("Vpp high\r\n");
        return;
    case 'l':
        reply("Vpp low\r\n");
        return;
    case 'f':
        reply("Firmware V2.10\r\n");
        return;
    default:
        reply("?\r\n");
        return;
    }
}

} // namespace vantorsim
