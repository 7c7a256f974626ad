#pragma once

#include "core/linetiming.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

class Programmer;

// The command channel (SendCommand), the receive poller (Timer1) and the byte pump
// (Timer2).
class SerialLink
{
public:
    explicit SerialLink(Programmer &p);

    // The longest the programmer may take before it begins to answer a command.
    static constexpr int ReplyLimitMs = LineTiming::SlowestOperationMs;
    // True while the answer to the last command or request sent has not begun: from the
    // moment it went out until any byte arrives, for at most ReplyLimitMs.
    bool replyPending() const;
    // How long replyPending() may still hold, in milliseconds (0 when it does not).
    int msUntilReplyLimit() const;

    // Sends a command string when the port is open and clears Text1 and RxText. Refused
    // with a short message while a transfer is using the port.
    void SendCommand(const QString &command);
    // The same without the transfer interlock, for the transfers' own command letters.
    // Returns true when the command went out.
    bool sendOwn(const QString &command);

    void Timer1_Timer();
    void Timer2_Timer();

    // Queues bytes for the pump from TxBuffer index 0 and starts it.
    void QueueForPump(const QByteArray &bytes);
    // Lets a queued request finish (a few ticks at most), then stops the pump, so that a
    // transfer never starts in the middle of one. Works also once the transfer has marked
    // the port busy.
    void drainPump();

    // The programmer vanished: message in Text2, port closed.
    void reportRemoval();
    // The serial-port control confirmed a removal on its own.
    void onRemoved();

    // True (with the busy message shown) while a transfer is using the port.
    bool refuseWhileBusy();
    // True (with a message shown) while discovery is probing: the open port, if any,
    // belongs to a device that may not be the programmer, so no transfer may start.
    bool refuseWhileSearching();
    // True (with a message shown) when a Load, Express or Save may not start now: another
    // one is running, or discovery is probing.
    bool refuseTransferStart();

private:
    void noteSent();

    Programmer &p;
    QString m_shownRx;
    QString m_shownText;
    bool m_draining = false;
    bool m_awaitingReply = false;
    QElapsedTimer m_sinceSent;
};
