#include "requests.h"

#include "core/bufferlimits.h"

qint16 hexDigitValue(const QString &text)
{
    if (text.isEmpty())
        return 16;
    const char16_t c = text.at(0).unicode();
    if (c >= u'A' && c <= u'F')
        return static_cast<qint16>(c - u'A' + 10);
    if (c >= u'a' && c <= u'f')
        return static_cast<qint16>(c - u'a' + 10);
    if (c >= u'0' && c <= u'9')
        return static_cast<qint16>(c - u'0');
    return 16;
}

qint32 hexPairToByte(const QString &text)
{
    if (text.isEmpty())
        return 256;
    const qint32 hi = hexDigitValue(text.left(1));
    const qint32 lo = hexDigitValue(text.right(1));
    if (lo > 15 || hi > 15)
        return 256;
    return hi * 16 + lo;
}

FillText checkFillText(const QString &text)
{
    FillText result;
    if (text.size() != 2)
        return result;
    const qint32 value = hexPairToByte(text);
    if (value > 255)
        return result;
    result.ok = true;
    result.value = static_cast<quint8>(value);
    return result;
}

DumpText checkDumpText(const QString &text)
{
    DumpText result;
    if (text.isEmpty())
        return result;
    result.verdict = DumpText::Invalid;
    if (text.size() != 4)
        return result;
    const int d1 = hexDigitValue(text.mid(0, 1));
    const int d2 = hexDigitValue(text.mid(1, 1));
    const int d3 = hexDigitValue(text.mid(2, 1));
    const int d4 = hexDigitValue(text.mid(3, 1));
    if (d1 > 1 || d2 > 15 || d3 > 15 || d4 > 15)
        return result;
    const int address = d1 * 4096 + d2 * 256 + d3 * 16 + d4;
    if (address > BufferLimits::DumpMemoryLength - 1) {
        result.verdict = DumpText::BeyondMemory;
        return result;
    }
    result.verdict = DumpText::Ok;
    result.address = address;
    return result;
}

QByteArray fillRequest(quint8 value)
{
    return QByteArray("F", 1) + static_cast<char>(value);
}

QByteArray dumpRequest(int address)
{
    return QByteArray("d", 1) + static_cast<char>(address / 256) + static_cast<char>(address % 256);
}
