#include "core/intelhex.h"
#include "rig.h"

namespace
{
// A record with its checksum: the two's complement of the sum of its bytes.
QByteArray rec(int address, int type, const QByteArray &data)
{
    QByteArray bytes;
    bytes.append(char(data.size())).append(char(address >> 8)).append(char(address));
    bytes.append(char(type)).append(data);
    int sum = 0;
    for (char b : bytes)
        sum += static_cast<quint8>(b);
    return ':' + bytes.append(char(-sum)).toHex().toUpper() + '\n';
}
QByteArray data(int address, const QByteArray &bytes)
{
    return rec(address, 0x00, bytes);
}
QByteArray ff(int n)
{
    return QByteArray(n, char(0xFF));
}
const QByteArray eof(":00000001FF\n");
const QByteArray abc(":0300000002000AF1\n"); // 02 00 0A at 0
const QByteArray abcImage("\x02\x00\x0A", 3);
const QByteArray bom("\xEF\xBB\xBF");

void ok(const char *name, const QByteArray &text, const QByteArray &image, int limit = 2048)
{
    QTest::newRow(name) << text << limit << image << -1 << QString();
}
void bad(const char *name, const QByteArray &text, int line, const QString &has, int limit = 2048)
{
    QTest::newRow(name) << text << limit << QByteArray() << line << has;
}
} // namespace

