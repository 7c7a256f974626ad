// The board's chip operations as timed stages, the read-back, the dump and the self-tests.

#include "firmware.h"

#include "wording.h"

#include <algorithm>

namespace vantorsim
{

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

Firmware::Stage Firmware::lockCheck(unsigned bit)
{
    return {0.0, [this, bit] {
                if ((m_lock & bit) == 0)
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
                if (!m_lockIgnored)
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
    // With the "sram" fault, bit 0 of the cell at 0x1234 is stuck at 0.
    constexpr std::size_t kStuckCell = 0x1234;
    bool ok = true;
    for (std::size_t i = 0; i < kSramSize; ++i) {
        std::uint8_t &cell = m_sram[i];
        const std::uint8_t keep = cell;
        for (std::uint8_t pattern : {std::uint8_t{0x55}, std::uint8_t{0xAA}}) {
            cell = pattern;
            if (m_sramStuck && i == kStuckCell)
                cell &= 0xFE;
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
