#pragma once

#include "core/linetiming.h"

#include "image/filedialogs.h"

#include <QByteArray>
#include <QString>

class Programmer;

// Save: a 1K, 2K or 4K block of the programmer's SRAM into an image file, after the
// "Select Size" window Form3.
class SaveBuffer
{
public:
    explicit SaveBuffer(Programmer &p) : p(p), dialogs(p) {}

    // Save in the File menu: shows Form3 and returns; the main window stays usable while
    // it is open. With Form3 already open it only brings it to the front.
    void muFileSave_Click();
    // SAVE in Form3: the size text into Text2, Form3 hidden, then the save dialog and the
    // block. Refused while a transfer or a search uses the port; Form3 then stays open
    // with its choice.
    void Form3_Command1_Click();
    // Form3 closed without SAVE: nothing is saved.
    void Form3_QueryUnload();

    // How long to wait for a block of n bytes: its time at 9600 baud (10 bits a byte)
    // with half again as margin, plus a second and a half for the programmer to start.
    static int timeoutMs(int bytes) { return LineTiming::blockLimitMs(bytes); }

    enum class BlockResult { Complete, NotConnected, Short, Removed };
    // The read-back under Save's rules, without a file: marks the port busy, stops the
    // pump, waits for an answer still to come and takes replies still arriving from
    // earlier commands, sends command ("S1", "S2", "S4") and waits up to
    // timeoutMs(expected) for expected bytes, with the poller off and the port in binary
    // mode. After a block that fell short, what is left of it is dropped (until the line is
    // quiet) before the poller runs again. The poller, the mode and the busy mark are
    // restored on every path. *received holds every byte read (Complete: at least
    // expected; Short: fewer, port still open; Removed: port lost). Shows nothing of its
    // own (a removal found while sending is reported by the link).
    BlockResult ReceiveBlock(const QString &command, int expected, QByteArray *received);

private:
    static constexpr int QuietMs = LineTiming::QuietMs;
    static constexpr int QuietLimitMs = LineTiming::QuietLimitMs;
    // After a block that fell short: how long the line must be quiet before what is left
    // of it counts as gone (a USB adapter may hold bytes back for tens of milliseconds).
    static constexpr int DiscardQuietMs = LineTiming::DiscardQuietMs;

    // The save dialog, the block of the chosen size and the file.
    void saveBlock(int kilobytes);
    // Waits until the answer to the last command sent has begun, at most for the link's
    // ReplyLimitMs, so that it cannot come in front of the block.
    void awaitReply();
    // Takes and drops what arrives until the line has been quiet for quietMs, for at most
    // limitMs.
    void settleLine(int quietMs, int limitMs);
    // Sends command and waits up to timeoutMs(expected) for expected bytes; *received
    // holds all that was read. True when the block is complete.
    bool readBlock(const QString &command, int expected, QByteArray *received);
    // Receives the block and writes the file; every path restores the port's text mode
    // and the poller.
    void receiveBlock(const QString &command, int expected);

    Programmer &p;
    FileDialogs dialogs;
};
