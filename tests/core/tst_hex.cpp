#include "core/hex.h"

#include <QTest>

// Hexadecimal text to numbers, with out-of-range results for anything that is not hex.
class TstHex : public QObject
{
    Q_OBJECT
private slots:
    void digitValue_data();
    void digitValue();
    void pairToByte_data();
    void pairToByte();
    void fillText_data();
    void fillText();
    void dumpText_data();
    void dumpText();
};

void TstHex::digitValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("0") << QStringLiteral("0") << 0;
    QTest::newRow("9") << QStringLiteral("9") << 9;
    QTest::newRow("A") << QStringLiteral("A") << 10;
    QTest::newRow("a") << QStringLiteral("a") << 10;
    QTest::newRow("F") << QStringLiteral("F") << 15;
    QTest::newRow("f") << QStringLiteral("f") << 15;
    QTest::newRow("5") << QStringLiteral("5") << 5;
    QTest::newRow("C") << QStringLiteral("C") << 12;
    QTest::newRow("d") << QStringLiteral("d") << 13;

    // The neighbours of the three ranges.
    QTest::newRow("code 47 '/'") << QString(QChar(47)) << 16;
    QTest::newRow("code 58 ':'") << QString(QChar(58)) << 16;
    QTest::newRow("code 64 '@'") << QString(QChar(64)) << 16;
    QTest::newRow("code 71 'G'") << QString(QChar(71)) << 16;
    QTest::newRow("code 96 '`'") << QString(QChar(96)) << 16;
    QTest::newRow("code 103 'g'") << QString(QChar(103)) << 16;

    QTest::newRow("space") << QStringLiteral(" ") << 16;
    QTest::newRow("Chinese character") << QStringLiteral("中") << 16;
    QTest::newRow("full-width A") << QStringLiteral("Ａ") << 16;
    QTest::newRow("full-width 1") << QStringLiteral("１") << 16;
    QTest::newRow("NUL") << QString(QChar(0)) << 16;
    QTest::newRow("Latin-1 above ASCII") << QString(QChar(0xC1)) << 16;
    // A code above 0xFF whose low byte is an ASCII digit or letter.
    QTest::newRow("U+0141 (low byte 'A')") << QString(QChar(0x0141)) << 16;
    QTest::newRow("U+0130 (low byte '0')") << QString(QChar(0x0130)) << 16;

    // No character at all is no digit either.
    QTest::newRow("empty") << QString() << 16;

    // Only the first character counts.
    QTest::newRow("7Z") << QStringLiteral("7Z") << 7;
    QTest::newRow("Z7") << QStringLiteral("Z7") << 16;
    QTest::newRow("b and a Chinese character") << QStringLiteral("b中") << 11;
}

void TstHex::digitValue()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    const qint16 value = HexDigitValue(text);
    QCOMPARE(int(value), expected);
}

void TstHex::pairToByte_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("FF") << QStringLiteral("FF") << 255;
    QTest::newRow("ff") << QStringLiteral("ff") << 255;
    QTest::newRow("00") << QStringLiteral("00") << 0;
    QTest::newRow("7f") << QStringLiteral("7f") << 127;
    QTest::newRow("a5") << QStringLiteral("a5") << 165;
    QTest::newRow("A5") << QStringLiteral("A5") << 165;
    QTest::newRow("5A") << QStringLiteral("5A") << 90;
    QTest::newRow("10") << QStringLiteral("10") << 16;
    QTest::newRow("09") << QStringLiteral("09") << 9;

    QTest::newRow("G0") << QStringLiteral("G0") << 256;
    QTest::newRow("0G") << QStringLiteral("0G") << 256;
    QTest::newRow("g0") << QStringLiteral("g0") << 256;
    QTest::newRow("0g") << QStringLiteral("0g") << 256;
    QTest::newRow("space first") << QStringLiteral(" 1") << 256;
    QTest::newRow("space last") << QStringLiteral("1 ") << 256;
    QTest::newRow("CJK pair") << QStringLiteral("中文") << 256;
    QTest::newRow("digit and CJK") << QStringLiteral("1中") << 256;
    QTest::newRow("full-width FF") << QStringLiteral("ＦＦ") << 256;

    // No caller passes an empty text; if one did, it would be invalid, not 00.
    QTest::newRow("empty") << QString() << 256;

    // Only the first and the last character take part.
    QTest::newRow("one character A") << QStringLiteral("A") << 170;
    QTest::newRow("one character 0") << QStringLiteral("0") << 0;
    QTest::newRow("1x2") << QStringLiteral("1x2") << 18;
    QTest::newRow("F and junk and 0") << QStringLiteral("F--中--0") << 240;
}

