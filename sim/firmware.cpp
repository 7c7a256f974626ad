#include "firmware.h"

#include "wording.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace vantorsim
{

const char *Firmware::defaultIdentification()
{
    return wordingOf(Texts::Default).identification;
}

const char *Firmware::otherIdentification()
{
    return wordingOf(Texts::Other).identification;
}

Firmware::Firmware()
    : m_words(&wordingOf(Texts::Default)), m_identification(defaultIdentification())
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
    m_words = &wordingOf(texts);
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
    if (name == "none") {
        m_clearIgnored = false;
        m_sramStuck = false;
        m_lockIgnored = false;
    } else if (name == "no-lock") {
        m_lockIgnored = true;
    } else if (name == "no-clear") {
        m_clearIgnored = true;
    } else if (name == "sram") {
        m_sramStuck = true;
    } else {
        return false;
    }
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
    case Parse::LoadLo:
    case Parse::LoadData:
        loadByte(byte, atMs);
        return;
    case Parse::ReadbackSize:
        m_parse = Parse::Command;
        readbackSize(byte);
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

void Firmware::loadByte(std::uint8_t byte, double atMs)
{
    if (m_parse == Parse::LoadHi) {
        m_loadLength = static_cast<std::size_t>(byte) << 8;
        m_parse = Parse::LoadLo;
        return;
    }
    if (m_parse == Parse::LoadLo) {
        m_loadLength |= byte;
        m_loadPos = 0;
        m_parse = Parse::LoadData;
        if (m_loadLength == 0)
            finishLoad(atMs);
        return;
    }
    if (m_loadPos < kSramSize)
        m_sram[m_loadPos] = byte;
    if (++m_loadPos == m_loadLength)
        finishLoad(atMs);
}

void Firmware::readbackSize(std::uint8_t byte)
{
    if (byte == '1')
        sendReadback(1024);
    else if (byte == '2')
        sendReadback(2048);
    else if (byte == '4')
        sendReadback(4096);
    else
        reply(m_words->unknown);
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
    using Handler = void (Firmware::*)(std::uint8_t byte, double atMs);
    struct Entry {
        char byte;
        Handler handler;
    };
    static const Entry kCommands[] = {
        {'i', &Firmware::identify},      {'!', &Firmware::selectChip},
        {'@', &Firmware::selectChip},    {'#', &Firmware::selectChip},
        {'s', &Firmware::readSignature}, {'B', &Firmware::blankCheck},
        {'E', &Firmware::erase},         {'P', &Firmware::program},
        {'R', &Firmware::readFlash},     {'V', &Firmware::verify},
        {'l', &Firmware::lock},          {'q', &Firmware::programVerifyLock},
        {'L', &Firmware::startLoad},     {'Q', &Firmware::startLoad},
        {'S', &Firmware::startReadback}, {'F', &Firmware::startFill},
        {'X', &Firmware::clearSram},     {'c', &Firmware::checksum},
        {'d', &Firmware::startDump},     {'t', &Firmware::startTest},
    };
    for (const Entry &entry : kCommands) {
        if (static_cast<std::uint8_t>(entry.byte) == byte) {
            (this->*entry.handler)(byte, atMs);
            return;
        }
    }
    reply(m_words->unknown);
}

void Firmware::identify(std::uint8_t, double)
{
    reply(m_identification);
}

void Firmware::selectChip(std::uint8_t byte, double)
{
    m_selected = byte == '!' ? Chip::AT89C2051 : byte == '@' ? Chip::AT89C4051 : Chip::AT89C1051U;
    reply(m_words->chipSelected(m_selected));
}

void Firmware::readSignature(std::uint8_t, double atMs)
{
    startStages({signatureCheck(), Stage{0.0,
                                         [this] {
                                             const auto sig = signatureOf(m_selected);
                                             reply(m_words->signatureOk(sig, m_selected));
                                             return true;
                                         }}},
                atMs);
}

void Firmware::blankCheck(std::uint8_t, double atMs)
{
    startStages({signatureCheck(),
                 Stage{0.0,
                       [this] {
                           const auto it = std::find_if(m_flash.begin(), m_flash.end(),
                                                        [](std::uint8_t b) { return b != 0xFF; });
                           if (it == m_flash.end())
                               reply(m_words->blank);
                           else
                               reply(
                                   m_words->notBlank(static_cast<unsigned>(it - m_flash.begin())));
                           return true;
                       }}},
                atMs);
}

void Firmware::erase(std::uint8_t, double atMs)
{
    startStages({signatureCheck(), eraseStage()}, atMs);
}

void Firmware::program(std::uint8_t, double atMs)
{
    startStages({signatureCheck(), lockCheck(kLockBit1), programStage()}, atMs);
}

void Firmware::readFlash(std::uint8_t, double atMs)
{
    startStages({signatureCheck(), lockCheck(kLockBit2),
                 Stage{0.0,
                       [this] {
                           std::copy(m_flash.begin(), m_flash.end(), m_sram.begin());
                           reply(m_words->read);
                           return true;
                       }}},
                atMs);
}

void Firmware::verify(std::uint8_t, double atMs)
{
    startStages({signatureCheck(), lockCheck(kLockBit2), verifyStage()}, atMs);
}

void Firmware::lock(std::uint8_t, double atMs)
{
    startStages({signatureCheck(), lockStage()}, atMs);
}

void Firmware::programVerifyLock(std::uint8_t, double atMs)
{
    startStages({signatureCheck(), lockCheck(kLockBit1), programStage(), lockCheck(kLockBit2),
                 verifyStage(), lockStage()},
                atMs);
}

void Firmware::startLoad(std::uint8_t byte, double)
{
    m_loadThenProgram = byte == 'Q';
    m_parse = Parse::LoadHi;
}

void Firmware::startReadback(std::uint8_t, double)
{
    m_parse = Parse::ReadbackSize;
}

void Firmware::startFill(std::uint8_t, double)
{
    m_parse = Parse::FillValue;
}

void Firmware::clearSram(std::uint8_t, double)
{
    if (!m_clearIgnored)
        m_sram.fill(0xFF);
    reply(m_words->cleared);
}

void Firmware::checksum(std::uint8_t, double)
{
    reply(m_words->checksum(byteSum(m_sram.data(), chipSize())));
}

void Firmware::startDump(std::uint8_t, double)
{
    m_parse = Parse::DumpHi;
}

void Firmware::startTest(std::uint8_t, double)
{
    m_parse = Parse::Test;
}

} // namespace vantorsim
