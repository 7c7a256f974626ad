#pragma once

#include <QByteArray>

// How long the programmer can be at work on a command. The firmware promises nothing about
// its replies: a chip operation may answer at once and again when it ends, with seconds of
// silence between, or not at all. So nothing that must follow the operation (a read-back
// above all) may go out before the operation can be complete, however quiet the line.
//
// The figures are the AT89C2051/AT89C4051 datasheet's (flash programming and verification
// characteristics), at the chosen chip's flash size:
// - chip erase: one 10 ms PROG pulse;
// - byte write: a self-timed write cycle, tWC, of at most 2.0 ms a byte;
// - lock bits: LB1 and LB2 take one write cycle each;
// - reading and verifying: a byte is valid 1 us after ENABLE and the address moves on with a
//   0.2 us clock pulse, so the time is the firmware's loop; 0.1 ms a byte is a hundred
//   instructions of a 12 MHz 8051 for reading, comparing and counting one byte;
// - the SRAM test: each of the 8192 bytes written and read back with a pattern and with its
//   complement, 0.1 ms an access as above;
// - and 500 ms for each command on top: raising and dropping the 12 V programming voltage,
//   the firmware's own waits and its reply lines.
// An AT89C4051 programmed whole under "Q" thus counts 10 + 8192 + 410 + 500 ms, 9.1 s.
//
// Everything else (the SRAM, the chip letters, the identification, the tests without the
// chip, the load of an image) is done at once: it answers, if at all, within
// QuickAnswerMs.
namespace ChipOperations
{

constexpr int EraseMs = 10;
constexpr int ByteWriteUs = 2000;
constexpr int LockBits = 2;
constexpr int ByteReadUs = 100;
constexpr int SramBytes = 8192;
constexpr int SramTestAccesses = 4;
constexpr int MarginMs = 500;

// A command done at once answers within this, if at all. The port search expects "i"
// answered within two of its 100 ms ticks; this is more than twice that.
constexpr int QuickAnswerMs = 500;

// The longest the programmer can be at work on command (its bytes without data) with a chip
// of flashSize bytes, from the moment it has the whole command; for "Q", from the moment it
// has the whole image. 0 for a command done at once.
int durationMs(const QByteArray &command, int flashSize);

// What the programmer may still be at work on. It works through what it is sent in order:
// a command is done after those before it, its longest time after it came.
class Schedule
{
public:
    // The programmer has had command (for "L" and "Q", the letter) since now; chip: the
    // chosen one, 0 to 2, or -1 for none (then the largest flash counts).
    void sent(const QByteArray &command, int chip, qint64 now);
    // The image of "L" or "Q" is in since now: "Q" works on it from then, and the answer to
    // either comes after it.
    void imageIn(char letter, int chip, qint64 now);
    // The last command's answer has begun.
    void answered() { m_awaiting = false; }
    // Every chip operation counts ms instead of the figures above (a slower firmware's);
    // 0 goes back to them.
    void setLongestMs(int ms) { m_longestMs = ms; }

    // When the programmer can be done with all it was sent.
    qint64 readyAt() const { return m_readyAt; }
    // When the answer to the last command, one done at once, must have begun if it comes;
    // -1 once it has, or when the last was a chip operation (readyAt covers its answer).
    qint64 answerBy() const { return m_awaiting ? m_readyAt + QuickAnswerMs : -1; }

private:
    int workMs(const QByteArray &command, int chip) const;

    qint64 m_readyAt = 0;
    int m_longestMs = 0;
    bool m_awaiting = false;
};

} // namespace ChipOperations
