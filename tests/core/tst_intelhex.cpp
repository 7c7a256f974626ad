#include "core/intelhex.h"

#include <QFile>
#include <QTest>

// Intel HEX images: records, addresses, gaps, and every way a file can be refused.
class TstIntelHex : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void errorTextsAsWritten_data();
    void errorTextsAsWritten();
    void sdccBlinkMatchesItsBinary();
    void formatParsesBack_data();
    void formatParsesBack();
    void formatLayout();
    void hexFileNames_data();
    void hexFileNames();
};

namespace
{

// A record with the right checksum.
QByteArray rec(int address, int type, const QByteArray &data)
{
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
    return ':' + bytes.toHex().toUpper() + '\n';
}

QByteArray data(int address, const QByteArray &bytes)
{
    return rec(address, 0x00, bytes);
}

QByteArray eof()
{
    return ":00000001FF\n";
}

QByteArray ff(int n)
{
    return QByteArray(n, char(0xFF));
}

// The same record with its last byte (the checksum) one higher.
QByteArray wrongChecksum(QByteArray record)
{
    record.chop(1); // the line end
    const int sum = record.right(2).toInt(nullptr, 16);
    record.chop(2);
    return record + QByteArray::number((sum + 1) % 256, 16).rightJustified(2, '0').toUpper() + '\n';
}

} // namespace

