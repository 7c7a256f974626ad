#pragma once

#include <QByteArray>
#include <QString>

class Console;

// Image files as the tool reads and writes them. A file is read as Intel HEX when its
// content is, whatever its name (ImageFile::readImage); it is written as Intel HEX when its
// name is *.hex, *.ihx or *.ihex, else as raw bytes. Each returns an exit code, having said
// why when it fails.
namespace Images
{

// Reads an image whose bytes must lie below limit; limitName says what the limit is.
int read(Console &console, const QString &path, int limit, const QString &limitName,
         QByteArray *image);
// Refuses a path that cannot be written (a folder, or in a missing folder).
int checkOutput(Console &console, const QString &path);
int write(Console &console, const QString &path, const QByteArray &image);

// "the AT89C2051's 2048 bytes of flash", "the programmer's 4999-byte buffer".
QString chipLimitName(int chip);
QString bufferLimitName();

// The block size of --size (1K, 2K, 4K): by default the chip's flash (chip -1: none, the
// size must be given). Usage when the text is none of them.
int size(Console &console, const QString &text, int chip, int *bytes);

} // namespace Images
