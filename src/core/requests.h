#pragma once

#include <QByteArray>
#include <QString>

// The fill and dump requests: the hexadecimal text typed for them, checked, and the bytes
// they send. Invalid text gives an out-of-range result, not an error.

// 0 to 15 for the first character "0"-"9", "A"-"F", "a"-"f"; 16 for anything else
// (including an empty text).
qint16 hexDigitValue(const QString &text);

// First character the high nibble, last character the low nibble (characters between
// are ignored; one character serves as both). 0 to 255, or 256 when either is not a
// hexadecimal digit.
qint32 hexPairToByte(const QString &text);

// The fill box: exactly two characters whose hexPairToByte is at most 255.
struct FillText {
    bool ok = false;
    quint8 value = 0; // when ok
};
FillText checkFillText(const QString &text);

// The dump box: exactly four hexadecimal digits, the first 0 or 1, naming an
// address of the SRAM (0x0000 to 0x0FFF).
struct DumpText {
    enum Verdict {
        Ok,
        Empty,        // nothing typed
        Invalid,      // not four characters, not all digits, or a first digit above 1
        BeyondMemory, // 0x1000 to 0x1FFF
    };
    Verdict verdict = Empty;
    int address = 0; // when Ok
};
DumpText checkDumpText(const QString &text);

// The requests the byte pump sends: "F" and the fill value; "d" and the start address,
// high byte first.
QByteArray fillRequest(quint8 value);
QByteArray dumpRequest(int address);
