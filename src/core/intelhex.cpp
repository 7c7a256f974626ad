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

ParseResult fail(int line, const QString &why, ParseResult::Problem problem = ParseResult::OnLine)
{
    ParseResult r;
    r.problem = problem;
    r.line = line;
    r.error = line > 0 ? QStringLiteral("line %1: %2").arg(QString::number(line), why) : why;
    return r;
}

ParseResult accepted()
{
    ParseResult r;
    r.ok = true;
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

// A byte of the file as an error shows it: printable ASCII as it is, anything else escaped,
// so that no control character reaches a terminal or a text box.
QString shown(char c)
{
    switch (c) {
    case '\\':
        return QStringLiteral("\\\\");
    case '\t':
        return QStringLiteral("\\t");
    case '\r':
        return QStringLiteral("\\r");
    case '\n':
        return QStringLiteral("\\n");
    default:
        break;
    }
    const auto u = static_cast<quint8>(c);
    if (u < 0x20 || u >= 0x7F)
        return QStringLiteral("\\x") + hex(u, 2);
    return QString(QLatin1Char(c));
}

// The file's lines: CR LF, LF and CR alone each end one. A UTF-8 byte-order mark at the
// start is not part of the first line.
QList<QByteArray> splitLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    qsizetype from = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text.at(i) != '\r' && text.at(i) != '\n')
            continue;
        lines.append(text.mid(from, i - from));
        if (text.at(i) == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n')
            ++i;
        from = i + 1;
    }
    lines.append(text.mid(from));
    return lines;
}

// One line's record bytes (count, address, type, data, checksum), checked; on failure an
// error result. Whatever follows an end-of-file record on its line is not part of it.
ParseResult decodeRecord(const QByteArray &line, int lineNo, QByteArray &bytes)
{
    if (line.at(0) != ':')
        return fail(
            lineNo,
            QStringLiteral("a record must start with ':', not '%1'").arg(shown(line.at(0))));
    QByteArray digits = line.mid(1);
    if (digits.size() > 10 && digits.startsWith("00") && digits.mid(6, 2) == "01")
        digits.truncate(10);
    for (char c : digits) {
        if (digitValue(c) < 0)
            return fail(lineNo, QStringLiteral("'%1' is not a hexadecimal digit").arg(shown(c)));
    }
    if (digits.size() % 2 != 0)
        return fail(lineNo,
                    QStringLiteral("an odd number of hexadecimal digits (%1)").arg(digits.size()));
    bytes.clear();
    for (int i = 0; i < digits.size(); i += 2)
        bytes.append(
            static_cast<char>(digitValue(digits.at(i)) * 16 + digitValue(digits.at(i + 1))));
    if (bytes.size() < 5)
        return fail(lineNo, QStringLiteral("too short for a record"));
    const int count = static_cast<quint8>(bytes.at(0));
    if (bytes.size() != count + 5)
        return fail(lineNo, QStringLiteral("the record announces %1 data bytes but holds %2")
                                .arg(QString::number(count), QString::number(bytes.size() - 5)));
    int sum = 0;
    for (int i = 0; i < bytes.size() - 1; ++i)
        sum += static_cast<quint8>(bytes.at(i));
    const int expectedChecksum = (256 - sum % 256) % 256;
    const int checksum = static_cast<quint8>(bytes.back());
    if (checksum != expectedChecksum)
        return fail(lineNo, QStringLiteral("checksum %1, the record's bytes need %2")
                                .arg(hex(checksum, 2), hex(expectedChecksum, 2)));
    return accepted();
}

// The image being built, and on which line each byte was given.
struct Collector {
    Collector(int limit, const QString &limitName)
        : limit(qMax(limit, 0)), limitName(limitName), image(this->limit, char(0xFF)),
          lineOf(static_cast<size_t>(this->limit), 0)
    {
    }

    // One checked record (see decodeRecord); an error result when it cannot be taken.
    ParseResult apply(const QByteArray &bytes, int lineNo);
    // A data record's bytes at first..; an error result when they do not fit or clash.
    ParseResult store(qint64 first, const QByteArray &data, int lineNo);

    int limit;
    QString limitName;
    QByteArray image;
    std::vector<int> lineOf; // 0: not given
    int highest = -1;        // highest address given
    qint64 base = 0;         // from the latest extended address record
    bool ended = false;      // the end-of-file record has been read
};

ParseResult wrongCount(int lineNo, const char *what, int count, int takes)
{
    return fail(lineNo,
                QStringLiteral("%1 record with %2 data bytes (it takes %3)")
                    .arg(QLatin1String(what), QString::number(count), QString::number(takes)));
}

