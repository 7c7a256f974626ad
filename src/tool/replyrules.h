#pragma once

#include "replywatch.h"

#include "core/chiptable.h"
#include "core/linetiming.h"

// When the tool takes a command as done. The firmware promises only three things: an
// identification of at least 26 characters to "i", the key reports, and exactly 1024,
// 2048 or 4096 raw bytes for "S1", "S2" and "S4". Every other reply is shown, not read:
// a command is done once its reply has started within its limit and the line has then
// been quiet for the settle time.
//
// The settle time (--settle, 100 ms by default) must outlast every pause inside one reply
// and should cost little, since every command waits it once (write waits it seven times).
// At 9600 baud a byte takes about 1 ms, and a firmware writes a reply's lines back to back;
// the pauses the host sees come from the USB adapter, which passes received bytes on when
// 62 have gathered or its latency timer runs out (16 ms on FTDI chips by default, less on
// others). 100 ms is six such pauses, and the session's own receive poller looks at the
// line every 100 ms. A firmware that pauses longer inside a reply needs --settle.
namespace ReplyRules
{

// Commands the firmware carries out at once (the SRAM, the identification, the tests
// without the chip): the search itself expects "i" answered within two 100 ms ticks.
constexpr int QuickMs = 500;
// Chip operations (signature, blank check, erase, programming, lock bits, reading) and the
// 8 KiB SRAM test.
constexpr int ChipOperationMs = LineTiming::SlowestOperationMs;

// Express answers in stages (loaded, erased, programmed, verified), with the programming of
// the whole chip in between, so quiet alone cannot end it: it is not done before the chip
// can have been erased (10 ms) and programmed at the longest byte-write cycle (2 ms a byte),
// with a margin. These count from the moment the image has passed the line.
constexpr int EraseMs = 10;
constexpr int ByteWriteMs = 2;
constexpr int ExpressMarginMs = 500;

inline ReplyRule quick(bool required = true)
{
    return {QuickMs, required, 0};
}

inline ReplyRule chipOperation(bool required = true)
{
    return {ChipOperationMs, required, 0};
}

inline ReplyRule express(int chip)
{
    return {ChipOperationMs, true,
            EraseMs + ByteWriteMs * ChipTable::chip(chip).flashSize + ExpressMarginMs};
}

} // namespace ReplyRules
