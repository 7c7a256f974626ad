// The emulator's firmware model, driven directly: bytes in, bytes out, with time.

#include "firmware.h"
#include "table.h"

#include <QtTest>

using vantorsim::Chip;
using vantorsim::Firmware;
using vantorsim::Texts;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Chip)

namespace
{

// Sends bytes at one moment and returns everything answered by then.
QByteArray talk(Firmware &fw, const QByteArray &bytes, double nowMs = 0.0)
{
    for (char c : bytes)
        fw.receive(static_cast<std::uint8_t>(c), nowMs);
    const std::string out = fw.takeOutput(nowMs);
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

// "L"/"Q" with a big-endian 16-bit length and the image.
QByteArray framed(char command, const QByteArray &image)
{
    const auto size = image.size();
    return command + QByteArray(1, char(size >> 8)) + QByteArray(1, char(size & 0xFF)) + image;
}

// A byte pattern with no 0xFF in it, so loaded data is told apart from empty SRAM.
QByteArray pattern(int size, int seed = 0)
{
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = static_cast<char>((i * 7 + seed + i / 251) % 255);
    return out;
}

QByteArray sram(const Firmware &fw)
{
    return QByteArray(reinterpret_cast<const char *>(fw.sram().data()), Firmware::kSramSize);
}

QByteArray flash(const Firmware &fw)
{
    return QByteArray(reinterpret_cast<const char *>(fw.flash().data()),
                      static_cast<qsizetype>(fw.flash().size()));
}

// One row of the reply table: what comes before, the command, and the whole answer to it
// in the default and in the other words.
void row(const char *name, const QByteArray &setup, const QByteArray &command,
         const QByteArray &plain, const QByteArray &other, Chip socket = Chip::AT89C2051)
{
    QTest::newRow(name) << socket << setup << command << plain << other;
}

// The rows of the operations on the chip.
void chipRows()
{
    const QByteArray programmed = framed('Q', pattern(2048));
    QByteArray notBlank(0x124, '\xFF');
    notBlank[0x123] = '\x7F';
    QByteArray unerased(2048, '\xFF');
    unerased.replace(0x100, 16, QByteArray(16, '\0'));
    row("s", {}, "s", "Signature 1E 21 AT89C2051 OK\r\n", "Kennung 1E21, 89C2051 erkannt\n");
    // Another chip in the socket leaves the selected type as it was.
    row("s, 4051 as 2051", {}, "s", "Error: signature 1E 41, expected 1E 21 (AT89C2051)\r\n",
        "Kennung 1E41 statt 1E21 (89C2051)\n", Chip::AT89C4051);
    row("B, blank", {}, "B", "Blank\r\n", "leer\n");
    row("B, not blank", framed('L', notBlank) + "P", "B", "Not blank at 0123\r\n",
        "belegt ab 0123\n");
    row("E", programmed + "l", "E", "Erase OK\r\n", "geloescht\n");
    row("P", framed('L', pattern(2048)), "P", "Program OK\r\n", "programmiert\n");
    row("P, locked", programmed + "l", "P", "Error: locked\r\n", "gesperrt\n");
    row("R", programmed + "X", "R", "Read OK\r\n", "ausgelesen\n");
    row("V", programmed, "V", "Verify OK\r\n", "gleich\n");
    // SRAM with fewer ones than the flash: a difference, but not one an erase would fix.
    row("V, differs", framed('Q', QByteArray(2048, '\x5A')) + framed('L', QByteArray(300, '\x50')),
        "V", "Verify failed at 0000, 300 bytes differ\r\n", "ungleich ab 0000, 300 Bytes\n");
    row("V, not erased", framed('Q', unerased) + framed('L', QByteArray(2048, '\x5A')) + "P", "V",
        "Verify failed at 0100, 16 bytes differ\r\nFlash not erased?\r\n",
        "ungleich ab 0100, 16 Bytes\nvorher nicht geloescht\n");
    row("l", programmed, "l", "Lock bits set\r\n", "Sperrbits gesetzt\n");
    row("q", framed('L', pattern(2048)), "q", "Program OK\r\nVerify OK\r\nLock bits set\r\n",
        "programmiert\ngleich\nSperrbits gesetzt\n");
    row("q, stops at verify", framed('Q', QByteArray(2048, '\x0F')) + "F\xF0", "q",
        "Program OK\r\nVerify failed at 0000, 2048 bytes differ\r\nFlash not erased?\r\n",
        "programmiert\nungleich ab 0000, 2048 Bytes\nvorher nicht geloescht\n");
    row("q, locked", programmed + "l", "q", "Error: locked\r\n", "gesperrt\n");
    // Old, locked content is erased first.
    row("Q", framed('Q', QByteArray(2048, '\x11')) + "l", programmed,
        "Load OK, 2048 bytes\r\nErase OK\r\nProgram OK\r\nVerify OK\r\n",
        "geloescht\nprogrammiert\ngleich\n");
    row("Q, empty socket", {}, framed('Q', pattern(10)),
        "Load OK, 10 bytes\r\nError: signature FE FE, expected 1E 21 (AT89C2051)\r\n",
        "Kennung FEFE statt 1E21 (89C2051)\n", Chip::None);
}

} // namespace

class TestFirmware : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void lockBits_data();
    void lockBits();
    void signatureMismatch_data();
    void signatureMismatch();
    void loadFraming();
    void sameBytesInBothWordings();
    void paced();
};