void TstIntelHex::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QByteArray>("image"); // expected image when accepted
    QTest::addColumn<int>("errorLine");    // -1: accepted; 0: refused, no line
    QTest::addColumn<QString>("errorHas");

    const QByteArray abc("\x02\x00\x0A", 3);
    QTest::newRow("one record") << data(0, abc) + eof() << 2048 << abc << -1 << QString();
    QTest::newRow("gap filled with FF")
        << data(0, "\x01\x02") + data(0x10, "\x03") + eof() << 2048
        << QByteArray("\x01\x02") + ff(14) + "\x03" << -1 << QString();
    QTest::newRow("records out of order")
        << data(0x10, "\x03") + data(0, "\x01\x02") + eof() << 2048
        << QByteArray("\x01\x02") + ff(14) + "\x03" << -1 << QString();
    QTest::newRow("first byte above 0")
        << data(0x100, "\x55") + eof() << 2048 << ff(0x100) + "\x55" << -1 << QString();
    QTest::newRow("extended linear address 0")
        << rec(0, 0x04, QByteArray("\x00\x00", 2)) + data(0, abc) + eof() << 2048 << abc << -1
        << QString();
    QTest::newRow("extended segment address 0010 puts offset 0 at 0100")
        << rec(0, 0x02, QByteArray("\x00\x10", 2)) + data(0, "\x77") + eof() << 2048
        << ff(0x100) + "\x77" << -1 << QString();
    QTest::newRow("start address records ignored")
        << data(0, abc) + rec(0, 0x03, QByteArray("\x00\x00\x00\x00", 4)) +
               rec(0, 0x05, QByteArray("\x00\x00\x00\x00", 4)) + eof()
        << 2048 << abc << -1 << QString();
    QTest::newRow("CR LF, lower case, blank lines")
        << QByteArray(data(0, abc)).replace('\n', "\r\n").toLower() + "\r\n\r\n" +
               QByteArray(eof()).replace('\n', "\r\n")
        << 2048 << abc << -1 << QString();
    QTest::newRow("same byte twice with the same value")
        << data(0, "\x01\x02") + data(1, "\x02\x03") + eof() << 2048 << QByteArray("\x01\x02\x03")
        << -1 << QString();
    QTest::newRow("last byte of a 4K chip")
        << data(0x0FFF, "\x42") + eof() << 4096 << ff(0x0FFF) + "\x42" << -1 << QString();
    QTest::newRow("last byte of the 4999-byte buffer")
        << data(4998, "\x42") + eof() << 4999 << ff(4998) + "\x42" << -1 << QString();

    // As toolchains and editors write files: a byte-order mark, CR-only line ends, and
    // whatever follows the end-of-file record.
    const QByteArray bom("\xEF\xBB\xBF");
    QTest::newRow("UTF-8 byte-order mark")
        << bom + data(0, abc) + eof() << 2048 << abc << -1 << QString();
    QTest::newRow("byte-order mark, CR LF")
        << bom + QByteArray(data(0, abc) + eof()).replace('\n', "\r\n") << 2048 << abc << -1
        << QString();
    QTest::newRow("CR-only line ends")
        << QByteArray(data(0, abc) + data(0x10, "\x03") + eof()).replace('\n', '\r') << 2048
        << abc + ff(13) + "\x03" << -1 << QString();
    QTest::newRow("CR-only, blank lines, no line end at the end")
        << QByteArray("\r\r") + QByteArray(data(0, abc)).replace('\n', '\r') + "\r\r:00000001FF"
        << 2048 << abc << -1 << QString();
    QTest::newRow("Ctrl+Z on the line after the end")
        << data(0, abc) + eof() + "\x1A" << 2048 << abc << -1 << QString();
    QTest::newRow("Ctrl+Z right after the end-of-file record")
        << data(0, abc) + ":00000001FF\x1A" << 2048 << abc << -1 << QString();
    QTest::newRow("NUL padding after the end")
        << data(0, abc) + eof() + QByteArray(300, '\0') << 2048 << abc << -1 << QString();
    QTest::newRow("NUL padding on the end-of-file record's line")
        << data(0, abc) + ":00000001FF" + QByteArray(30, '\0') + "\r\n" + QByteArray(9, '\0')
        << 2048 << abc << -1 << QString();
    QTest::newRow("text after the end")
        << data(0, abc) + eof() + "; made by the linker\nsize: 3 bytes\n"
        << 2048 << abc << -1 << QString();
    QTest::newRow("records after the end are not read")
        << data(0, abc) + eof() + data(3, "\x01") + wrongChecksum(data(0x1000, "\x01")) << 2048
        << abc << -1 << QString();

    QTest::newRow("address beyond 4K") << data(0, abc) + data(0x1000, "\x01") + eof() << 4096
                                       << QByteArray() << 2 << QStringLiteral("1000-1000");
    QTest::newRow("record across the end of 4K")
        << data(0x0FFF, "\x01\x02") + eof() << 4096 << QByteArray() << 1
        << QStringLiteral("0FFF-1000");
    QTest::newRow("beyond a 2K chip")
        << data(0x0800, "\x01") + eof() << 2048 << QByteArray() << 1 << QStringLiteral("0800");
    QTest::newRow("beyond the 4999-byte buffer")
        << data(4999, "\x01") + eof() << 4999 << QByteArray() << 1 << QStringLiteral("1387");
    QTest::newRow("extended linear address 1 lands at 64K")
        << rec(0, 0x04, QByteArray("\x00\x01", 2)) + data(0, "\x01") + eof() << 4096 << QByteArray()
        << 2 << QStringLiteral("10000");
    QTest::newRow("extended segment address beyond the chip")
        << rec(0, 0x02, QByteArray("\x10\x00", 2)) + data(0, "\x01") + eof() << 4096 << QByteArray()
        << 2 << QStringLiteral("10000");
    QTest::newRow("bad checksum on line 3")
        << data(0, "\x01") + data(1, "\x02") + wrongChecksum(data(2, "\x03")) + eof() << 2048
        << QByteArray() << 3 << QStringLiteral("checksum");
    QTest::newRow("bad checksum of the end-of-file record")
        << data(0, "\x01") + ":00000001FE\n"
        << 2048 << QByteArray() << 2 << QStringLiteral("checksum");
    QTest::newRow("odd number of digits") << data(0, "\x01") + ":0100010002F\n" + eof() << 2048
                                          << QByteArray() << 2 << QStringLiteral("odd");
    QTest::newRow("count says more than the record holds")
        << QByteArray(":030000000102FA\n") + eof() << 2048 << QByteArray() << 1
        << QStringLiteral("announces 3");
    QTest::newRow("count says less than the record holds")
        << QByteArray(":0100000001020000\n") + eof() << 2048 << QByteArray() << 1
        << QStringLiteral("announces 1");
    QTest::newRow("too short") << QByteArray(":0000\n") + eof() << 2048 << QByteArray() << 1
                               << QStringLiteral("too short");
    QTest::newRow("not a hexadecimal digit") << QByteArray(":01000000G1FE\n") + eof() << 2048
                                             << QByteArray() << 1 << QStringLiteral("'G'");
    QTest::newRow("no colon") << QByteArray("0100000001FE\n") + eof() << 2048 << QByteArray() << 1
                              << QStringLiteral("':'");
    QTest::newRow("no end-of-file record: cut short")
        << data(0, abc) + data(3, "\x01") << 2048 << QByteArray() << 0
        << QStringLiteral("end-of-file");
    QTest::newRow("end-of-file record with data")
        << data(0, abc) + rec(0, 0x01, QByteArray(1, '\0')) << 2048 << QByteArray() << 2
        << QStringLiteral("end-of-file");
    QTest::newRow("extended address record of 1 byte")
        << rec(0, 0x04, QByteArray(1, '\0')) + data(0, abc) + eof() << 2048 << QByteArray() << 1
        << QStringLiteral("extended linear");
    QTest::newRow("unknown record type") << data(0, abc) + rec(0, 0x06, QByteArray(1, '\0')) + eof()
                                         << 2048 << QByteArray() << 2 << QStringLiteral("type 06");
    QTest::newRow("same byte twice with two values")
        << data(0, "\x01\x02") + data(1, "\x09") + eof() << 2048 << QByteArray() << 2
        << QStringLiteral("line 1");
    // Line numbers follow every kind of line end; CR LF is one line end.
    QTest::newRow("bad checksum on line 3, CR-only")
        << QByteArray(data(0, "\x01") + data(1, "\x02") + wrongChecksum(data(2, "\x03")) + eof())
               .replace('\n', '\r')
        << 2048 << QByteArray() << 3 << QStringLiteral("checksum");
    QTest::newRow("bad checksum on line 4, mixed line ends")
        << data(0, "\x01") + "\r" + QByteArray(data(1, "\x02")).replace('\n', "\r\n") +
               wrongChecksum(data(2, "\x03")) + eof()
        << 2048 << QByteArray() << 4 << QStringLiteral("checksum");
    QTest::newRow("bad checksum of the end-of-file record, text after it")
        << data(0, "\x01") + ":00000001FE\x1A" << 2048 << QByteArray() << 2
        << QStringLiteral("checksum");

    // Characters quoted from the file are shown escaped when they are not printable ASCII.
    QTest::newRow("Ctrl+Z inside a record")
        << data(0, abc) + ":01000000\x1A" + eof() << 2048 << QByteArray() << 2
        << QStringLiteral("'\\x1A' is not a hexadecimal digit");
    QTest::newRow("NUL inside a record")
        << QByteArray(":0100\x00", 6) + "0001FE\n" + eof() << 2048 << QByteArray() << 1
        << QStringLiteral("'\\x00' is not a hexadecimal digit");
    QTest::newRow("tab inside a record")
        << QByteArray(":0100\t0001FE\n") + eof() << 2048 << QByteArray() << 1
        << QStringLiteral("'\\t' is not a hexadecimal digit");
    QTest::newRow("escape character inside a record")
        << QByteArray(":0100\x1B[31m0001FE\n") + eof() << 2048 << QByteArray() << 1
        << QStringLiteral("'\\x1B' is not a hexadecimal digit");
    QTest::newRow("UTF-8 letter inside a record")
        << QByteArray(":0100\xC3\xA9"
                      "0001FE\n") +
               eof()
        << 2048 << QByteArray() << 1 << QStringLiteral("'\\xC3' is not a hexadecimal digit");
    QTest::newRow("backslash inside a record")
        << QByteArray(":0100\\x410001FE\n") + eof() << 2048 << QByteArray() << 1
        << QStringLiteral("'\\\\' is not a hexadecimal digit");
    QTest::newRow("percent sign inside a record")
        << QByteArray(":0100%10001FE\n") + eof() << 2048 << QByteArray() << 1
        << QStringLiteral("'%' is not a hexadecimal digit");
    QTest::newRow("byte-order mark on the second line")
        << data(0, abc) + bom + eof() << 2048 << QByteArray() << 2
        << QStringLiteral("must start with ':', not '\\xEF'");
    QTest::newRow("Ctrl+Z before a record")
        << "\x1A" + data(0, abc) + eof() << 2048 << QByteArray() << 1
        << QStringLiteral("must start with ':', not '\\x1A'");
    QTest::newRow("no data at all")
        << eof() << 2048 << QByteArray() << 0 << QStringLiteral("no data");
    QTest::newRow("empty file") << QByteArray() << 2048 << QByteArray() << 0
                                << QStringLiteral("end-of-file");
}

