#include "transfers.h"

#include "core/events.h"
#include "core/messages.h"
#include "core/programmer.h"

#include <QDeadlineTimer>
#include <QTimer>

bool ImageTransfer::acceptImage(const ImageFile::ReadResult &image)
{
    switch (image.status) {
    case ImageFile::ReadResult::Ok:
        return true;
    case ImageFile::ReadResult::Missing:
    case ImageFile::ReadResult::NotAFile:
        p.setText(2, Msg::missing(p.LatestFile));
        return false;
    case ImageFile::ReadResult::Unreadable:
        p.setText(2, Msg::unreadable(p.LatestFile, image.error));
        return false;
    case ImageFile::ReadResult::TooLarge:
        p.setText(2, Msg::tooLarge(p.LatestFile, image.ImageSize));
        return false;
    }
    return false;
}

void ImageTransfer::sendLatestFile(char commandLetter)
{
    const ImageFile::ReadResult image = ImageFile::ReadWholeFile(p.LatestFile);
    if (!acceptImage(image))
        return;
    switch (SendImage(commandLetter, image.ImageBytes)) {
    case SendResult::Sent:
        p.setText(2, commandLetter == 'Q'
                         ? Msg::expressCompleted(ImageFile::Checksum(image.ImageBytes))
                         : Msg::loadCompleted());
        break;
    case SendResult::Removed:
        p.setText(2, Msg::removed());
        break;
    case SendResult::Searching:
        p.setText(2, Msg::searching());
        break;
    case SendResult::NotConnected:
        p.setText(2, Msg::notConnected());
        break;
    }
}

void ImageTransfer::muFileLoad_Click()
{
    if (p.link.refuseTransferStart())
        return;
    TransferScope scope(p);
    p.setText(1, QString());
    if (!dialogs.LoadDialog())
        return;
    sendLatestFile('L');
    p.startup.ApplyLatestFileLabel();
}

void ImageTransfer::muIcExp_Click()
{
    if (p.link.refuseTransferStart())
        return;
    TransferScope scope(p);
    p.setText(1, QString());
    if (p.LatestFile.isEmpty() && !dialogs.ExpressDialog()) {
        p.startup.ApplyLatestFileLabel();
        return;
    }
    sendLatestFile('Q');
    p.startup.ApplyLatestFileLabel();
}

ImageTransfer::SendResult ImageTransfer::SendImage(char commandLetter, const QByteArray &image)
{
    if (p.Timer3.Enabled())
        return SendResult::Searching;
    // A queued fill or dump request finishes first: its bytes must not mix with the image.
    p.link.drainPump();
    if (!p.MSComm1.PortOpen())
        return SendResult::NotConnected;
    if (!p.link.sendOwn(QString(QLatin1Char(commandLetter))))
        return p.MSComm1.wasRemoved() ? SendResult::Removed : SendResult::NotConnected;

    const int size = static_cast<int>(image.size());
    p.TxBuffer[0] = static_cast<quint8>(size / 256);
    p.TxBuffer[1] = static_cast<quint8>(size % 256);
    for (int k = 0; k < size; ++k)
        p.TxBuffer[static_cast<size_t>(k + 2)] = static_cast<quint8>(image.at(k));
    p.TxIndex = 0;
    p.TxCount = static_cast<qint16>(size + 2);

    p.Timer1.setEnabled(false);
    p.setText(2, Msg::progress(p.LatestFile, p.TxCount - 2));
    p.bytesMoving = true;
    bool allHandedOver = true;
    while (p.TxIndex < p.TxCount) {
        p.TxByte[0] = static_cast<char>(p.TxBuffer[static_cast<size_t>(p.TxIndex)]);
        if (!p.MSComm1.Output(p.TxByte)) {
            allHandedOver = false;
            break;
        }
        ++p.TxIndex;
        DoEvents();
    }
    // The bytes the port still holds must reach the device before the transfer counts as
    // done: a device that vanishes now has not received the image.
    if (allHandedOver && p.MSComm1.pendingOutput() > 0) {
        QTimer wake;
        wake.start(100);
        const QDeadlineTimer deadline(10000);
        while (p.MSComm1.PortOpen() && p.MSComm1.pendingOutput() > 0 && !deadline.hasExpired())
            WaitEvents();
        allHandedOver = p.MSComm1.PortOpen() && p.MSComm1.pendingOutput() == 0;
    }
    p.bytesMoving = false;
    p.Timer1.setEnabled(true);
    if (allHandedOver)
        return SendResult::Sent;
    if (p.MSComm1.PortOpen())
        p.MSComm1.setPortOpen(false); // the device stopped taking bytes: treat as removed
    return p.MSComm1.wasRemoved() ? SendResult::Removed : SendResult::NotConnected;
}
