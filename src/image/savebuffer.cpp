#include "savebuffer.h"

#include "core/events.h"
#include "core/messages.h"
#include "core/programmer.h"
#include "core/imagefile.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>

void SaveBuffer::muFileSave_Click()
{
    if (p.view.form3Visible()) {
        p.view.showForm3(); // already waiting for a size: to the front
        return;
    }
    if (p.link.refuseTransferStart())
        return;
    p.setText(1, QString());
    p.view.showForm3();
}

void SaveBuffer::Form3_QueryUnload()
{
    p.setText(2, Msg::saveCancelled());
}

void SaveBuffer::Form3_Command1_Click()
{
    // The choice stays in the open window until the port is free.
    if (p.exiting || p.link.refuseTransferStart())
        return;
    int kilobytes = 0;
    if (p.view.form3Option(1))
        kilobytes = 2;
    else if (p.view.form3Option(2))
        kilobytes = 4;
    else if (p.view.form3Option(3))
        kilobytes = 1;
    if (kilobytes == 0)
        return; // one option is always selected
    p.setText(2, Msg::saving(kilobytes));
    p.view.hideForm3();
    saveBlock(kilobytes);
}

void SaveBuffer::saveBlock(int kilobytes)
{
    // From the size choice to the end nothing else may use the port: a fill, a command or
    // a search started while the line settles would land in the block or wipe it.
    TransferScope scope(p);
    p.bytesMoving = true;
    p.link.drainPump();
    if (!dialogs.SaveDialog())
        return;
    receiveBlock(QStringLiteral("S%1").arg(kilobytes), kilobytes * 1024);
    p.startup.ApplyLatestFileLabel();
}

void SaveBuffer::awaitReply()
{
    // A chip being programmed answers only when it is done, seconds later; the block asked
    // for now would come after that answer. Sleep until a byte arrives (it wakes the loop),
    // the port closes, the program exits or the limit passes.
    QTimer wake;
    wake.setSingleShot(true);
    while (p.link.replyPending() && p.MSComm1.PortOpen() && !p.exiting) {
        if (!wake.isActive())
            wake.start(qMax(1, p.link.msUntilReplyLimit()));
        WaitEvents();
    }
}

void SaveBuffer::settleLine(int quietMs, int limitMs)
{
    QElapsedTimer quiet;
    quiet.start();
    const QDeadlineTimer limit(limitMs);
    QTimer wake;
    wake.start(qMax(1, quietMs / 3));
    while (p.MSComm1.PortOpen() && !limit.hasExpired()) {
        QString stale;
        p.MSComm1.Input(&stale);
        if (!stale.isEmpty())
            quiet.restart();
        else if (quiet.elapsed() >= quietMs)
            break;
        WaitEvents();
    }
}

void SaveBuffer::receiveBlock(const QString &command, int expected)
{
    if (p.link.refuseWhileSearching())
        return;
    QByteArray received;
    const BlockResult result = ReceiveBlock(command, expected, &received);
    if (result == BlockResult::NotConnected) {
        p.setText(2, Msg::notConnected());
        return;
    }
    if (result != BlockResult::Complete) {
        if (!p.MSComm1.PortOpen())
            p.setText(2, Msg::removed());
        else
            p.setText(2, Msg::saveTimedOut(static_cast<int>(received.size()), expected));
        return;
    }
    QString why;
    if (!ImageFile::WriteWholeFile(p.LatestFile, received, &why))
        p.setText(2, Msg::saveWriteFailed(p.LatestFile, why));
}

SaveBuffer::BlockResult SaveBuffer::ReceiveBlock(const QString &command, int expected,
                                                 QByteArray *received)
{
    received->clear();
    const bool wasMoving = p.bytesMoving;
    p.bytesMoving = true;
    p.link.drainPump();
    if (!p.MSComm1.PortOpen()) {
        p.bytesMoving = wasMoving;
        return BlockResult::NotConnected;
    }
    p.Timer1.setEnabled(false);
    awaitReply();
    // Replies to earlier commands that are still waiting or still arriving would be read
    // as the first bytes of the block: take them first, until the line has been quiet.
    settleLine(QuietMs, QuietLimitMs);
    p.RxText.clear();
    p.MSComm1.setInputMode(MSComm::comInputModeBinary);

    const bool complete = readBlock(command, expected, received);
    if (!complete && p.MSComm1.PortOpen() && !p.exiting) {
        // The rest of a late or cut-off block may still be on its way. Read as text by
        // the poller it would show as garbage and could spell a key report: drop it.
        settleLine(DiscardQuietMs, timeoutMs(expected - static_cast<int>(received->size())));
    }

    p.bytesMoving = wasMoving;
    p.MSComm1.setInputMode(MSComm::comInputModeText);
    p.Timer1.setEnabled(true);

    if (complete)
        return BlockResult::Complete;
    return p.MSComm1.PortOpen() ? BlockResult::Short : BlockResult::Removed;
}

bool SaveBuffer::readBlock(const QString &command, int expected, QByteArray *received)
{
    if (!p.link.sendOwn(command))
        return false;
    // Sleep between events: received bytes, a removal, or the deadline wake us. A timer
    // may fire a little before the deadline; it is then started again for the rest, so
    // that the wait never outlasts the deadline for want of an event.
    const QDeadlineTimer deadline(timeoutMs(expected));
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (p.MSComm1.PortOpen() && p.MSComm1.InBufferCount() < expected && !deadline.hasExpired() &&
           !p.exiting) {
        if (!wake.isActive())
            wake.start(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        WaitEvents();
    }
    if (p.MSComm1.PortOpen())
        p.MSComm1.Input(received);
    return received->size() >= expected;
}