void TstIntelHex::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(int, limit);
    QFETCH(QByteArray, image);
    QFETCH(int, errorLine);
    QFETCH(QString, errorHas);

    const IntelHex::ParseResult r = IntelHex::Parse(text, limit, QStringLiteral("the chip"));
    if (errorLine < 0) {
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.image.toHex(' '), image.toHex(' '));
        return;
    }
    QVERIFY(!r.ok);
    QVERIFY(r.image.isEmpty());
    QCOMPARE(r.line, errorLine);
    for (const QChar c : r.error)
        QVERIFY2(c.unicode() >= 0x20 && c.unicode() != 0x7F, qPrintable(r.error.toUtf8().toHex()));
    if (errorLine > 0)
        QVERIFY2(r.error.startsWith(QStringLiteral("line %1: ").arg(errorLine)),
                 qPrintable(r.error));
    QVERIFY2(r.error.contains(errorHas), qPrintable(r.error));
}

// Whole error texts where outside text is quoted: the limit's name is shown as given, even
// with QString::arg() markers in it, and file characters are escaped.
void TstIntelHex::errorTextsAsWritten_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("limitName");
    QTest::addColumn<QString>("error");
    QTest::newRow("markers in the limit's name")
        << data(0x0800, "\x01") + eof() << QStringLiteral("%1 of %2 (%3)")
        << QStringLiteral("line 1: bytes 0800-0800 lie outside %1 of %2 (%3) (0000-07FF)");
    QTest::newRow("a marker in the file")
        << QByteArray(":0100%20001FE\n") + eof() << QStringLiteral("%1")
        << QStringLiteral("line 1: '%' is not a hexadecimal digit");
    QTest::newRow("Ctrl+Z in the file, CR-only")
        << QByteArray(":0100000001FE\r:01000100\x1A\r:00000001FF\r") << QStringLiteral("%1")
        << QStringLiteral("line 2: '\\x1A' is not a hexadecimal digit");
    QTest::newRow("delete at the start of a line")
        << QByteArray("\x7F:0100000001FE\n") + eof() << QString()
        << QStringLiteral("line 1: a record must start with ':', not '\\x7F'");
}

