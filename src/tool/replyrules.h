#pragma once

#include "replywatch.h"

#include "core/chipoperations.h"

// When the tool takes a command as done. The firmware promises only three things: an
// identification of at least 26 characters to "i", the key reports, and exactly 1024,
// 2048 or 4096 raw bytes for "S1", "S2" and "S4". Every other reply is shown, not read:
// a command is done once its reply has started within its limit and the line has then
// been quiet for the settle time, and not before the programmer can be done with it.
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
// without the chip).
inline ReplyRule quick(bool required = true)
{
    return {ChipOperations::QuickAnswerMs, required};
}

// Chip operations (signature, blank check, erase, programming, lock bits, reading, Express)
// and the 8 KiB SRAM test. They may answer in stages with their work in between, so quiet
// alone cannot end them: none is done before the programmer can be done with it, by the
// core's model of their times (ProgrammerSession::workLeftMs, or --timeout), and the reply
// must have begun by then and a quick answer's time after.
inline ReplyRule chipOperation(bool required = true)
{
    return {ReplyRule::UntilDone, required};
}

} // namespace ReplyRules
