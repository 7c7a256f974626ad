#pragma once

#include <QByteArray>
#include <QString>

// Intel HEX chip images, as compilers for the 8051 (SDCC, Keil) write them.
//
// Accepted records: data (00), end of file (01), extended segment address (02), extended
// linear address (04); the start address records (03, 05) name where the program starts
// and are accepted and ignored. Every record's length and checksum are checked; an error
// names the line (counted from 1) and shows any character it quotes from the file escaped
// (\x1A, \t) when it is not printable ASCII. A UTF-8 byte-order mark at the start is
// skipped; blank lines and lines holding only Ctrl+Z are ignored; CR LF, LF and CR alone
// each end a line; upper- and lower-case digits are both accepted. Records may come in any
// order; a byte given twice must have the same value both times. The end-of-file record is
// required (a file cut short is refused); whatever follows it, on its line or after
// (Ctrl+Z, NUL padding, text, more records), is not read.
namespace IntelHex
{

struct ParseResult {
    // What kept the file from being taken: an error on a line, no end-of-file record, or
    // no data records.
    enum Problem { None, OnLine, NoEnd, NoData };
    bool ok = false;
    Problem problem = None;
    // The image from address 0 to the highest address given, gaps filled with 0xFF.
    QByteArray image;
    // On failure: the line the error is on (0 when it belongs to no single line), and why.
    int line = 0;
    QString error;
};

// Parses text. Every data byte must lie below limit; limitName says what the limit is in
// the error, e.g. "the AT89C2051's 2048 bytes of flash". A file without data is refused.
ParseResult parse(const QByteArray &text, int limit, const QString &limitName);

// The image as data records of 16 bytes from address 0, then the end-of-file record.
QByteArray format(const QByteArray &image);

// True when text is to be read as Intel HEX rather than as raw image bytes: after an
// optional UTF-8 byte-order mark and any lines that are blank or hold only Ctrl+Z (the
// lines parse() skips), the first line, without spaces around it, begins with ':' and ten
// hexadecimal digits, as much as the shortest record holds. Whatever the rest holds (a bad
// checksum, a wrong count, another character) is an error in a HEX file. Every text that
// parse() accepts passes; a raw image would need its first eleven bytes to be ':' and ASCII
// hexadecimal digits, which 8051 code does not begin with.
bool isHexText(const QByteArray &text);

// True for the names that Intel HEX files go by: *.hex, *.ihx, *.ihex (any case).
bool isHexFileName(const QString &path);

} // namespace IntelHex