// Every command on two boards, one in the default words and one in the other words: each
// answers as listed, the other board never in the default's words or line ends (or not at
// all), and both end in the same state.
void TestFirmware::replies_data()
{
    const Table<Chip, QByteArray, QByteArray, QByteArray, QByteArray> table; // the rows: row()
    QByteArray ramp(Firmware::kSramSize, '\0');
    for (int i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<char>(i);

    chipRows();
    row("i", {}, "i", "Vantor USB Programmer V2.10\r\n", "Brenner USB-Vantor, Stand 2.10\n");
    row("!", "@", "!", "Chip AT89C2051\r\n", {});
    row("@", {}, "@", "Chip AT89C4051\r\n", {}, Chip::AT89C4051);
    row("#", {}, "#", "Chip AT89C1051U\r\n", {}, Chip::AT89C1051U);
    row("L", {}, framed('L', pattern(300)), "Load OK, 300 bytes\r\n", {});
    row("F", {}, "F\xAB", "Fill AB\r\n", {});
    row("X", "F\x12", "Xc", "SRAM cleared\r\nChecksum F800\r\n", "Summe f800\n");
    // The checksum covers the selected chip's size.
    row("c", {}, "c", "Checksum F800\r\n", "Summe f800\n");
    row("c, 1K, ones", "F\x01", "#c", "Chip AT89C1051U\r\nChecksum 0400\r\n", "Summe 0400\n");
    // From the address modulo 8 KiB, wrapping at the end of the SRAM.
    row("d", framed('L', ramp), "d\xFF\xF8",
        "1FF8: F8 F9 FA FB FC FD FE FF 00 01 02 03 04 05 06 07\r\n"
        "0008: 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17\r\n"
        "0018: 18 19 1A 1B 1C 1D 1E 1F 20 21 22 23 24 25 26 27\r\n"
        "0028: 28 29 2A 2B 2C 2D 2E 2F 30 31 32 33 34 35 36 37\r\n",
        "1ff8> f8 f9 fa fb fc fd fe ff 00 01 02 03 04 05 06 07\n"
        "0008> 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13 14 15 16 17\n"
        "0018> 18 19 1a 1b 1c 1d 1e 1f 20 21 22 23 24 25 26 27\n"
        "0028> 28 29 2a 2b 2c 2d 2e 2f 30 31 32 33 34 35 36 37\n");
    // The SRAM test keeps the content: the checksum after it is 2048 x 5A.
    row("tR", "F\x5A", "tRc", "SRAM test OK, 8192 bytes\r\nChecksum D000\r\n",
        "Speicher gut, 8192 Zellen\rSumme d000\n");
    row("tL", {}, "tL", "LED test done\r\n", "LED an und aus\r");
    row("tb", {}, "tb", "Buzzer test done\r\n", "Summer gepiept\r");
    row("tV", {}, "tV", "Vpp 12.0 V\r\n", "Programmierspannung 12,0 V\r");
    row("th", {}, "th", "Vpp high\r\n", "Vpp ein\r");
    row("tl", {}, "tl", "Vpp low\r\n", "Vpp aus\r");
    row("tf", {}, "tf", "Firmware V2.10\r\n", "Stand 2.10\r");
    row("t then z", {}, "tz", "?\r\n", "Befehl unbekannt\n\r");
    row("S then 3", {}, "S3", "?\r\n", "Befehl unbekannt\n\r");
    row("CR LF", {}, "\r\n", "?\r\n?\r\n", "Befehl unbekannt\n\rBefehl unbekannt\n\r");
}

void TestFirmware::replies()
{
    const auto [socket, setup, command, plain, other] =
        Table<Chip, QByteArray, QByteArray, QByteArray, QByteArray>::fetch();

    Firmware plainBoard;
    Firmware otherBoard;
    Texts texts = Texts::Default;
    QVERIFY(vantorsim::parseTexts("other", texts));
    otherBoard.setTexts(texts);
    for (Firmware *fw : {&plainBoard, &otherBoard}) {
        fw->setSocket(socket);
        talk(*fw, setup);
    }
    const QByteArray otherReply = talk(otherBoard, command);
    QCOMPARE(talk(plainBoard, command), plain);
    QCOMPARE(otherReply, other);
    QVERIFY(otherReply != plain);
    for (const char *word : {"OK", "Error", "error", "Verify", "failed", "Not blank", "Blank", "?",
                             "Load", "Chip ", "Fill", "cleared", "Checksum", "KEY_", "\r\n"})
        QVERIFY2(!otherReply.contains(word), word);
    if (command == "i")
        QVERIFY(otherReply.size() >= 26);

    // The words differ, the work does not.
    QCOMPARE(flash(otherBoard), flash(plainBoard));
    QCOMPARE(sram(otherBoard), sram(plainBoard));
    QCOMPARE(otherBoard.lockBits(), plainBoard.lockBits());
    QCOMPARE(otherBoard.selectedType(), plainBoard.selectedType());
}

// 0xF0 programmed over 0x0F, then verify, read, blank check and erase, under each lock.
void TestFirmware::lockBits_data()
{
    const Table<int, QByteArray> row;
    const QByteArray program = "Program OK\r\n";
    const QByteArray locked = "Error: locked\r\n";
    const QByteArray verifyFails =
        "Verify failed at 0000, 2048 bytes differ\r\nFlash not erased?\r\n";
    const QByteArray read = "Read OK\r\n";
    row("none", 0, program + verifyFails + read);
    row("LB1", 1, locked + verifyFails + read);
    row("LB2", 2, program + locked + locked);
    row("both", 3, locked + locked + locked);
}

void TestFirmware::lockBits()
{
    const auto [bits, replies] = Table<int, QByteArray>::fetch();
    Firmware fw;
    talk(fw, framed('Q', QByteArray(2048, '\x0F')));
    fw.setLockBits(static_cast<std::uint8_t>(bits));
    talk(fw, "F\xF0");

    QCOMPARE(talk(fw, "PVR"), replies);
    // Programming only clears bits: 0xF0 over 0x0F leaves zeros.
    const QByteArray chip(2048, (bits & 1) ? '\x0F' : '\0');
    QCOMPARE(flash(fw), chip);
    QCOMPARE(sram(fw).left(2048), (bits & 2) ? QByteArray(2048, '\xF0') : chip);
    // The blank check still reads; an erase empties the chip and clears the lock bits.
    QCOMPARE(talk(fw, "BE"), "Not blank at 0000\r\nErase OK\r\n"_ba);
    QCOMPARE(flash(fw), QByteArray(2048, '\xFF'));
    QCOMPARE(fw.lockBits(), std::uint8_t{0});
}

// Every chip operation against the wrong chip or an empty socket: one error line, no work.
void TestFirmware::signatureMismatch_data()
{
    const Table<Chip, QByteArray> row;
    for (const char *op : {"s", "B", "E", "P", "R", "V", "l", "q"}) {
        row(qPrintable(QString("empty socket ") + op), Chip::None, op);
        row(qPrintable(QString("4051 as 1051U ") + op), Chip::AT89C4051, op);
    }
}

void TestFirmware::signatureMismatch()
{
    const auto [socket, operation] = Table<Chip, QByteArray>::fetch();
    Firmware fw;
    fw.setSocket(socket);
    // Some content on the chip and in the SRAM, so that any work would show.
    const bool empty = socket == Chip::None;
    talk(fw,
         "@" + framed('Q', pattern(1000)) + framed('L', pattern(3000, 5)) + (empty ? "!" : "#"));
    const QByteArray flashBefore = flash(fw);
    const QByteArray sramBefore = sram(fw);

    QCOMPARE(talk(fw, operation),
             empty ? "Error: signature FE FE, expected 1E 21 (AT89C2051)\r\n"_ba
                   : "Error: signature 1E 41, expected 1E 12 (AT89C1051U)\r\n"_ba);
    QCOMPARE(flash(fw), flashBefore);
    QCOMPARE(sram(fw), sramBefore);
    QCOMPARE(fw.lockBits(), std::uint8_t{0});
}

// An image's bytes are data even where they look like commands, and past 8 KiB they are
// consumed and dropped; the byte after the image is a command again.
void TestFirmware::loadFraming()
{
    const std::pair<QByteArray, QByteArray> loads[] = {
        {QByteArray(), "Load OK, 0 bytes\r\n"},
        {QByteArray(105, 'i'), "Load OK, 105 bytes\r\n"},
        {pattern(9000), "Load OK, 9000 bytes\r\n"}};
    for (const auto &[image, reply] : loads) {
        Firmware fw;
        QCOMPARE(talk(fw, framed('L', image) + "i"), reply + "Vantor USB Programmer V2.10\r\n");
        const QByteArray stored = image.left(Firmware::kSramSize);
        QCOMPARE(sram(fw), stored + QByteArray(Firmware::kSramSize - stored.size(), '\xFF'));
    }
}

// What a program may rely on comes out byte for byte the same in both wordings: the raw
// read-backs, the key reports, and a given identification (escapes decoded), which stays
// the whole answer to "i" also when the wording is chosen after it.
void TestFirmware::sameBytesInBothWordings()
{
    const QByteArray image = pattern(4999);
    const std::string given = vantorsim::decodeEscapes("Vantor\\x20USB Programmer V\\r\\n");
    for (Texts texts : {Texts::Default, Texts::Other}) {
        Firmware fw;
        fw.setIdentification(given);
        fw.setTexts(texts);
        QCOMPARE(talk(fw, "i"), "Vantor USB Programmer V\r\n"_ba);
        talk(fw, framed('L', image));
        // Nothing but the raw bytes, one read-back after the other.
        QCOMPARE(talk(fw, "S1S2S4"), image.left(1024) + image.left(2048) + image.left(4096));
        // A short or longer read-back for the next one only.
        fw.setShortReadback(10);
        QCOMPARE(talk(fw, "S2S1"), image.left(10) + image.left(1024));
        fw.setExtraReadback(5);
        QCOMPARE(talk(fw, "S1S1"), image.left(1029) + image.left(1024));

        for (const auto &[key, report] :
             {std::pair{"2K", "KEY_2K\r\n"}, {"4K", "KEY_4K\r\n"}, {"1K", "KEY_1K\r\n"}}) {
            QVERIFY(fw.pressKey(key));
            QCOMPARE(talk(fw, {}), QByteArray(report));
        }
        QVERIFY(!fw.pressKey("3K") && !fw.pressKey("2k"));
        QCOMPARE(talk(fw, {}), QByteArray());
    }
}

// Paced, an erase takes 10 ms and programming 1.5 ms per byte of the selected chip; bytes
// that come meanwhile wait their turn. Refused operations answer at once.
void TestFirmware::paced()
{
    Firmware fw;
    fw.setPacing(true);
    QCOMPARE(talk(fw, framed('Q', pattern(100)) + "i", 1000.0), "Load OK, 100 bytes\r\n"_ba);
    QCOMPARE(talk(fw, {}, 1009.9), QByteArray());
    QCOMPARE(talk(fw, {}, 1010.0), "Erase OK\r\n"_ba);
    QCOMPARE(talk(fw, {}, 4081.9), QByteArray());
    QCOMPARE(talk(fw, {}, 4082.0), "Program OK\r\nVerify OK\r\nVantor USB Programmer V2.10\r\n"_ba);

    fw.setSocket(Chip::AT89C4051);
    QCOMPARE(talk(fw, "@P", 5000.0), "Chip AT89C4051\r\n"_ba);
    QCOMPARE(fw.nextDue(), 11144.0);
    QCOMPARE(talk(fw, {}, 11144.0), "Program OK\r\n"_ba);
    fw.setLockBits(Firmware::kLockBit1);
    QCOMPARE(talk(fw, "P", 14000.0), "Error: locked\r\n"_ba);
    QVERIFY(!fw.busy());
}

QTEST_APPLESS_MAIN(TestFirmware)
#include "tst_firmware.moc"
