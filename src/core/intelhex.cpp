#include "intelhex.h"

#include <QList>

#include <vector>

namespace IntelHex
{

namespace
{

QString hex(qint64 value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

ParseResult fail(int line, const QString &why)
{
    ParseResult r;
    r.line = line;
    r.error = line > 0 ? QStringLiteral("line %1: %2").arg(line).arg(why) : why;
    return r;
}

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

ParseResult Parse(const QByteArray &text, int limit, const QString &limitName)
{
    std::vector<int> lineOf(static_cast<size_t>(qMax(limit, 0)), 0); // 0: not given
    QByteArray image(qMax(limit, 0), char(0xFF));
    qint64 base = 0;
    int highest = -1; // highest address given
    int eofLine = 0;

    const QList<QByteArray> lines = text.split('\n');
    for (int index = 0; index < lines.size(); ++index) {
        const int lineNo = index + 1;
        const QByteArray line = lines.at(index).trimmed();
        if (line.isEmpty() || line == "\x1A") // blank, or a DOS end-of-file mark
            continue;
        if (eofLine > 0)
            return fail(
                lineNo,
                QStringLiteral("a record after the end-of-file record of line %1").arg(eofLine));
        if (line.at(0) != ':')
            return fail(lineNo, QStringLiteral("a record must start with ':'"));
        const QByteArray digits = line.mid(1);
        for (char c : digits) {
            if (digitValue(c) < 0)
                return fail(lineNo, QStringLiteral("'%1' is not a hexadecimal digit")
                                        .arg(QString::fromLatin1(QByteArray(1, c))));
        }
        if (digits.size() % 2 != 0)
            return fail(
                lineNo,
                QStringLiteral("an odd number of hexadecimal digits (%1)").arg(digits.size()));
        QByteArray bytes;
        for (int i = 0; i < digits.size(); i += 2)
            bytes.append(
                static_cast<char>(digitValue(digits.at(i)) * 16 + digitValue(digits.at(i + 1))));
        if (bytes.size() < 5)
            return fail(lineNo, QStringLiteral("too short for a record"));
        auto byteAt = [&bytes](int i) {
            return static_cast<int>(static_cast<quint8>(bytes.at(i)));
        };
        const int count = byteAt(0);
        if (bytes.size() != count + 5)
            return fail(lineNo, QStringLiteral("the record announces %1 data bytes but holds %2")
                                    .arg(count)
                                    .arg(bytes.size() - 5));
        int sum = 0;
        for (int i = 0; i < bytes.size() - 1; ++i)
            sum += byteAt(i);
        const int expectedChecksum = (256 - sum % 256) % 256;
        const int checksum = byteAt(static_cast<int>(bytes.size()) - 1);
        if (checksum != expectedChecksum)
            return fail(lineNo, QStringLiteral("checksum %1, the record's bytes need %2")
                                    .arg(hex(checksum, 2), hex(expectedChecksum, 2)));

        const int offset = byteAt(1) * 256 + byteAt(2);
        const int type = byteAt(3);
        auto needCount = [&](int n, const char *what) -> ParseResult {
            return fail(lineNo, QStringLiteral("%1 record with %2 data bytes (it takes %3)")
                                    .arg(QLatin1String(what))
                                    .arg(count)
                                    .arg(n));
        };
        switch (type) {
        case 0x00: {
            if (count == 0)
                break;
            const qint64 first = base + offset;
            const qint64 last = first + count - 1;
            if (last >= limit)
                return fail(lineNo, QStringLiteral("bytes %1-%2 lie outside %3 (0000-%4)")
                                        .arg(hex(first, 4), hex(last, 4), limitName,
                                             hex(qMax(limit - 1, 0), 4)));
            for (int i = 0; i < count; ++i) {
                const auto address = static_cast<size_t>(first + i);
                const char value = bytes.at(4 + i);
                const int earlier = lineOf[address];
                if (earlier > 0 && image.at(static_cast<int>(address)) != value)
                    return fail(lineNo,
                                QStringLiteral("address %1 was given %2 on line %3, now %4")
                                    .arg(hex(static_cast<qint64>(address), 4),
                                         hex(static_cast<quint8>(image.at(int(address))), 2))
                                    .arg(earlier)
                                    .arg(hex(static_cast<quint8>(value), 2)));
                image[static_cast<int>(address)] = value;
                lineOf[address] = lineNo;
            }
            highest = qMax(highest, static_cast<int>(last));
            break;
        }
        case 0x01:
            if (count != 0)
                return needCount(0, "an end-of-file");
            eofLine = lineNo;
            break;
        case 0x02:
            if (count != 2)
                return needCount(2, "an extended segment address");
            base = static_cast<qint64>(byteAt(4) * 256 + byteAt(5)) << 4;
            break;
        case 0x04:
            if (count != 2)
                return needCount(2, "an extended linear address");
            base = static_cast<qint64>(byteAt(4) * 256 + byteAt(5)) << 16;
            break;
        case 0x03:
        case 0x05:
            if (count != 4)
                return needCount(4, "a start address");
            break;
        default:
            return fail(lineNo, QStringLiteral("unknown record type %1").arg(hex(type, 2)));
        }
    }
    if (eofLine == 0)
        return fail(0, QStringLiteral("no end-of-file record: the file is incomplete"));
    if (highest < 0)
        return fail(0, QStringLiteral("no data records"));
    ParseResult r;
    r.ok = true;
    r.image = image.left(highest + 1);
    return r;
}

QByteArray Format(const QByteArray &image)
{
    QByteArray out;
    auto record = [&out](int type, int address, const QByteArray &data) {
        QByteArray bytes;
        bytes.append(static_cast<char>(data.size()));
        bytes.append(static_cast<char>((address >> 8) & 0xFF));
        bytes.append(static_cast<char>(address & 0xFF));
        bytes.append(static_cast<char>(type));
        bytes.append(data);
        int sum = 0;
        for (char b : bytes)
            sum += static_cast<quint8>(b);
        bytes.append(static_cast<char>((256 - sum % 256) % 256));
        out += ':' + bytes.toHex().toUpper() + '\n';
    };
    int upper = 0;
    for (int address = 0; address < image.size(); address += 16) {
        if ((address >> 16) != upper) {
            upper = address >> 16;
            QByteArray value;
            value.append(static_cast<char>((upper >> 8) & 0xFF));
            value.append(static_cast<char>(upper & 0xFF));
            record(0x04, 0, value);
        }
        record(0x00, address & 0xFFFF, image.mid(address, 16));
    }
    record(0x01, 0, QByteArray());
    return out;
}

bool IsHexFileName(const QString &path)
{
    const QString lower = path.toLower();
    return lower.endsWith(QLatin1String(".hex")) || lower.endsWith(QLatin1String(".ihx")) ||
           lower.endsWith(QLatin1String(".ihex"));
}

} // namespace IntelHex
