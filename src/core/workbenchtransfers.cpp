// Load, Express and Save: the file dialogs, the image files and the transfers.

#include "core/chiptable.h"
#include "core/imagefile.h"
#include "workbench.h"
#include "workbenchprivate.h"

namespace
{

Notice hexRefusal(const IntelHex::ParseResult &hex, const QString &path)
{
    switch (hex.problem) {
    case IntelHex::ParseResult::NoEnd:
        return Notice(Notice::HexIncomplete, path);
    case IntelHex::ParseResult::NoData:
        return Notice(Notice::HexEmpty, path);
    default: {
        Notice n(Notice::HexLineError, path);
        n.number = hex.line;
        return n;
    }
    }
}

// Why an image file cannot be sent, as a notice; Cleared when it can.
Notice refusalOf(const ImageFile::ReadResult &image, const QString &path)
{
    switch (image.status) {
    case ImageFile::ReadResult::Ok:
        break;
    case ImageFile::ReadResult::Unreadable:
        if (image.error.cause() == FileError::Cause::NoSuchFile ||
            image.error.cause() == FileError::Cause::NoSuchFolder)
            return Notice(Notice::ImageMissing, path);
        return Notice(Notice::ImageUnreadable, path, image.error.chinese());
    case ImageFile::ReadResult::TooLarge: {
        Notice n(image.hex ? Notice::HexTooLarge : Notice::ImageTooLarge, path);
        n.number = image.imageSize;
        return n;
    }
    case ImageFile::ReadResult::HexError:
        return hexRefusal(image.hexFile, path);
    }
    return Notice(Notice::Cleared);
}

} // namespace

bool Workbench::mayStart(Transfer::Kind kind)
{
    return showRefusal(d->session.refusalFor(kind));
}

void Workbench::load()
{
    if (!mayStart(Transfer::Kind::Load))
        return;
    d->session.clearReceived();
    QString path;
    switch (d->files.askToLoad(&path)) {
    case FileChooser::Result::Cancelled:
        show(Notice::LoadCancelled);
        return;
    case FileChooser::Result::Failed:
        show(Notice::LoadFailed);
        return;
    case FileChooser::Result::Chosen:
        break;
    }
    d->latestFile = path;
    writeTskLog();
    sendLatestFile(ImageCommand::Load);
}

void Workbench::express()
{
    if (!mayStart(Transfer::Kind::Express))
        return;
    d->session.clearReceived();
    if (d->latestFile.isEmpty()) {
        QString path;
        if (d->files.askForExpress(&path) != FileChooser::Result::Chosen) {
            emit latestFileChanged(d->latestFile);
            return;
        }
        d->latestFile = path;
        writeTskLog();
    }
    sendLatestFile(ImageCommand::Express);
}

void Workbench::sendLatestFile(ImageCommand command)
{
    const ImageFile::ReadResult image = ImageFile::readImage(d->latestFile);
    const Notice refused = refusalOf(image, d->latestFile);
    if (refused.kind != Notice::Cleared) {
        emit notice(refused);
        emit latestFileChanged(d->latestFile);
        return;
    }
    Transfer *transfer = d->session.sendImage(command, image.imageBytes);
    if (transfer->refusal() != Refusal::None) {
        showRefusal(transfer->refusal());
        emit latestFileChanged(d->latestFile);
        return;
    }
    const quint16 checksum = ImageFile::checksum(image.imageBytes);
    if (transfer->isFinished()) {
        onImageFinished(*transfer, checksum);
        return;
    }
    connect(transfer, &Transfer::started, this, [this, transfer] {
        Notice n(Notice::Progress, d->latestFile);
        n.number = transfer->size();
        emit notice(n);
    });
    connect(transfer, &Transfer::finished, this,
            [this, transfer, checksum] { onImageFinished(*transfer, checksum); });
    emit transferTaken(transfer);
}

void Workbench::onImageFinished(const Transfer &image, quint16 checksum)
{
    const SendResult result = image.sendResult();
    if (result == SendResult::Sent && image.kind() == Transfer::Kind::Express)
        show(Notice::ExpressCompleted, checksum);
    else if (result == SendResult::Sent)
        show(Notice::LoadCompleted);
    else if (result == SendResult::NotConnected)
        show(Notice::NotConnected);
    // A removal is told on its own, by the session's removed().
    emit latestFileChanged(d->latestFile);
}

bool Workbench::offerSave()
{
    if (!mayStart(Transfer::Kind::ReadBack))
        return false;
    d->session.clearReceived();
    return true;
}

bool Workbench::save(int bytes)
{
    if (ChipTable::readBackCommand(bytes).isEmpty())
        return false;
    const Refusal refusal = d->session.reserve();
    if (refusal != Refusal::None) {
        showRefusal(refusal);
        return false;
    }
    show(Notice::Saving, bytes / 1024);
    QString path;
    const FileChooser::Result answer = d->files.askToSave(&path);
    if (answer != FileChooser::Result::Chosen) {
        d->session.release();
        show(answer == FileChooser::Result::Cancelled ? Notice::SaveCancelled : Notice::SaveFailed);
        return true;
    }
    d->latestFile = path;
    Transfer *block = d->session.readBlock(bytes);
    if (block->refusal() != Refusal::None) {
        d->session.release();
        return false;
    }
    if (block->isFinished()) {
        onBlockFinished(*block);
        return true;
    }
    connect(block, &Transfer::finished, this, [this, block] { onBlockFinished(*block); });
    emit transferTaken(block);
    return true;
}

void Workbench::saveAbandoned()
{
    show(Notice::SaveCancelled);
}

void Workbench::onBlockFinished(const Transfer &block)
{
    const BlockResult result = block.blockResult();
    const QByteArray bytes = block.bytes();
    if (result == BlockResult::Complete) {
        FileError why;
        if (!ImageFile::writeWholeFile(d->latestFile, bytes, &why)) {
            emit notice(Notice(Notice::SaveWriteFailed, d->latestFile, why.chinese()));
        }
    } else if (result == BlockResult::Short) {
        Notice n(Notice::SaveShort);
        n.number = bytes.size();
        n.second = block.size();
        emit notice(n);
    } else if (result == BlockResult::Overrun) {
        emit notice(Notice(Notice::SaveOverrun, block.size()));
    } else if (result == BlockResult::NotConnected) {
        show(Notice::NotConnected);
    }
    emit latestFileChanged(d->latestFile);
}
