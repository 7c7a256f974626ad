#pragma once

#include "core/portprobe.h"
#include "core/transfer.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class Clock;
class Transport;

// Why the session did not take a request.
enum class Refusal {
    None,      // taken
    Busy,      // a transfer owns the port
    Searching, // the port search is under way: the open port may not be the programmer's
    Invalid,   // not a request the programmer takes (a chip, size or image out of range)
};

// The two image transfers, each by the command that starts it on the line.
enum class ImageCommand : char {
    Load = 'L',    // into the programmer's SRAM
    Express = 'Q', // into the SRAM, then the chip erased, programmed and verified from it
};

// How an image transfer ("L" or "Q" with its length and bytes) ended.
enum class SendResult {
    Sent,         // every byte can have reached the device: its line time has passed and
                  // neither the port nor the system holds any of it
    NotConnected, // no programmer: nothing was sent
    Removed,      // the programmer went away before every byte reached it
};

// How a read-back ("S1", "S2", "S4") ended.
enum class BlockResult {
    Complete,     // exactly the block's size arrived, and then nothing more
    NotConnected, // no programmer: nothing was asked
    Short,        // fewer bytes came in time; the port stays open
    Removed,      // the programmer went away
    Overrun,      // more than the block came: none of it can be trusted, none is given
};

// The link to the programmer: the port search, the chip, commands, the byte pump for fill
// and dump requests, the receive poller, image transfers and read-backs.
//
// Everything is driven by the event loop (timers and the transport's signals); no call
// waits. One explicit busy state covers every transfer from its first byte (a read-back
// from its reservation) to its result; every request consults it.
class ProgrammerSession : public QObject
{
    Q_OBJECT
public:
    // The session runs on clock (the system's when null).
    explicit ProgrammerSession(Transport *transport, Clock *clock = nullptr,
                               QObject *parent = nullptr);
    ~ProgrammerSession() override;

    // --- State ---------------------------------------------------------------------------
    bool isConnected() const;
    bool isSearching() const;
    bool isBusy() const;
    // The port the programmer was found on (0 before).
    int port() const;
    // The chip shown as chosen: 0 to 2, -1 for none.
    int chip() const;
    // Everything received since the last clear (what the response box shows).
    QString receivedText() const;
    // The first bytes of a character wait for the receive poller's next tick: receivedText()
    // does not hold them yet.
    bool isHoldingBytes() const;
    // Empties it (a new request's replies start afresh).
    void clearReceived();
    // How long the programmer may still be at work on the chip operations it was sent, one
    // after another, each for its longest time (ChipOperations); 0 when all can be done.
    qint64 workLeftMs() const;
    // Every chip operation may take ms (a firmware slower than the chips' own figures); 0
    // for those figures.
    void setOperationTimeMs(int ms);

    // The chip remembered between runs (chip.log): the search's settle step chooses it.
    void setRememberedChip(const QString &name);
    // The search gives up after this port (11 unless set lower).
    void setLastPort(int port);
    // A pinned chip is held by the client: key reports are then only reported
    // (keyReported), never applied.
    void setChipPinned(bool pinned);

    // --- Requests ------------------------------------------------------------------------
    // Why a request of kind would be refused now (None: it would be taken). The session
    // alone decides: a transfer owns the port, or the search is under way (a fill or dump
    // request is not held back by the search).
    Refusal refusalFor(Transfer::Kind kind) const;
    // Searches the ports for the programmer, from COM1; closes the port first.
    Refusal search();
    // A command of one or two letters; silently dropped when no port is open.
    Refusal sendCommand(const QByteArray &command);
    // The user chooses chip 0 to 2: remembered, marked and told to the programmer.
    Refusal chooseChip(int chip);
    // The requests below return their transfer (see Transfer for its lifetime). One refused
    // is finished on return with its refusal; an image or block with no port open, with
    // NotConnected.
    // Fill and dump requests ("F" + value, "d" + address), one byte per pump tick; Sent
    // once the last byte went out. A new request replaces one still queued, which ends as
    // NotConnected.
    Transfer *queueRequest(const QByteArray &bytes);
    // An image under its command: the command's letter, the big-endian length and the
    // bytes. At most 4999 bytes. It starts from the event loop, once whatever the pump
    // holds has gone out.
    Transfer *sendImage(ImageCommand command, const QByteArray &image);
    // Holds the busy state for a read-back whose size has been chosen, while its file is
    // being asked for; readBlock() or release() ends the reservation.
    Refusal reserve();
    void release();
    // A block of 1024, 2048 or 4096 bytes read back from the SRAM, after a reservation or
    // on its own.
    Transfer *readBlock(int bytes);
    // Closes the port (at exit): whatever is under way stops; its transfer never finishes.
    void closePort();

signals:
    // The port search.
    void searchStarted();
    void probing(int port);
    // What the probe of each port found: the programmer (before found()), or why not.
    void probed(int port, const PortProbe &probe);
    void found(int port);
    void notFound();
    void settled();

    // The chip chosen by the user, a key report or the settle step: chipChosen() comes
    // first (to remember it), then the command goes out. chipShown() tells which option
    // shows as chosen, also when a user's choice was refused.
    void chipChosen(int chip);
    void chipShown(int chip);
    // A key report arrived (whether or not it changed the chip); once until the received
    // text is cleared. One that arrives while a transfer owns the port chooses its chip
    // when the transfer has ended (the latest such report, once).
    void keyReported(int chip);

    // The bytes received, in order, as they become part of the received text: each chunk
    // ends where a character does (ReceivedText::decode gives its text), unless the rest of
    // a character did not come within a tick.
    void received(const QByteArray &bytes);
    // The received text was emptied (also when it was empty already).
    void receivedCleared();
    // Every tick of the receive poller (100 ms), after the others: the response box shows
    // the received text again, whatever was typed into it.
    void receivedPolled();
    // The programmer went away (a failed write, or the port's own report).
    void removed();
    void busyChanged(bool busy);

private:
    bool writeToLine(const QByteArray &command);
    void choose(int chip);
    void setBusy(bool busy);
    void afterPump(const std::function<void()> &next);
    void runAfterPump();
    void startImage(ImageCommand command, const QByteArray &image);
    void startBlock(int bytes);
    void finishImage(SendResult result);
    void finishRequest(SendResult result);

    void onFound(int port);
    void onSettleDue();
    void onKeyReport(int chip);
    void onReceivedCleared();
    void onRemoved();
    void onPumpSent(bool toDevice);
    void onImageSent(SendResult result);
    void onBlockRead(BlockResult result, const QByteArray &bytes);

    class Private;
    std::unique_ptr<Private> d;
};
