#pragma once

#include <QString>

// Hexadecimal text to numbers; invalid text gives an out-of-range result, not an error.

// 0 to 15 for the first character "0"-"9", "A"-"F", "a"-"f"; 16 for anything else
// (including an empty text).
qint16 HexDigitValue(const QString &text);

// First character the high nibble, last character the low nibble (characters between
// are ignored; one character serves as both). 0 to 255, or 256 when either is not a
// hexadecimal digit.
qint32 HexPairToByte(const QString &text);
