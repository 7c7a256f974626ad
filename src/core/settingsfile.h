#pragma once

#include <QString>

class FileError;

// The one-line settings files tsk.log and chip.log.
//
// A value is the first line of its file: the characters up to the first CR, LF or CR LF,
// or to the end of the file. Values are written alone, with no line end, replacing the
// whole content. Text is 8-bit in the system's locale encoding (UTF-8 on Linux), so a
// path with non-ASCII characters survives a round trip. Only a regular file (or a link to
// one) is read or written; a FIFO, a device or a socket is a failure, found without
// waiting on it.
namespace SettingsFile
{

// Builds "<dir><separator><name>" by plain concatenation.
QString pathIn(const QString &directory, const QString &name);

// The value that a file of these bytes holds: the bytes up to the first CR or LF, or all
// of them, decoded as 8-bit text in the locale encoding.
QString firstLine(const QByteArray &bytes);

enum class ReadResult { Ok, CreatedEmpty, Failed };

// Reads the first line into *value (empty for an empty or new file). A missing file is
// created empty. On failure *value is left empty and *error says why.
ReadResult readValue(const QString &path, QString *value, FileError *error);

// Replaces the file's content with value, without creating a missing file.
bool writeValue(const QString &path, const QString &value, FileError *error);

} // namespace SettingsFile