ParseResult Collector::apply(const QByteArray &bytes, int lineNo)
{
    const int count = static_cast<quint8>(bytes.at(0));
    const int offset = static_cast<quint8>(bytes.at(1)) * 256 + static_cast<quint8>(bytes.at(2));
    const int type = static_cast<quint8>(bytes.at(3));
    const int value =
        count == 2 ? static_cast<quint8>(bytes.at(4)) * 256 + static_cast<quint8>(bytes.at(5)) : 0;
    switch (type) {
    case 0x00:
        return count > 0 ? store(base + offset, bytes.mid(4, count), lineNo) : accepted();
    case 0x01: // nothing after it is read
        if (count != 0)
            return wrongCount(lineNo, "an end-of-file", count, 0);
        ended = true;
        return accepted();
    case 0x02:
    case 0x04:
        if (count != 2)
            return wrongCount(
                lineNo, type == 0x02 ? "an extended segment address" : "an extended linear address",
                count, 2);
        base = static_cast<qint64>(value) << (type == 0x02 ? 4 : 16);
        return accepted();
    case 0x03:
    case 0x05:
        return count == 4 ? accepted() : wrongCount(lineNo, "a start address", count, 4);
    default:
        return fail(lineNo, QStringLiteral("unknown record type %1").arg(hex(type, 2)));
    }
}

ParseResult Collector::store(qint64 first, const QByteArray &data, int lineNo)
{
    const qint64 last = first + data.size() - 1;
    if (last >= limit)
        return fail(lineNo,
                    QStringLiteral("bytes %1-%2 lie outside %3 (0000-%4)")
                        .arg(hex(first, 4), hex(last, 4), limitName, hex(qMax(limit - 1, 0), 4)));
    for (int i = 0; i < data.size(); ++i) {
        const auto address = static_cast<size_t>(first + i);
        const char value = data.at(i);
        const int earlier = lineOf[address];
        if (earlier > 0 && image.at(static_cast<int>(address)) != value)
            return fail(lineNo,
                        QStringLiteral("address %1 was given %2 on line %3, now %4")
                            .arg(hex(static_cast<qint64>(address), 4),
                                 hex(static_cast<quint8>(image.at(int(address))), 2),
                                 QString::number(earlier), hex(static_cast<quint8>(value), 2)));
        image[static_cast<int>(address)] = value;
        lineOf[address] = lineNo;
    }
    highest = qMax(highest, static_cast<int>(last));
    return accepted();
}

// The lines parse() passes over: blank, or a DOS end-of-file mark.
bool isSkipped(const QByteArray &trimmedLine)
{
    return trimmedLine.isEmpty() || trimmedLine == "\x1A";
}

} // namespace

ParseResult parse(const QByteArray &text, int limit, const QString &limitName)
{
    Collector collected(limit, limitName);
    const QList<QByteArray> lines = splitLines(text);
    for (int index = 0; index < lines.size() && !collected.ended; ++index) {
        const int lineNo = index + 1;
        const QByteArray line = lines.at(index).trimmed();
        if (isSkipped(line))
            continue;
        QByteArray bytes;
        ParseResult step = decodeRecord(line, lineNo, bytes);
        if (step.ok)
            step = collected.apply(bytes, lineNo);
        if (!step.ok)
            return step;
    }
    if (!collected.ended)
        return fail(0, QStringLiteral("no end-of-file record: the file is incomplete"),
                    ParseResult::NoEnd);
    if (collected.highest < 0)
        return fail(0, QStringLiteral("no data records"), ParseResult::NoData);
    ParseResult r;
    r.ok = true;
    r.image = collected.image.left(collected.highest + 1);
    return r;
}

QByteArray format(const QByteArray &image)
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

bool isHexText(const QByteArray &text)
{
    for (const QByteArray &untrimmed : splitLines(text)) {
        const QByteArray line = untrimmed.trimmed();
        if (isSkipped(line))
            continue;
        if (line.size() < 11 || line.at(0) != ':')
            return false;
        for (int i = 1; i < 11; ++i) {
            if (digitValue(line.at(i)) < 0)
                return false;
        }
        return true;
    }
    return false;
}

bool isHexFileName(const QString &path)
{
    const QString lower = path.toLower();
    return lower.endsWith(QLatin1String(".hex")) || lower.endsWith(QLatin1String(".ihx")) ||
           lower.endsWith(QLatin1String(".ihex"));
}

} // namespace IntelHex
