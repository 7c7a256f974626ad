#pragma once

#include <QByteArray>

// Whether the programmer really read the chip. "R" copies the chip into the SRAM, and a
// refusal (a locked chip, another chip in the socket) leaves the SRAM as it was, in words
// that are the firmware's own. So the SRAM is filled with a byte before "R": a block read
// back that is nothing but that byte is read once more over its complement, and a second
// block that is nothing but the complement did not come from the chip. A chip that holds
// one byte everywhere differs from one of the two fills, so it reads as it is.
//
// One check serves one chip read: fill with fillRequest(), "R", read the block back, then
// judge() it; on Again the same once more.
class ChipReadCheck
{
public:
    enum class Verdict {
        Read,    // the block is the chip's
        Again,   // fill with the complement and read again
        NotRead, // the programmer did not read the chip
    };

    explicit ChipReadCheck(quint8 fill) : m_fill(fill) {}

    quint8 fill() const { return m_fill; }
    // "F" and the byte the SRAM is filled with before the next "R".
    QByteArray fillRequest() const;
    Verdict judge(const QByteArray &block);

private:
    quint8 m_fill;
    bool m_second = false;
};
