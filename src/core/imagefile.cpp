#include "imagefile.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace ImageFile
{

namespace
{

// An 8051 addresses 64 KiB of program memory; a HEX file for these chips stays below.
constexpr int HexAddressSpace = 64 * 1024;

ReadResult fromHex(const QByteArray &text, qint64 limit)
{
    ReadResult r;
    r.hex = true;
    r.hexFile = IntelHex::parse(text, HexAddressSpace,
                                QStringLiteral("the 64 KiB of program memory an 8051 addresses"));
    if (!r.hexFile.ok) {
        r.status = ReadResult::HexError;
        return r;
    }
    r.imageSize = r.hexFile.image.size();
    if (r.imageSize > limit)
        r.status = ReadResult::TooLarge;
    else
        r.imageBytes = r.hexFile.image;
    r.hexFile.image.clear();
    return r;
}

} // namespace

ReadResult readImage(const QString &path, qint64 limit)
{
    ReadResult r;
    QFile file;
    if (!openRegularFile(file, path, QIODevice::ReadOnly, false, &r.error)) {
        r.status = ReadResult::Unreadable;
        return r;
    }
    r.imageSize = file.size();
    if (r.imageSize > MaxHexFileSize) { // too large as raw bytes and as HEX
        r.status = ReadResult::TooLarge;
        return r;
    }
    errno = 0;
    const QByteArray content = file.read(r.imageSize);
    if (content.size() != r.imageSize) {
        r.status = ReadResult::Unreadable;
        r.error = FileError::fromErrno(errno, path);
        return r;
    }
    if (IntelHex::isHexText(content))
        return fromHex(content, limit);
    if (r.imageSize > limit)
        r.status = ReadResult::TooLarge;
    else
        r.imageBytes = content;
    return r;
}

quint16 checksum(const QByteArray &bytes)
{
    quint32 sum = 0;
    for (char b : bytes)
        sum += static_cast<quint8>(b);
    return static_cast<quint16>(sum % 65536);
}

bool writeWholeFile(const QString &path, const QByteArray &bytes, FileError *error)
{
    QSaveFile file(path);
    // A folder that may not be written to cannot take the file beside the old one; an
    // existing file there that may be written is then written in place. The bytes are all
    // in hand before the file is opened, so only a failing disk can leave it half written.
    file.setDirectWriteFallback(true);
    errno = 0;
    // Unbuffered: a write that the disk cuts short (full, or past the file size limit)
    // shows in write()'s count. Buffered, it would show only in the flush at commit(),
    // whose failure commit() does not report, and a part of the block would replace the
    // old file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = FileError::ofWrite(path, errno);
        return false;
    }
    bool written = file.write(bytes) == bytes.size();
#ifdef Q_OS_UNIX
    // What the disk could not store after all shows here, before the old file is replaced
    // (a file system that keeps nothing to sync answers EINVAL).
    written = written && (::fsync(file.handle()) == 0 || errno == EINVAL);
#endif
    if (!written) {
        *error = FileError::ofWrite(path, errno);
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = FileError::ofWrite(path, errno);
        return false;
    }
    return true;
}

} // namespace ImageFile