void TstHex::pairToByte()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    const qint32 value = HexPairToByte(text);
    QCOMPARE(int(value), expected);
}

void TstHex::fillText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");

    QTest::newRow("FF") << QStringLiteral("FF") << true << 0xFF;
    QTest::newRow("00") << QStringLiteral("00") << true << 0x00;
    QTest::newRow("a5") << QStringLiteral("a5") << true << 0xA5;
    QTest::newRow("3C") << QStringLiteral("3C") << true << 0x3C;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("one digit") << QStringLiteral("A") << false << 0;
    QTest::newRow("three digits") << QStringLiteral("100") << false << 0;
    QTest::newRow("G1") << QStringLiteral("G1") << false << 0;
    QTest::newRow("1G") << QStringLiteral("1G") << false << 0;
    QTest::newRow("with a space") << QStringLiteral("1 ") << false << 0;
    QTest::newRow("two CJK characters") << QStringLiteral("中文") << false << 0;
    // One character outside the BMP is two UTF-16 code units.
    QTest::newRow("one emoji") << QStringLiteral("\U0001F600") << false << 0;
}

void TstHex::fillText()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    const FillText fill = CheckFillText(text);
    QCOMPARE(fill.ok, ok);
    if (ok)
        QCOMPARE(int(fill.value), value);
}

void TstHex::dumpText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<int>("address");

    QTest::newRow("0000") << QStringLiteral("0000") << int(DumpText::Ok) << 0x0000;
    QTest::newRow("0FFF") << QStringLiteral("0FFF") << int(DumpText::Ok) << 0x0FFF;
    QTest::newRow("0fff") << QStringLiteral("0fff") << int(DumpText::Ok) << 0x0FFF;
    QTest::newRow("0123") << QStringLiteral("0123") << int(DumpText::Ok) << 0x0123;
    QTest::newRow("0aB0") << QStringLiteral("0aB0") << int(DumpText::Ok) << 0x0AB0;
    QTest::newRow("1000") << QStringLiteral("1000") << int(DumpText::BeyondMemory) << 0;
    QTest::newRow("1FFF") << QStringLiteral("1FFF") << int(DumpText::BeyondMemory) << 0;
    QTest::newRow("empty") << QString() << int(DumpText::Empty) << 0;
    QTest::newRow("2000") << QStringLiteral("2000") << int(DumpText::Invalid) << 0;
    QTest::newRow("FFFF") << QStringLiteral("FFFF") << int(DumpText::Invalid) << 0;
    QTest::newRow("0x1F") << QStringLiteral("0x1F") << int(DumpText::Invalid) << 0;
    QTest::newRow("three digits") << QStringLiteral("012") << int(DumpText::Invalid) << 0;
    QTest::newRow("five digits") << QStringLiteral("01234") << int(DumpText::Invalid) << 0;
    QTest::newRow("a space inside") << QStringLiteral("0 12") << int(DumpText::Invalid) << 0;
    QTest::newRow("full-width digits") << QStringLiteral("０１２３") << int(DumpText::Invalid) << 0;
    // Two characters outside the BMP are four UTF-16 code units.
    QTest::newRow("two emoji") << QStringLiteral("\U0001F600\U0001F600") << int(DumpText::Invalid)
                               << 0;
}

void TstHex::dumpText()
{
    QFETCH(QString, text);
    QFETCH(int, verdict);
    QFETCH(int, address);
    const DumpText dump = CheckDumpText(text);
    QCOMPARE(int(dump.verdict), verdict);
    if (verdict == DumpText::Ok)
        QCOMPARE(dump.address, address);
}

QTEST_APPLESS_MAIN(TstHex)
#include "tst_hex.moc"