void TstIntelHex::errorTextsAsWritten()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, limitName);
    QFETCH(QString, error);
    const IntelHex::ParseResult r = IntelHex::Parse(text, 2048, limitName);
    QVERIFY(!r.ok);
    QCOMPARE(r.error, error);
}

void TstIntelHex::sdccBlinkMatchesItsBinary()
{
    // blink.ihx as SDCC wrote it (records out of address order); blink.tsk is the same
    // program padded with FF to 2048 bytes.
    QFile hexFile(QStringLiteral(VANTOR_TEST_DATA "/blink.ihx"));
    QFile tskFile(QStringLiteral(VANTOR_TEST_DATA "/blink.tsk"));
    QVERIFY(hexFile.open(QIODevice::ReadOnly));
    QVERIFY(tskFile.open(QIODevice::ReadOnly));
    const QByteArray tsk = tskFile.readAll();
    const IntelHex::ParseResult r = IntelHex::Parse(hexFile.readAll(), 2048, QString());
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.image.size(), 143);
    QCOMPARE(r.image, tsk.left(143));
    QCOMPARE(tsk.mid(143), ff(2048 - 143));
}

void TstIntelHex::formatParsesBack_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::newRow("one byte") << QByteArray("\x5A");
    QTest::newRow("16 bytes") << QByteArray(16, 'x');
    QTest::newRow("17 bytes") << QByteArray(17, 'y');
    QByteArray all;
    for (int i = 0; i < 4096; ++i)
        all.append(static_cast<char>(i * 7));
    QTest::newRow("4K of every value") << all;
}

void TstIntelHex::formatParsesBack()
{
    QFETCH(QByteArray, image);
    const IntelHex::ParseResult r = IntelHex::Parse(IntelHex::Format(image), 4999, QString());
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.image, image);
}

void TstIntelHex::formatLayout()
{
    QCOMPARE(IntelHex::Format(QByteArray("\x02\x00\x0A", 3)),
             QByteArray(":0300000002000AF1\n:00000001FF\n"));
    QCOMPARE(IntelHex::Format(QByteArray()), QByteArray(":00000001FF\n"));
    const QList<QByteArray> lines = IntelHex::Format(QByteArray(20, '\0')).split('\n');
    QCOMPARE(lines.at(0), ":10000000" + QByteArray(32, '0') + "F0");
    QCOMPARE(lines.at(1), QByteArray(":0400100000000000EC"));
}

void TstIntelHex::hexFileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("hex");
    QTest::newRow("hex") << "a/b.hex" << true;
    QTest::newRow("HEX") << "B.HEX" << true;
    QTest::newRow("ihx") << "blink.ihx" << true;
    QTest::newRow("ihex") << "x.ihex" << true;
    QTest::newRow("tsk") << "x.tsk" << false;
    QTest::newRow("bin") << "x.bin" << false;
    QTest::newRow("hex in a folder name") << "x.hex/y" << false;
}

void TstIntelHex::hexFileNames()
{
    QFETCH(QString, name);
    QFETCH(bool, hex);
    QCOMPARE(IntelHex::IsHexFileName(name), hex);
}

QTEST_GUILESS_MAIN(TstIntelHex)
#include "tst_intelhex.moc"
