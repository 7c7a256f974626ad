#pragma once

#include <QtGlobal>

// The timing of the link to the programmer, in one place: the line itself, the paces of
// the poller, the pump and the port search, and the time limits that follow from them.
namespace LineTiming
{

// 9600 baud, no parity, 8 data bits, 1 stop bit: ten bits a byte.
constexpr int Baud = 9600;
constexpr int BitsPerByte = 10;

// Milliseconds that n bytes take on the line, rounded up.
constexpr int lineMs(int bytes)
{
    return (bytes * BitsPerByte * 1000 + Baud - 1) / Baud;
}

// The bytes the line carries in ms milliseconds, whole ones only.
constexpr qint64 bytesInMs(qint64 ms)
{
    return ms * Baud / (BitsPerByte * 1000);
}

// The receive poller shows what arrived every 100 ms; the byte pump sends one queued byte
// every 3 ms.
constexpr int PollMs = 100;
constexpr int PumpMs = 3;
// An image transfer tells its progress every 100 ms.
constexpr int ProgressMs = 100;

// The port search: one port every 400 ms; its clock ticks every 100 ms. A port is the
// programmer when it answers "i" with at least 26 characters before the clock's second
// tick; once found, the clock's sixth tick tells the programmer the chip.
constexpr int ProbeMs = 400;
constexpr int ClockMs = 100;
constexpr int IdentityLength = 26;
constexpr int ReplyWindowTicks = 2;
constexpr int SettleTicks = 6;
constexpr int LastPort = 11;

// A read-back of n bytes may take its line time with half again as margin, plus a second
// and a half for the programmer to start sending.
constexpr int blockLimitMs(int bytes)
{
    return bytes * BitsPerByte * 1000 / Baud * 3 / 2 + 1500;
}

// Before a read-back the line must have been quiet this long (at most QuietLimitMs).
constexpr int QuietMs = 30;
constexpr int QuietLimitMs = 1000;
// After a block that fell short, what is left of it is dropped until the line has been
// quiet this long (a USB adapter may hold bytes back for tens of milliseconds), for at most
// the rest's own time limit.
constexpr int DiscardQuietMs = 200;
// A block is good only when exactly its size arrived and the line then stayed quiet this
// long: a byte more means the programmer sent something else with it (a reply that came
// late, a block of another size), and which bytes are the block can no longer be told.
// Such a byte follows the block's last within a millisecond on the line, but the USB
// adapter passes received bytes on when 62 have gathered or its latency timer runs out
// (16 ms on FTDI chips by default, less on others): 100 ms is six such periods, and the
// receive poller's own pace.
constexpr int BlockSettleMs = 100;

// A read-back in progress looks at what has arrived when the block can first be complete,
// then at most this far apart.
constexpr int BlockCheckMs = 50;

// Load and Express: once the image is handed over, the device must take it within its line
// time and this margin.
constexpr int DrainMarginMs = 10000;

} // namespace LineTiming
