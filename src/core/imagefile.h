#pragma once

#include "core/bufferlimits.h"

#include <QByteArray>
#include <QString>

// The *.tsk image file: the raw image bytes, nothing else.
namespace ImageFile
{

// The largest image Load and Express can send.
constexpr qint64 MaxImageSize = BufferLimits::MaxImageSize;

struct ReadResult {
    enum Status { Ok, Missing, NotAFile, Unreadable, TooLarge };
    Status status = Ok;
    QByteArray ImageBytes;
    qint64 ImageSize = 0; // the file's length, also when it is too large
    QString error;
};

// Reads a whole image file. Never creates a file; refuses one longer than MaxImageSize
// without reading it. The file is closed on every path.
ReadResult ReadWholeFile(const QString &path);

// The 16-bit byte sum of an image.
quint16 Checksum(const QByteArray &bytes);

// Writes bytes as the whole file. The new content goes to a file beside it and replaces
// the old file only once it is complete, so a failed write leaves the old file as it was.
// In a folder that may not be written to, an existing file that may be written is
// overwritten in place instead.
bool WriteWholeFile(const QString &path, const QByteArray &bytes, QString *error);

} // namespace ImageFile
