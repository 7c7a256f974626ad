#include "chipoperations.h"

#include "core/chiptable.h"

namespace ChipOperations
{

namespace
{

// What a chip operation does to the flash: erased, every byte written, every byte read, the
// lock bits written.
struct Operation {
    const char *command;
    bool erase;
    bool write;
    bool read;
    bool lock;
};

constexpr Operation Operations[] = {
    {"s", false, false, false, false}, // the signature: three bytes read
    {"B", false, false, true, false},  // blank check
    {"E", true, false, false, false},  // erase
    {"P", false, true, false, false},  // program
    {"R", false, false, true, false},  // read into the SRAM
    {"V", false, false, true, false},  // verify against the SRAM
    {"l", false, false, false, true},  // lock bits
    {"q", false, true, true, true},    // program, verify, lock
    {"Q", true, true, true, false},    // after its image: erase, program, verify
};

int flashSizeOf(int chip)
{
    if (chip >= 0)
        return ChipTable::chip(chip).flashSize;
    int largest = 0;
    for (const Chip &c : ChipTable::chips())
        largest = qMax(largest, c.flashSize);
    return largest;
}

} // namespace

int durationMs(const QByteArray &command, int flashSize)
{
    const auto ms = [](qint64 us) { return static_cast<int>((us + 999) / 1000) + MarginMs; };
    if (command == "tR")
        return ms(qint64(SramBytes) * SramTestAccesses * ByteReadUs);
    for (const Operation &op : Operations) {
        if (command != op.command)
            continue;
        qint64 us = op.erase ? EraseMs * 1000 : 0;
        us += op.write ? qint64(flashSize) * ByteWriteUs : 0;
        us += op.read ? qint64(flashSize) * ByteReadUs : 0;
        us += op.lock ? LockBits * ByteWriteUs : 0;
        return ms(us);
    }
    return 0;
}

int Schedule::workMs(const QByteArray &command, int chip) const
{
    const int ms = durationMs(command, flashSizeOf(chip));
    return ms > 0 && m_longestMs > 0 ? m_longestMs : ms;
}

void Schedule::sent(const QByteArray &command, int chip, qint64 now)
{
    const int workMs = this->workMs(command, chip);
    m_readyAt = qMax(m_readyAt, now) + workMs;
    m_awaiting = workMs == 0;
}

void Schedule::imageIn(char letter, int chip, qint64 now)
{
    // The letter counted already from when it came; the image's end is later.
    const int workMs = this->workMs(QByteArray(1, letter), chip);
    m_readyAt = qMax(m_readyAt, now + workMs);
    m_awaiting = workMs == 0;
}

} // namespace ChipOperations
