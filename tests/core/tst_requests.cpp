#include "core/requests.h"
#include "rig.h"

// Hexadecimal text to numbers, with out-of-range results for anything that is not hex: each
// text through the digit, the pair, the fill box's check and the dump box's check.
class TstRequests : public QObject
{
    Q_OBJECT
private slots:
    void texts_data()
    {
        // fill -1: refused; dump -1: invalid, -2: empty, -3: beyond the memory.
        const Table<QString, int, int, int, int> row;
        // No character at all is no digit either, and no pair: never 00.
        row("empty", QString(), 16, 256, -1, -2);
        row("0", "0", 0, 0, -1, -1);
        row("9", "9", 9, 0x99, -1, -1);
        row("A: one character is both nibbles", "A", 10, 0xAA, -1, -1);
        row("f", "f", 15, 0xFF, -1, -1);
        // The neighbours of the three ranges, and characters whose low byte is a digit.
        for (const char *c : {"/", ":", "@", "G", "`", "g"})
            row(c, QString::fromLatin1(c), 16, 256, -1, -1);
        row("full-width 1", QStringLiteral("１"), 16, 256, -1, -1);
        row("U+0141, low byte 'A'", QString(QChar(0x0141)), 16, 256, -1, -1);
        row("a5", "a5", 10, 0xA5, 0xA5, -1);
        row("FF", "FF", 15, 0xFF, 0xFF, -1);
        row("00", "00", 0, 0, 0, -1);
        row("1G", "1G", 1, 256, -1, -1);
        row("G1", "G1", 16, 256, -1, -1);
        // Only the first and the last character take part in a pair.
        row("F, junk, 0", QStringLiteral("F-中-0"), 15, 0xF0, -1, -1);
        row("0fFF", "0fFF", 0, 0x0F, -1, 0x0FFF);
        row("1000", "1000", 1, 0x10, -1, -3);
        row("2000", "2000", 2, 0x20, -1, -1);
        row("0x1F", "0x1F", 0, 0x0F, -1, -1);
        row("three digits", "012", 0, 0x02, -1, -1);
        row("five digits", "01234", 0, 0x04, -1, -1);
    }
    void texts()
    {
        const auto [text, digit, pair, fill, dump] = Table<QString, int, int, int, int>::fetch();
        QCOMPARE(int(hexDigitValue(text)), digit);
        QCOMPARE(int(hexPairToByte(text)), pair);
        const FillText f = checkFillText(text);
        QCOMPARE(f.ok ? int(f.value) : -1, fill);
        const DumpText d = checkDumpText(text);
        const int verdicts[] = {d.address, -2, -1, -3}; // Ok, Empty, Invalid, BeyondMemory
        QCOMPARE(verdicts[d.verdict], dump);
    }
};

QTEST_APPLESS_MAIN(TstRequests)
#include "tst_requests.moc"
