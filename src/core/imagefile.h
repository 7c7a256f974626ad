#pragma once

#include "core/bufferlimits.h"
#include "core/fileerror.h"
#include "core/intelhex.h"

#include <QByteArray>
#include <QString>

// Image files: a *.tsk file holds the raw image bytes, nothing else; an Intel HEX file, as
// the compilers for these chips write it, describes the image in text.
namespace ImageFile
{

// The largest image Load and Express can send.
constexpr qint64 MaxImageSize = BufferLimits::MaxImageSize;
// A longer file is never read as Intel HEX: a HEX file of 4999 bytes takes about 14 KB.
constexpr qint64 MaxHexFileSize = 1024 * 1024;

struct ReadResult {
    enum Status { Ok, Unreadable, TooLarge, HexError };
    Status status = Ok;
    bool hex = false; // the file was read as Intel HEX
    QByteArray imageBytes;
    qint64 imageSize = 0;          // the image's length, also when it is too large
    FileError error;               // Unreadable: why
    IntelHex::ParseResult hexFile; // HexError: the line and why
};

// Reads an image file for sending. A file whose content is Intel HEX (IntelHex::isHexText),
// whatever its name, gives the image from address 0 to its last byte, gaps filled with FF;
// any error in it refuses the file. Any other file is the image byte for byte; one longer
// than MaxHexFileSize is refused without being read. An image longer than limit is
// refused. Never creates a file; the file is closed on every path.
ReadResult readImage(const QString &path, qint64 limit = MaxImageSize);

// The 16-bit byte sum of an image.
quint16 checksum(const QByteArray &bytes);

// Writes bytes as the whole file. The new content goes to a file beside it and replaces
// the old file only once it is complete, so a failed write leaves the old file as it was.
// In a folder that may not be written to, an existing file that may be written is
// overwritten in place instead.
bool writeWholeFile(const QString &path, const QByteArray &bytes, FileError *error);

} // namespace ImageFile
