#include "savebuffer.h"

#include "core/events.h"
#include "core/messages.h"
#include "core/programmer.h"
#include "core/imagefile.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>

void SaveBuffer::Form3_Command1_Click()
{
    if (p.view.form3Option(1))
        p.setText(2, Msg::saving(2));
    else if (p.view.form3Option(2))
        p.setText(2, Msg::saving(4));
    else if (p.view.form3Option(3))
        p.setText(2, Msg::saving(1));
    m_sizeChosen = true;
    p.view.hideForm3();
}

void SaveBuffer::muFileSave_Click()
{
    if (p.link.refuseTransferStart())
        return;
    TransferScope scope(p);
    p.setText(1, QString());
    m_sizeChosen = false;
    p.view.showForm3();
    while (p.view.form3Visible() && !p.exiting)
        WaitEvents();
    if (!m_sizeChosen || p.exiting) {
        // Form3 closed without SAVE: nothing to save.
        p.setText(2, Msg::saveCancelled());
        return;
    }

    const QString status = p.text(2);
    const QChar digit = status.size() >= 8 ? status.at(7) : QChar();
    QString command;
    int expected = 0;
    if (digit == QLatin1Char('2')) {
        expected = 2048;
        command = QStringLiteral("S2");
    } else if (digit == QLatin1Char('4')) {
        expected = 4096;
        command = QStringLiteral("S4");
    } else if (digit == QLatin1Char('1')) {
        expected = 1024;
        command = QStringLiteral("S1");
    } else {
        p.setText(2, Msg::saveCancelled());
        return;
    }

    if (!dialogs.SaveDialog())
        return;
    receiveBlock(command, expected);
    p.startup.ApplyLatestFileLabel();
}

void SaveBuffer::settleLine()
{
    // Replies to earlier commands that are still waiting or still arriving would be read
    // as the first bytes of the block: take them first, until the line has been quiet.
    QElapsedTimer quiet;
    quiet.start();
    const QDeadlineTimer limit(QuietLimitMs);
    QTimer wake;
    wake.start(QuietMs / 3);
    while (p.MSComm1.PortOpen() && !limit.hasExpired()) {
        QString stale;
        p.MSComm1.Input(&stale);
        if (!stale.isEmpty())
            quiet.restart();
        else if (quiet.elapsed() >= QuietMs)
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
    p.link.drainPump();
    if (!p.MSComm1.PortOpen())
        return BlockResult::NotConnected;
    p.Timer1.setEnabled(false);
    settleLine();
    p.RxText.clear();
    p.MSComm1.setInputMode(MSComm::comInputModeBinary);
    p.bytesMoving = true;

    bool complete = false;
    if (p.link.sendOwn(command)) {
        // Sleep between events: received bytes, a removal, or the deadline wake us. A
        // timer may fire a little before the deadline; it is then started again for the
        // rest, so that the wait never outlasts the deadline for want of an event.
        const QDeadlineTimer deadline(timeoutMs(expected));
        QTimer wake;
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        while (p.MSComm1.PortOpen() && p.MSComm1.InBufferCount() < expected &&
               !deadline.hasExpired() && !p.exiting) {
            if (!wake.isActive())
                wake.start(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
            WaitEvents();
        }
        if (p.MSComm1.PortOpen())
            p.MSComm1.Input(received);
        complete = received->size() >= expected;
    }

    p.bytesMoving = false;
    p.MSComm1.setInputMode(MSComm::comInputModeText);
    p.Timer1.setEnabled(true);

    if (complete)
        return BlockResult::Complete;
    return p.MSComm1.PortOpen() ? BlockResult::Short : BlockResult::Removed;
}
