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

bool Workbench::mayStartTransfer()
{
    if (d->session.isBusy()) {
        show(Notice::Busy);
        return false;
    }
    if (d->session.isSearching()) {
        show(Notice::Searching);
        return false;
    }
    return true;
}

void Workbench::load()
{
    if (!mayStartTransfer())
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
    if (!mayStartTransfer())
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
    d->checksum = ImageFile::checksum(image.imageBytes);
    d->transfer = static_cast<char>(command);
    const Refusal refusal = d->session.sendImage(command, image.imageBytes);
    if (refusal != Refusal::None) {
        d->transfer = 0;
        showRefusal(refusal);
        emit latestFileChanged(d->latestFile);
    }
}

void Workbench::onImageFinished(SendResult result)
{
    const char letter = d->transfer;
    if (letter != 'L' && letter != 'Q')
        return;
    d->transfer = 0;
    if (result == SendResult::Sent && letter == 'Q')
        show(Notice::ExpressCompleted, d->checksum);
    else if (result == SendResult::Sent)
        show(Notice::LoadCompleted);
    else if (result == SendResult::NotConnected)
        show(Notice::NotConnected);
    // A removal has been told already, when the session found it.
    emit latestFileChanged(d->latestFile);
}

bool Workbench::offerSave()
{
    if (!mayStartTransfer())
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
    d->transfer = 'S';
    d->saveBytes = bytes;
    if (d->session.readBlock(bytes) != Refusal::None) {
        d->transfer = 0;
        d->session.release();
        return false;
    }
    return true;
}

void Workbench::saveAbandoned()
{
    show(Notice::SaveCancelled);
}

void Workbench::onBlockFinished(BlockResult result, const QByteArray &bytes)
{
    if (d->transfer != 'S')
        return;
    d->transfer = 0;
    if (result == BlockResult::Complete) {
        FileError why;
        if (!ImageFile::writeWholeFile(d->latestFile, bytes, &why)) {
            emit notice(Notice(Notice::SaveWriteFailed, d->latestFile, why.chinese()));
        }
    } else if (result == BlockResult::Short) {
        Notice n(Notice::SaveShort);
        n.number = bytes.size();
        n.second = d->saveBytes;
        emit notice(n);
    } else if (result == BlockResult::Overrun) {
        emit notice(Notice(Notice::SaveOverrun, d->saveBytes));
    } else if (result == BlockResult::NotConnected) {
        show(Notice::NotConnected);
    }
    emit latestFileChanged(d->latestFile);
}
