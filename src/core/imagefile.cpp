#include "imagefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace ImageFile
{

ReadResult ReadWholeFile(const QString &path)
{
    ReadResult r;
    const QFileInfo info(path);
    if (!info.exists()) {
        r.status = ReadResult::Missing;
        return r;
    }
    if (!info.isFile()) {
        r.status = ReadResult::NotAFile;
        return r;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        r.status = ReadResult::Unreadable;
        r.error = file.errorString();
        return r;
    }
    r.ImageSize = file.size();
    if (r.ImageSize > MaxImageSize) {
        r.status = ReadResult::TooLarge;
        return r;
    }
    r.ImageBytes = file.readAll();
    if (file.error() != QFileDevice::NoError || r.ImageBytes.size() != r.ImageSize) {
        r.status = ReadResult::Unreadable;
        r.error = file.errorString();
        r.ImageBytes.clear();
    }
    return r;
}

quint16 Checksum(const QByteArray &bytes)
{
    quint32 sum = 0;
    for (char b : bytes)
        sum += static_cast<quint8>(b);
    return static_cast<quint16>(sum % 65536);
}

bool WriteWholeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    // A folder that may not be written to cannot take the file beside the old one; an
    // existing file there that may be written is then written in place. The bytes are all
    // in hand before the file is opened, so only a failing disk can leave it half written.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace ImageFile
