#include "hex.h"

qint16 HexDigitValue(const QString &text)
{
    if (text.isEmpty())
        return 16;
    const char16_t code = text.at(0).unicode();
    if (code > 64 && code < 71)
        return static_cast<qint16>(code - 65 + 10);
    if (code > 96 && code < 103)
        return static_cast<qint16>(code - 97 + 10);
    if (code > 47 && code < 58)
        return static_cast<qint16>(code - 48);
    return 16;
}

qint32 HexPairToByte(const QString &text)
{
    if (text.isEmpty())
        return 256;
    const qint32 hi = HexDigitValue(text.left(1));
    const qint32 lo = HexDigitValue(text.right(1));
    if (lo > 15 || hi > 15)
        return 256;
    return hi * 16 + lo;
}
