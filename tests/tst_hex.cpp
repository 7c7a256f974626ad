#include "sram/hex.h"

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

QTEST_APPLESS_MAIN(TstHex)
#include "tst_hex.moc"
