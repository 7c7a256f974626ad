#include "core/intelhex.h"
#include "rig.h"

namespace
{
// A record with its checksum: the two's complement of the sum of its bytes.
QByteArray rec(int address, int type, const QByteArray &data)
{
    QByteArray bytes;
    bytes.append(char(data.size())).append(char(address >> 8)).append(char(address));
    int sum = 0;
    for (char b : bytes.append(char(type)).append(data))
        sum += static_cast<quint8>(b);
    return ':' + bytes.append(char(-sum)).toHex().toUpper() + '\n';
}
const QByteArray eof(":00000001FF\n");
const QByteArray abc(":0300000002000AF1\n"); // 02 00 0A at 0
const QByteArray abcImage("\x02\x00\x0A", 3);

void ok(const char *name, const QByteArray &text, const QByteArray &image, int limit = 2048)
{
    QTest::newRow(name) << text << limit << image << -1 << QString() << true;
}
// isHex: the text is taken for Intel HEX (and its error reported), not for raw bytes.
void bad(const char *name, const QByteArray &text, int line, const QString &has, int limit = 2048,
         bool isHex = true)
{
    QTest::newRow(name) << text << limit << QByteArray() << line << has << isHex;
}
} // namespace

// Intel HEX images: records, addresses, gaps, and the ways a file can be refused. (The tool's
// tests read and write a real compiler's file.)
class TstIntelHex : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        // The rows, by ok() and bad(); errorLine -1: accepted; 0: refused, on no line in
        // particular.
        const Table<QByteArray, int, QByteArray, int, QString, bool> table;
        const QByteArray ff(0x100, char(0xFF));
        ok("out of order, gap filled with FF", rec(0x10, 0, "\x03") + rec(0, 0, "\x01\x02") + eof,
           QByteArray("\x01\x02") + QByteArray(14, char(0xFF)) + "\x03");
        ok("extended linear address 0", rec(0, 4, QByteArray(2, '\0')) + abc + eof, abcImage);
        ok("extended segment address 0010",
           rec(0, 2, QByteArray("\0\x10", 2)) + rec(0, 0, "w") + eof, ff + "w");
        ok("start addresses ignored", abc + rec(0, 3, "\1\2\3\4") + rec(0, 5, "\1\2\3\4") + eof,
           abcImage);
        ok("same byte twice, same value", rec(0, 0, "\x01\x02") + rec(1, 0, "\x02\x03") + eof,
           "\x01\x02\x03");
        ok("last byte of the limit", rec(4998, 0, "B") + eof, QByteArray(4998, char(0xFF)) + "B",
           4999);
        // Line ends as editors write them, and whatever follows the end.
        ok("byte-order mark, CR LF, lower case, blank lines",
           "\xEF\xBB\xBF" + QByteArray(abc + "\n" + eof).replace('\n', "\r\n").toLower(), abcImage);
        ok("CR only, no end", "\r" + QByteArray(abc).replace('\n', '\r') + "\r:00000001FF",
           abcImage);
        ok("Ctrl+Z, text and records after the end",
           abc + ":00000001FF\x1A\n; linker\n" + rec(3, 0, "\x01") + ":01100000FF00\n", abcImage);
        ok("blanks, Ctrl+Z and spaces before the first record",
           "\xEF\xBB\xBF \t\r\n\x1A\n  " + abc + eof, abcImage);

        bad("across the end of 4K", rec(0x0FFF, 0, "\x01\x02") + eof, 1, "0FFF-1000", 4096);
        bad("extended linear address 1", rec(0, 4, QByteArray("\0\1", 2)) + rec(0, 0, "x") + eof, 2,
            "10000", 4096);
        // LF, CR and CR LF each end a line (the second is blank): line 4's checksum is wrong.
        bad("bad checksum", ":0100000001FE\n\r:0100010002FC\r\n:0100020003FB\n" + eof, 4,
            "checksum");
        bad("bad end-of-file checksum", ":0100000001FE\n:00000001FE\x1A", 2, "checksum");
        bad("odd number of digits", ":0100000001FE\n:0100010002F\n" + eof, 2, "odd");
        bad("count says more", ":030000000102FA\n" + eof, 1, "announces 3");
        bad("too short", ":0000\n" + eof, 1, "too short", 2048, false);
        bad("no end-of-file record", abc + rec(3, 0, "\x01"), 0, "end-of-file");
        bad("unknown record type", abc + rec(0, 6, "\x01") + eof, 2, "type 06");
        bad("same byte twice, two values", rec(0, 0, "\x01\x02") + rec(1, 0, "\x09") + eof, 2,
            "line 1");
        bad("no data at all", eof, 0, "no data");
        // The limit's name and the file's characters as written; characters that are not
        // printable ASCII escaped.
        bad("beyond 2K", rec(0x0800, 0, "\x01") + eof, 1,
            "line 1: bytes 0800-0800 lie outside %1 of %2 (%3) (0000-07FF)");
        bad("percent sign", ":0100%20001FE\n" + eof, 1, "line 1: '%' is not a hexadecimal digit",
            2048, false);
        bad("NUL", QByteArray(":0100\x00", 6) + "0001FE\n" + eof, 1, "'\\x00' is not", 2048, false);
        bad("UTF-8 letter", ":0100é0001FE\n" + eof, 1, "'\\xC3' is not", 2048, false);
        bad("byte-order mark on line 2", abc + "\xEF\xBB\xBF" + eof, 2, "not '\\xEF'");
        bad("delete", "\x7F" + abc + eof, 1, "line 1: a record must start with ':', not '\\x7F'",
            2048, false);
        // Raw images that begin with ':' are raw bytes unless ten hexadecimal digits follow.
        bad("':' and nine digits", ":000000010\n" + eof, 1, "odd", 2048, false);
        bad("':' and code", QByteArray(":\x10\x00\x02\x00\x0A\x75\x81", 8), 1, "'\\x10' is not",
            2048, false);
        bad("':' and ten digits, then code", QByteArray(":0300000002\x00\x0A\xF1", 14), 1,
            "'\\x00' is not");
    }
    void parse()
    {
        const auto [text, limit, image, errorLine, errorHas, isHex] =
            Table<QByteArray, int, QByteArray, int, QString, bool>::fetch();
        const IntelHex::ParseResult r =
            IntelHex::parse(text, limit, QStringLiteral("%1 of %2 (%3)"));
        QVERIFY2(r.ok == (errorLine < 0), qPrintable(r.error));
        QCOMPARE(r.image.toHex(' '), image.toHex(' '));
        QCOMPARE(r.line, qMax(errorLine, 0));
        for (const QChar c : r.error)
            QVERIFY2(c.unicode() >= 0x20 && c.unicode() != 0x7F, qPrintable(r.error));
        QVERIFY2(r.error.contains(errorHas), qPrintable(r.error));
        QCOMPARE(IntelHex::isHexText(text), isHex);
    }

    void formatAndNames()
    {
        QCOMPARE(IntelHex::format(QByteArray()), eof);
        QCOMPARE(IntelHex::format(abcImage), abc + eof);
        QCOMPARE(IntelHex::format(QByteArray(20, '\0')),
                 ":10000000" + QByteArray(32, '0') + "F0\n:0400100000000000EC\n" + eof);
        for (const char *name : {"a/b.hex", "B.HEX", "blink.ihx", "x.ihex"})
            QVERIFY2(IntelHex::isHexFileName(name), name);
        for (const char *name : {"x.tsk", "x.hex/y"})
            QVERIFY2(!IntelHex::isHexFileName(name), name);
    }
};

QTEST_GUILESS_MAIN(TstIntelHex)
#include "tst_intelhex.moc"