// Intel HEX images: records, addresses, gaps, and every way a file can be refused.
class TstIntelHex : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        // errorLine -1: accepted; 0: refused, on no line in particular.
        columns<QByteArray, int, QByteArray, int, QString>("text", "limit", "image", "errorLine",
                                                           "errorHas");
        const QByteArray gap = QByteArray("\x01\x02") + ff(14) + "\x03";
        ok("one record", abc + eof, abcImage);
        ok("out of order, gap filled with FF", data(0x10, "\x03") + data(0, "\x01\x02") + eof, gap);
        ok("extended linear address 0", rec(0, 4, QByteArray(2, '\0')) + abc + eof, abcImage);
        ok("extended segment address 0010",
           rec(0, 2, QByteArray("\x00\x10", 2)) + data(0, "\x77") + eof, ff(0x100) + "\x77");
        ok("start addresses ignored",
           abc + rec(0, 3, QByteArray(4, '\0')) + rec(0, 5, QByteArray(4, '\0')) + eof, abcImage);
        ok("CR LF, lower case, blank lines",
           QByteArray(abc).replace('\n', "\r\n").toLower() + "\r\n\r\n" + eof, abcImage);
        ok("same byte twice, same value", data(0, "\x01\x02") + data(1, "\x02\x03") + eof,
           "\x01\x02\x03");
        ok("last byte of the buffer", data(4998, "\x42") + eof, ff(4998) + "\x42", 4999);
        ok("byte-order mark, CR LF", bom + QByteArray(abc + eof).replace('\n', "\r\n"), abcImage);
        ok("CR only, blank lines, no end",
           "\r\r" + QByteArray(abc).replace('\n', '\r') + "\r\r:00000001FF", abcImage);
        ok("Ctrl+Z after the end", abc + ":00000001FF\x1A", abcImage);
        ok("text and records after the end",
           abc + eof + "; made by the linker\n" + data(3, "\x01") + ":01100000FF00\n", abcImage);

        bad("beyond 4K", abc + data(0x1000, "\x01") + eof, 2, "1000-1000", 4096);
        bad("across the end of 4K", data(0x0FFF, "\x01\x02") + eof, 1, "0FFF-1000", 4096);
        bad("beyond the buffer", data(4999, "\x01") + eof, 1, "1387", 4999);
        bad("extended linear address 1",
            rec(0, 4, QByteArray("\x00\x01", 2)) + data(0, "\x01") + eof, 2, "10000", 4096);
        // LF, CR and CR LF each end a line (the second is blank): line 4's checksum is wrong.
        bad("bad checksum", ":0100000001FE\n\r:0100010002FC\r\n:0100020003FB\n" + eof, 4,
            "checksum");
        bad("bad checksum, end of file", ":0100000001FE\n:00000001FE\x1A", 2, "checksum");
        bad("odd number of digits", ":0100000001FE\n:0100010002F\n" + eof, 2, "odd");
        bad("count says more", ":030000000102FA\n" + eof, 1, "announces 3");
        bad("too short", ":0000\n" + eof, 1, "too short");
        bad("no colon", "0100000001FE\n" + eof, 1, "':'");
        bad("no end-of-file record", abc + data(3, "\x01"), 0, "end-of-file");
        bad("end-of-file record with data", abc + rec(0, 1, QByteArray(1, '\0')), 2, "end-of-file");
        bad("extended address of 1 byte", rec(0, 4, QByteArray(1, '\0')) + abc + eof, 1,
            "extended linear");
        bad("unknown record type", abc + rec(0, 6, QByteArray(1, '\0')) + eof, 2, "type 06");
        bad("same byte twice, two values", data(0, "\x01\x02") + data(1, "\x09") + eof, 2,
            "line 1");
        bad("no data at all", eof, 0, "no data");
        bad("empty file", QByteArray(), 0, "end-of-file");
        // The limit's name and the file's characters are shown as written; characters that
        // are not printable ASCII escaped.
        bad("beyond 2K", data(0x0800, "\x01") + eof, 1,
            "line 1: bytes 0800-0800 lie outside %1 of %2 (%3) (0000-07FF)");
        bad("percent sign", ":0100%20001FE\n" + eof, 1, "line 1: '%' is not a hexadecimal digit");
        bad("NUL", QByteArray(":0100\x00", 6) + "0001FE\n" + eof, 1, "'\\x00' is not");
        bad("UTF-8 letter", ":0100é0001FE\n" + eof, 1, "'\\xC3' is not");
        bad("byte-order mark on line 2", abc + bom + eof, 2, "must start with ':', not '\\xEF'");
        bad("delete", "\x7F" + abc + eof, 1, "line 1: a record must start with ':', not '\\x7F'");
    }
    void parse()
    {
        const auto [text, limit, image, errorLine, errorHas] =
            fetch<QByteArray, int, QByteArray, int, QString>("text", "limit", "image", "errorLine",
                                                             "errorHas");
        const IntelHex::ParseResult r =
            IntelHex::Parse(text, limit, QStringLiteral("%1 of %2 (%3)"));
        QVERIFY2(r.ok == (errorLine < 0), qPrintable(r.error));
        QCOMPARE(r.image.toHex(' '), image.toHex(' '));
        if (r.ok)
            return;
        QCOMPARE(r.line, errorLine);
        for (const QChar c : r.error)
            QVERIFY2(c.unicode() >= 0x20 && c.unicode() != 0x7F, qPrintable(r.error));
        if (errorLine > 0)
            QVERIFY2(r.error.startsWith(QStringLiteral("line %1: ").arg(errorLine)),
                     qPrintable(r.error));
        QVERIFY2(r.error.contains(errorHas), qPrintable(r.error));
    }

    void sdccBlinkMatchesItsBinary()
    {
        // blink.ihx as SDCC wrote it (records out of address order); blink.tsk is the same
        // program padded with FF to 2048 bytes.
        const QByteArray tsk = readFile(VANTOR_TEST_DATA "/blink.tsk");
        const IntelHex::ParseResult r =
            IntelHex::Parse(readFile(VANTOR_TEST_DATA "/blink.ihx"), 2048, QString());
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.image, tsk.left(143));
        QCOMPARE(tsk.mid(143), ff(2048 - 143));
    }

    void format()
    {
        QCOMPARE(IntelHex::Format(abcImage), abc + eof);
        QCOMPARE(IntelHex::Format(QByteArray()), eof);
        QCOMPARE(IntelHex::Format(QByteArray(20, '\0')),
                 ":10000000" + QByteArray(32, '0') + "F0\n:0400100000000000EC\n" + eof);
        QByteArray all;
        for (int i = 0; i < 4096; ++i)
            all.append(static_cast<char>(i * 7));
        QCOMPARE(IntelHex::Parse(IntelHex::Format(all), 4999, QString()).image, all);
    }

    void hexFileNames()
    {
        for (const char *name : {"a/b.hex", "B.HEX", "blink.ihx", "x.ihex"})
            QVERIFY2(IntelHex::IsHexFileName(name), name);
        for (const char *name : {"x.tsk", "x.bin", "x.hex/y"})
            QVERIFY2(!IntelHex::IsHexFileName(name), name);
    }
};

QTEST_GUILESS_MAIN(TstIntelHex)
#include "tst_intelhex.moc"
