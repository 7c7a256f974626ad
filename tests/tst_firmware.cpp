// The emulator's firmware model, driven directly: bytes in, bytes out, with time.

#include "firmware.h"

#include <QtTest>

#include <cmath>

using vantorsim::Chip;
using vantorsim::Firmware;
using vantorsim::Texts;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Chip)
Q_DECLARE_METATYPE(Texts)

namespace
{

QByteArray toBytes(const std::string &s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// Sends bytes at one moment and returns everything answered by then.
QByteArray talk(Firmware &fw, const QByteArray &bytes, double nowMs = 0.0)
{
    for (char c : bytes)
        fw.receive(static_cast<std::uint8_t>(c), nowMs);
    return toBytes(fw.takeOutput(nowMs));
}

// "L"/"Q" with a big-endian 16-bit length and the image.
QByteArray framed(char command, const QByteArray &image)
{
    QByteArray out;
    out += command;
    out += static_cast<char>((image.size() >> 8) & 0xFF);
    out += static_cast<char>(image.size() & 0xFF);
    out += image;
    return out;
}

// A byte pattern with no 0xFF in it, so loaded data is told apart from empty SRAM.
QByteArray pattern(int size, int seed = 0)
{
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = static_cast<char>((i * 7 + seed + i / 251) % 255);
    return out;
}

QByteArray sramBytes(const Firmware &fw, int from, int size)
{
    return QByteArray(reinterpret_cast<const char *>(fw.sram().data()) + from, size);
}

QByteArray flashBytes(const Firmware &fw)
{
    return QByteArray(reinterpret_cast<const char *>(fw.flash().data()),
                      static_cast<qsizetype>(fw.flash().size()));
}

QByteArray selectCommand(Chip chip)
{
    switch (chip) {
    case Chip::AT89C4051:
        return "@";
    case Chip::AT89C1051U:
        return "#";
    default:
        return "!";
    }
}

} // namespace

class TestFirmware : public QObject
{
    Q_OBJECT

private slots:
    void conversation_data();
    void conversation();
    void customIdentification();
    void signatureMismatch_data();
    void signatureMismatch();
    void loadFraming_data();
    void loadFraming();
    void loadAcrossTime();
    void readback_data();
    void readback();
    void readbackShortAndExtra();
    void lockBits_data();
    void lockBits();
    void loadAndProgramReportsStages_data();
    void loadAndProgramReportsStages();
    void dump_data();
    void dump();
    void pacedDurations_data();
    void pacedDurations();
    void pacedLoadAndProgram();
    void bytesDuringBusyAreQueued();
    void lockedProgramIsRefusedAtOnce();
    void changingTheSocket();
    void escapes_data();
    void escapes();
    void otherTexts_data();
    void otherTexts();
    void identification_data();
    void identification();
    void keyReports_data();
    void keyReports();
    void readbackInEveryWording_data();
    void readbackInEveryWording();
    void textsNames_data();
    void textsNames();
};

// Bytes sent and the whole reply to them, step after step; then what the chip, its lock
// bits and the SRAM hold (an empty flash or sram, or a lock of -1, is not checked).
void TestFirmware::conversation_data()
{
    QTest::addColumn<Chip>("socket");
    QTest::addColumn<QList<QByteArray>>("steps");
    QTest::addColumn<QByteArray>("flash");
    QTest::addColumn<int>("lock");
    QTest::addColumn<QByteArray>("sram");
    const auto row = [](const char *name, const QList<QByteArray> &steps,
                        const QByteArray &flash = {}, int lock = -1, const QByteArray &sram = {},
                        Chip socket = Chip::AT89C2051) {
        QTest::newRow(name) << socket << steps << flash << lock << sram;
    };
    const QByteArray ok = "Load OK, 2048 bytes\r\nErase OK\r\nProgram OK\r\nVerify OK\r\n";
    const QByteArray unerased = "Verify failed at 0100, 16 bytes differ\r\nFlash not erased?\r\n";

    row("identification", {"i", "Vantor USB Programmer V2.10\r\n"});
    row("2051", {"!", "Chip AT89C2051\r\n", "s", "Signature 1E 21 AT89C2051 OK\r\n"});
    row("4051", {"@", "Chip AT89C4051\r\n", "s", "Signature 1E 41 AT89C4051 OK\r\n"}, {}, -1, {},
        Chip::AT89C4051);
    row("1051U", {"#", "Chip AT89C1051U\r\n", "s", "Signature 1E 12 AT89C1051U OK\r\n"}, {}, -1, {},
        Chip::AT89C1051U);

    // Programming without an erase stores the AND of old and new; verify hints at it.
    QByteArray old(2048, '\xFF');
    old.replace(0x100, 16, QByteArray(16, '\0'));
    QByteArray anded(2048, '\x5A');
    anded.replace(0x100, 16, QByteArray(16, '\0'));
    row("program without erase",
        {framed('Q', old), ok, framed('L', QByteArray(2048, '\x5A')), "Load OK, 2048 bytes\r\n",
         "P", "Program OK\r\n", "V", unerased},
        anded);
    // SRAM with fewer ones than the flash: a difference, but not one an erase would fix.
    row("verify fails without hint",
        {framed('Q', QByteArray(2048, '\x5A')), ok, framed('L', QByteArray(300, '\x50')),
         "Load OK, 300 bytes\r\n", "V", "Verify failed at 0000, 300 bytes differ\r\n", "F\x00"_ba,
         "Fill 00\r\n", "V", "Verify failed at 0000, 2048 bytes differ\r\n"});
    row("erase clears lock bits",
        {framed('Q', pattern(2048)), ok, "l", "Lock bits set\r\n", "P", "Error: locked\r\n", "E",
         "Erase OK\r\n", "B", "Blank\r\n", "P", "Program OK\r\n"},
        pattern(2048), 0);
    row("program and lock",
        {framed('L', pattern(2048)), "Load OK, 2048 bytes\r\n", "q",
         "Program OK\r\nVerify OK\r\nLock bits set\r\n", "q", "Error: locked\r\n"},
        pattern(2048), 3);
    row("program and lock stops at verify",
        {framed('Q', QByteArray(2048, '\x0F')), ok, "F\xF0", "Fill F0\r\n", "q",
         "Program OK\r\nVerify failed at 0000, 2048 bytes differ\r\nFlash not erased?\r\n"},
        QByteArray(2048, '\0'), 0);
    row("load and program, empty socket",
        {framed('Q', pattern(10)),
         "Load OK, 10 bytes\r\nError: signature FE FE, expected 1E 21 (AT89C2051)\r\n"},
        {}, 0, pattern(10), Chip::None);
    QByteArray notBlank(0x124, '\xFF');
    notBlank[0x123] = '\x7F';
    row("blank check", {"B", "Blank\r\n", framed('L', notBlank), "Load OK, 292 bytes\r\n", "P",
                        "Program OK\r\n", "B", "Not blank at 0123\r\n"});
    row("fill", {"F\xAB", "Fill AB\r\n"}, {}, -1, QByteArray(Firmware::kSramSize, '\xAB'));
    row("clear", {"F\xAB", "Fill AB\r\n", "X", "SRAM cleared\r\n"}, {}, -1,
        QByteArray(Firmware::kSramSize, '\xFF'));
    row("unpaced is immediate",
        {"E@P",
         "Erase OK\r\nChip AT89C4051\r\nError: signature 1E 21, expected 1E 41 (AT89C4051)\r\n",
         "!P", "Chip AT89C2051\r\nProgram OK\r\n"});

    // The checksum covers the chosen chip's size.
    row("checksum, empty SRAM, 2K", {"c", "Checksum F800\r\n"});
    row("checksum, empty SRAM, 4K", {"@c", "Chip AT89C4051\r\nChecksum F000\r\n"});
    row("checksum, empty SRAM, 1K", {"#c", "Chip AT89C1051U\r\nChecksum FC00\r\n"});
    row("checksum, ones, 2K", {"F\x01"_ba + "c", "Fill 01\r\nChecksum 0800\r\n"});
    row("checksum, zeros, 2K", {"F\x00"_ba + "c", "Fill 00\r\nChecksum 0000\r\n"});

    // No diagnostic touches the SRAM content or the chip.
    const QByteArray sram = pattern(Firmware::kSramSize);
    const QByteArray load = framed('L', sram);
    const QByteArray loaded = "Load OK, 8192 bytes\r\n";
    const QByteArray erased(2048, '\xFF');
    row("test SRAM", {load, loaded, "tR", "SRAM test OK, 8192 bytes\r\n"}, erased, -1, sram);
    row("test LED", {load, loaded, "tL", "LED test done\r\n"}, erased, -1, sram);
    row("test buzzer", {load, loaded, "tb", "Buzzer test done\r\n"}, erased, -1, sram);
    row("test Vpp 12 V", {load, loaded, "tV", "Vpp 12.0 V\r\n"}, erased, -1, sram);
    row("test Vpp high", {load, loaded, "th", "Vpp high\r\n"}, erased, -1, sram);
    row("test Vpp low", {load, loaded, "tl", "Vpp low\r\n"}, erased, -1, sram);
    row("test firmware", {load, loaded, "tf", "Firmware V2.10\r\n"}, erased, -1, sram);

    // Unknown bytes.
    row("x", {"x", "?\r\n"});
    row("CR LF", {"\r\n", "?\r\n?\r\n"});
    row("NUL", {"\x00"_ba, "?\r\n"});
    row("FF", {"\xFF", "?\r\n"});
    row("S then 3", {"S3", "?\r\n"});
    row("S then i", {"Si", "?\r\n"});
    row("t then z", {"tz", "?\r\n"});
    row("then a command", {"zi", "?\r\nVantor USB Programmer V2.10\r\n"});
}

void TestFirmware::conversation()
{
    QFETCH(Chip, socket);
    QFETCH(QList<QByteArray>, steps);
    QFETCH(QByteArray, flash);
    QFETCH(int, lock);
    QFETCH(QByteArray, sram);
    Firmware fw;
    fw.setSocket(socket);
    for (int i = 0; i + 1 < steps.size(); i += 2)
        QCOMPARE(talk(fw, steps[i]), steps[i + 1]);
    if (!flash.isEmpty())
        QCOMPARE(flashBytes(fw), flash);
    if (lock >= 0)
        QCOMPARE(int(fw.lockBits()), lock);
    if (!sram.isEmpty())
        QCOMPARE(sramBytes(fw, 0, int(sram.size())), sram);
    // Without pacing every operation is over at once.
    QVERIFY(!fw.busy());
    QVERIFY(std::isinf(fw.nextDue()));
}

void TestFirmware::customIdentification()
{
    Firmware fw;
    fw.setIdentification(vantorsim::decodeEscapes("Vantor USB Programmer V\\r\\n"));
    QCOMPARE(talk(fw, "i"), QByteArray("Vantor USB Programmer V\r\n"));
}

void TestFirmware::signatureMismatch_data()
{
    QTest::addColumn<Chip>("socket");
    QTest::addColumn<QByteArray>("select");
    QTest::addColumn<QByteArray>("operation");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray empty = "Error: signature FE FE, expected 1E 21 (AT89C2051)\r\n";
    const QByteArray wrong = "Error: signature 1E 41, expected 1E 12 (AT89C1051U)\r\n";
    for (const char *op : {"s", "B", "E", "P", "R", "V", "l", "q"}) {
        QTest::addRow("empty socket %s", op)
            << Chip::None << QByteArray("!") << QByteArray(op) << empty;
        QTest::addRow("4051 as 1051U %s", op)
            << Chip::AT89C4051 << QByteArray("#") << QByteArray(op) << wrong;
    }
}

void TestFirmware::signatureMismatch()
{
    QFETCH(Chip, socket);
    QFETCH(QByteArray, select);
    QFETCH(QByteArray, operation);
    QFETCH(QByteArray, reply);

    Firmware fw;
    fw.setSocket(socket);
    if (socket != Chip::None) {
        // Give the chip some content so that an erase, program or read would show.
        talk(fw, selectCommand(socket));
        talk(fw, framed('Q', pattern(1000)));
    }
    const QByteArray flashBefore = flashBytes(fw);
    talk(fw, framed('L', pattern(3000, 5)));
    const QByteArray sramBefore = sramBytes(fw, 0, Firmware::kSramSize);

    talk(fw, select);
    QCOMPARE(talk(fw, operation), reply);
    QCOMPARE(flashBytes(fw), flashBefore);
    QCOMPARE(sramBytes(fw, 0, Firmware::kSramSize), sramBefore);
    QCOMPARE(fw.lockBits(), std::uint8_t{0});
}

void TestFirmware::loadFraming_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("0 bytes") << QByteArray() << QByteArray("Load OK, 0 bytes\r\n");
    QTest::newRow("300 bytes") << pattern(300) << QByteArray("Load OK, 300 bytes\r\n");
    QTest::newRow("4999 bytes") << pattern(4999) << QByteArray("Load OK, 4999 bytes\r\n");
    // Image bytes that look like commands are data.
    QTest::newRow("105 x 'i'") << QByteArray(105, 'i') << QByteArray("Load OK, 105 bytes\r\n");
    // Beyond the 8 KiB SRAM the bytes are consumed and dropped.
    QTest::newRow("9000 bytes") << pattern(9000) << QByteArray("Load OK, 9000 bytes\r\n");
}

void TestFirmware::loadFraming()
{
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, reply);
    Firmware fw;
    // The byte after the image is a command again.
    QCOMPARE(talk(fw, framed('L', image) + "i"), reply + "Vantor USB Programmer V2.10\r\n");
    const int stored = std::min<int>(image.size(), Firmware::kSramSize);
    QCOMPARE(sramBytes(fw, 0, stored), image.left(stored));
    QCOMPARE(sramBytes(fw, stored, Firmware::kSramSize - stored),
             QByteArray(Firmware::kSramSize - stored, '\xFF'));
}

void TestFirmware::loadAcrossTime()
{
    Firmware fw;
    const QByteArray image = pattern(300);
    const QByteArray frame = framed('L', image);
    QCOMPARE(talk(fw, frame.left(2), 0.0), QByteArray());
    QCOMPARE(talk(fw, frame.mid(2, 100), 50.0), QByteArray());
    QCOMPARE(talk(fw, frame.mid(102), 900.0), QByteArray("Load OK, 300 bytes\r\n"));
    QCOMPARE(sramBytes(fw, 0, 300), image);
}

void TestFirmware::readback_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("size");
    QTest::newRow("S1") << QByteArray("S1") << 1024;
    QTest::newRow("S2") << QByteArray("S2") << 2048;
    QTest::newRow("S4") << QByteArray("S4") << 4096;
}

void TestFirmware::readback()
{
    QFETCH(QByteArray, command);
    QFETCH(int, size);
    Firmware fw;
    const QByteArray image = pattern(4999);
    talk(fw, framed('L', image));
    // Nothing but the raw bytes; the next command is answered normally.
    QCOMPARE(talk(fw, command + "X"), image.left(size) + "SRAM cleared\r\n");
}

void TestFirmware::readbackShortAndExtra()
{
    Firmware fw;
    const QByteArray image = pattern(4999);
    talk(fw, framed('L', image));

    fw.setShortReadback(10);
    QCOMPARE(talk(fw, "S2"), image.left(10));
    QCOMPARE(talk(fw, "S2"), image.left(2048));

    fw.setExtraReadback(5);
    QCOMPARE(talk(fw, "S1"), image.left(1029));
    QCOMPARE(talk(fw, "S1"), image.left(1024));

    fw.setShortReadback(0);
    QCOMPARE(talk(fw, "S4"), QByteArray());
    QCOMPARE(talk(fw, "S4").size(), 4096);
}

void TestFirmware::lockBits_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QByteArray>("verify");
    QTest::addColumn<QByteArray>("read");
    const QByteArray locked = "Error: locked\r\n";
    const QByteArray verifyFails =
        "Verify failed at 0000, 2048 bytes differ\r\nFlash not erased?\r\n";
    QTest::newRow("none") << 0 << QByteArray("Program OK\r\n") << verifyFails
                          << QByteArray("Read OK\r\n");
    QTest::newRow("LB1") << 1 << locked << verifyFails << QByteArray("Read OK\r\n");
    QTest::newRow("LB2") << 2 << QByteArray("Program OK\r\n") << locked << locked;
    QTest::newRow("both") << 3 << locked << locked << locked;
}

void TestFirmware::lockBits()
{
    QFETCH(int, bits);
    QFETCH(QByteArray, program);
    QFETCH(QByteArray, verify);
    QFETCH(QByteArray, read);

    Firmware fw;
    talk(fw, framed('Q', QByteArray(2048, '\x0F')));
    fw.setLockBits(static_cast<std::uint8_t>(bits));
    talk(fw, "F\xF0");

    // Programming 0xF0 over 0x0F would leave zeros.
    QCOMPARE(talk(fw, "P"), program);
    const bool programmed = (bits & 1) == 0;
    QCOMPARE(flashBytes(fw), QByteArray(2048, programmed ? '\0' : '\x0F'));

    // SRAM 0xF0 against flash 0x00 or 0x0F: every byte differs.
    QCOMPARE(talk(fw, "V"), verify);

    QCOMPARE(talk(fw, "R"), read);
    const bool readAllowed = (bits & 2) == 0;
    QCOMPARE(sramBytes(fw, 0, 2048), readAllowed ? flashBytes(fw) : QByteArray(2048, '\xF0'));

    // The blank check still reads.
    QCOMPARE(talk(fw, "B"), QByteArray("Not blank at 0000\r\n"));
}

void TestFirmware::loadAndProgramReportsStages_data()
{
    QTest::addColumn<Chip>("chip");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<int>("size");
    QTest::newRow("2051, 300 bytes") << Chip::AT89C2051 << pattern(300) << 2048;
    QTest::newRow("4051, 4999 bytes") << Chip::AT89C4051 << pattern(4999) << 4096;
    QTest::newRow("1051U, 1024 bytes") << Chip::AT89C1051U << pattern(1024) << 1024;
}

void TestFirmware::loadAndProgramReportsStages()
{
    QFETCH(Chip, chip);
    QFETCH(QByteArray, image);
    QFETCH(int, size);

    Firmware fw;
    fw.setSocket(chip);
    talk(fw, selectCommand(chip));
    // Old, locked content is erased first.
    talk(fw, "F\x11Pl");
    talk(fw, "X");

    const QByteArray expected = "Load OK, " + QByteArray::number(image.size()) +
                                " bytes\r\nErase OK\r\nProgram OK\r\nVerify OK\r\n";
    QCOMPARE(talk(fw, framed('Q', image)), expected);
    QByteArray flash = image.left(size);
    flash += QByteArray(size - flash.size(), '\xFF');
    QCOMPARE(flashBytes(fw), flash);
    QCOMPARE(fw.lockBits(), std::uint8_t{0});
}

void TestFirmware::dump_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("0123") << "\x01\x23"_ba
                          << QByteArray(
                                 "0123: 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F 30 31 32\r\n"
                                 "0133: 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F 40 41 42\r\n"
                                 "0143: 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 51 52\r\n"
                                 "0153: 53 54 55 56 57 58 59 5A 5B 5C 5D 5E 5F 60 61 62\r\n");
    QTest::newRow("wraps inside a line")
        << "\x1F\xF8"_ba
        << QByteArray("1FF8: F8 F9 FA FB FC FD FE FF 00 01 02 03 04 05 06 07\r\n"
                      "0008: 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17\r\n"
                      "0018: 18 19 1A 1B 1C 1D 1E 1F 20 21 22 23 24 25 26 27\r\n"
                      "0028: 28 29 2A 2B 2C 2D 2E 2F 30 31 32 33 34 35 36 37\r\n");
    QTest::newRow("address beyond 8K")
        << "\xFF\xF0"_ba
        << QByteArray("1FF0: F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF\r\n"
                      "0000: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\n"
                      "0010: 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\r\n"
                      "0020: 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F\r\n");
}

void TestFirmware::dump()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, reply);
    Firmware fw;
    QByteArray image(Firmware::kSramSize, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i & 0xFF);
    talk(fw, framed('L', image));
    QCOMPARE(talk(fw, "d" + address), reply);
}

void TestFirmware::pacedDurations_data()
{
    QTest::addColumn<Chip>("chip");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<double>("durationMs");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("erase") << Chip::AT89C2051 << QByteArray("E") << 10.0
                           << QByteArray("Erase OK\r\n");
    QTest::newRow("program 2K") << Chip::AT89C2051 << QByteArray("P") << 3072.0
                                << QByteArray("Program OK\r\n");
    QTest::newRow("program 4K") << Chip::AT89C4051 << QByteArray("P") << 6144.0
                                << QByteArray("Program OK\r\n");
    QTest::newRow("program 1K") << Chip::AT89C1051U << QByteArray("P") << 1536.0
                                << QByteArray("Program OK\r\n");
    QTest::newRow("program, verify, lock 1K")
        << Chip::AT89C1051U << QByteArray("q") << 1536.0
        << QByteArray("Program OK\r\nVerify OK\r\nLock bits set\r\n");
    QTest::newRow("verify") << Chip::AT89C2051 << QByteArray("V") << 0.0
                            << QByteArray("Verify OK\r\n");
}

void TestFirmware::pacedDurations()
{
    QFETCH(Chip, chip);
    QFETCH(QByteArray, command);
    QFETCH(double, durationMs);
    QFETCH(QByteArray, reply);

    Firmware fw;
    fw.setPacing(true);
    fw.setSocket(chip);
    QCOMPARE(talk(fw, selectCommand(chip), 100.0).left(5), QByteArray("Chip "));

    const double start = 250.0;
    const QByteArray early = talk(fw, command, start);
    if (durationMs > 0) {
        QCOMPARE(early, QByteArray());
        QVERIFY(fw.busy());
        QCOMPARE(fw.nextDue(), start + durationMs);
        QCOMPARE(toBytes(fw.takeOutput(start + durationMs - 0.01)), QByteArray());
        QCOMPARE(toBytes(fw.takeOutput(start + durationMs)), reply);
    } else {
        QCOMPARE(early, reply);
    }
    QVERIFY(!fw.busy());
    QVERIFY(std::isinf(fw.nextDue()));
}

void TestFirmware::pacedLoadAndProgram()
{
    Firmware fw;
    fw.setPacing(true);
    QCOMPARE(talk(fw, framed('Q', pattern(100)), 1000.0), QByteArray("Load OK, 100 bytes\r\n"));
    QCOMPARE(toBytes(fw.takeOutput(1009.9)), QByteArray());
    QCOMPARE(toBytes(fw.takeOutput(1010.0)), QByteArray("Erase OK\r\n"));
    // Programming covers the whole 2K, not just the loaded part.
    QCOMPARE(toBytes(fw.takeOutput(1010.0 + 3071.9)), QByteArray());
    QCOMPARE(toBytes(fw.takeOutput(1010.0 + 3072.0)), QByteArray("Program OK\r\nVerify OK\r\n"));
}

void TestFirmware::bytesDuringBusyAreQueued()
{
    Firmware fw;
    fw.setPacing(true);
    QCOMPARE(talk(fw, "E", 0.0), QByteArray());
    QCOMPARE(talk(fw, "i", 1.0), QByteArray());
    QCOMPARE(talk(fw, "E", 2.0), QByteArray());
    QCOMPARE(talk(fw, "!", 3.0), QByteArray());
    QCOMPARE(toBytes(fw.takeOutput(9.0)), QByteArray());
    // The first erase ends at 10; the queued bytes follow in order, the second erase
    // starting when the first one ended.
    QCOMPARE(toBytes(fw.takeOutput(15.0)),
             QByteArray("Erase OK\r\nVantor USB Programmer V2.10\r\n"));
    QCOMPARE(fw.nextDue(), 20.0);
    QCOMPARE(toBytes(fw.takeOutput(20.0)), QByteArray("Erase OK\r\nChip AT89C2051\r\n"));

    // A whole image sent during a long operation is not lost.
    talk(fw, "P", 100.0);
    const QByteArray image = pattern(500);
    talk(fw, framed('L', image), 101.0);
    QCOMPARE(toBytes(fw.takeOutput(3000.0)), QByteArray());
    QCOMPARE(toBytes(fw.takeOutput(3172.0)), QByteArray("Program OK\r\nLoad OK, 500 bytes\r\n"));
    QCOMPARE(sramBytes(fw, 0, 500), image);
}

void TestFirmware::lockedProgramIsRefusedAtOnce()
{
    Firmware fw;
    fw.setPacing(true);
    fw.setLockBits(Firmware::kLockBit1);
    QCOMPARE(talk(fw, "P", 5.0), QByteArray("Error: locked\r\n"));
    QVERIFY(!fw.busy());
}

void TestFirmware::changingTheSocket()
{
    Firmware fw;
    talk(fw, framed('Q', pattern(2048)) + "l");
    QCOMPARE(fw.lockBits(), std::uint8_t{3});
    fw.setSocket(Chip::AT89C4051);
    QCOMPARE(fw.lockBits(), std::uint8_t{0});
    QCOMPARE(flashBytes(fw), QByteArray(4096, '\xFF'));
    // The selected type stays what it was.
    QCOMPARE(fw.selectedType(), Chip::AT89C2051);
    fw.setSocket(Chip::None);
    QVERIFY(fw.flash().empty());
}

void TestFirmware::escapes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("plain") << "KEY_2K" << QByteArray("KEY_2K");
    QTest::newRow("CR LF") << "KEY_\\r\\n" << QByteArray("KEY_\r\n");
    QTest::newRow("backslash") << "a\\\\b" << QByteArray("a\\b");
    QTest::newRow("hex") << "\\x00\\xfF\\x41"
                         << "\x00\xFF"
                            "A"_ba;
    QTest::newRow("unknown escape kept") << "\\t\\x4" << QByteArray("\\t\\x4");
    QTest::newRow("trailing backslash") << "ab\\" << QByteArray("ab\\");
}

void TestFirmware::escapes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(toBytes(vantorsim::decodeEscapes(text.toStdString())), bytes);
}

// Every command on two boards, one in the default words and one in the other words: each
// answers as listed, the other board never in the default's words or line ends (or not at
// all), and both end in the same state.
void TestFirmware::otherTexts_data()
{
    QTest::addColumn<Chip>("socket");
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("other");
    const auto row = [](const char *name, const QByteArray &setup, const QByteArray &command,
                        const QByteArray &plain, const QByteArray &other,
                        Chip socket = Chip::AT89C2051) {
        QTest::newRow(name) << socket << setup << command << plain << other;
    };
    const QByteArray programmed = framed('Q', pattern(2048));
    QByteArray notBlank(0x124, '\xFF');
    notBlank[0x123] = '\x7F';
    QByteArray unerased(2048, '\xFF');
    unerased.replace(0x100, 16, QByteArray(16, '\0'));
    QByteArray ramp(0x200, '\0');
    for (int i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<char>(i);

    row("i", {}, "i", "Vantor USB Programmer V2.10\r\n", "Brenner USB-Vantor, Stand 2.10\n");
    row("!", "@", "!", "Chip AT89C2051\r\n", {});
    row("@", {}, "@", "Chip AT89C4051\r\n", {}, Chip::AT89C4051);
    row("#", {}, "#", "Chip AT89C1051U\r\n", {}, Chip::AT89C1051U);
    row("s", {}, "s", "Signature 1E 21 AT89C2051 OK\r\n", "Kennung 1E21, 89C2051 erkannt\n");
    row("s, 4051", "@", "s", "Signature 1E 41 AT89C4051 OK\r\n", "Kennung 1E41, 89C4051 erkannt\n",
        Chip::AT89C4051);
    row("s, empty socket", {}, "s", "Error: signature FE FE, expected 1E 21 (AT89C2051)\r\n",
        "Kennung FEFE statt 1E21 (89C2051)\n", Chip::None);
    row("s, 4051 as 1051U", "#", "s", "Error: signature 1E 41, expected 1E 12 (AT89C1051U)\r\n",
        "Kennung 1E41 statt 1E12 (89C1051U)\n", Chip::AT89C4051);
    row("B, blank", {}, "B", "Blank\r\n", "leer\n");
    row("B, not blank", framed('L', notBlank) + "P", "B", "Not blank at 0123\r\n",
        "belegt ab 0123\n");
    row("E", programmed + "l", "E", "Erase OK\r\n", "geloescht\n");
    row("P", framed('L', pattern(2048)), "P", "Program OK\r\n", "programmiert\n");
    row("P, locked", programmed + "l", "P", "Error: locked\r\n", "gesperrt\n");
    row("R", programmed + "X", "R", "Read OK\r\n", "ausgelesen\n");
    row("R, locked", programmed + "l", "R", "Error: locked\r\n", "gesperrt\n");
    row("V", programmed, "V", "Verify OK\r\n", "gleich\n");
    row("V, differs", framed('Q', QByteArray(2048, '\x5A')) + framed('L', QByteArray(300, '\x50')),
        "V", "Verify failed at 0000, 300 bytes differ\r\n", "ungleich ab 0000, 300 Bytes\n");
    row("V, not erased", framed('Q', unerased) + framed('L', QByteArray(2048, '\x5A')) + "P", "V",
        "Verify failed at 0100, 16 bytes differ\r\nFlash not erased?\r\n",
        "ungleich ab 0100, 16 Bytes\nvorher nicht geloescht\n");
    row("V, locked", programmed + "l", "V", "Error: locked\r\n", "gesperrt\n");
    row("l", programmed, "l", "Lock bits set\r\n", "Sperrbits gesetzt\n");
    row("q", framed('L', pattern(2048)), "q", "Program OK\r\nVerify OK\r\nLock bits set\r\n",
        "programmiert\ngleich\nSperrbits gesetzt\n");
    row("q, stops at verify", framed('Q', QByteArray(2048, '\x0F')) + "F\xF0", "q",
        "Program OK\r\nVerify failed at 0000, 2048 bytes differ\r\nFlash not erased?\r\n",
        "programmiert\nungleich ab 0000, 2048 Bytes\nvorher nicht geloescht\n");
    row("q, locked", programmed + "l", "q", "Error: locked\r\n", "gesperrt\n");
    row("q, empty socket", {}, "q", "Error: signature FE FE, expected 1E 21 (AT89C2051)\r\n",
        "Kennung FEFE statt 1E21 (89C2051)\n", Chip::None);
    row("L", {}, framed('L', pattern(300)), "Load OK, 300 bytes\r\n", {});
    row("L, 0 bytes", {}, framed('L', {}), "Load OK, 0 bytes\r\n", {});
    row("Q", {}, framed('Q', pattern(2048)),
        "Load OK, 2048 bytes\r\nErase OK\r\nProgram OK\r\nVerify OK\r\n",
        "geloescht\nprogrammiert\ngleich\n");
    row("Q, empty socket", {}, framed('Q', pattern(10)),
        "Load OK, 10 bytes\r\nError: signature FE FE, expected 1E 21 (AT89C2051)\r\n",
        "Kennung FEFE statt 1E21 (89C2051)\n", Chip::None);
    row("S then 3", {}, "S3", "?\r\n", "Befehl unbekannt\n\r");
    row("F", {}, "F\xAB", "Fill AB\r\n", {});
    row("X", "F\x12", "X", "SRAM cleared\r\n", {});
    row("c", {}, "c", "Checksum F800\r\n", "Summe f800\n");
    row("c, 4K", "@", "c", "Checksum F000\r\n", "Summe f000\n");
    row("d", framed('L', ramp), "d\x01\x23",
        "0123: 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F 30 31 32\r\n"
        "0133: 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F 40 41 42\r\n"
        "0143: 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 51 52\r\n"
        "0153: 53 54 55 56 57 58 59 5A 5B 5C 5D 5E 5F 60 61 62\r\n",
        "0123> 23 24 25 26 27 28 29 2a 2b 2c 2d 2e 2f 30 31 32\n"
        "0133> 33 34 35 36 37 38 39 3a 3b 3c 3d 3e 3f 40 41 42\n"
        "0143> 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50 51 52\n"
        "0153> 53 54 55 56 57 58 59 5a 5b 5c 5d 5e 5f 60 61 62\n");
    row("tR", {}, "tR", "SRAM test OK, 8192 bytes\r\n", "Speicher gut, 8192 Zellen\r");
    row("tL", {}, "tL", "LED test done\r\n", "LED an und aus\r");
    row("tb", {}, "tb", "Buzzer test done\r\n", "Summer gepiept\r");
    row("tV", {}, "tV", "Vpp 12.0 V\r\n", "Programmierspannung 12,0 V\r");
    row("th", {}, "th", "Vpp high\r\n", "Vpp ein\r");
    row("tl", {}, "tl", "Vpp low\r\n", "Vpp aus\r");
    row("tf", {}, "tf", "Firmware V2.10\r\n", "Stand 2.10\r");
    row("t then z", {}, "tz", "?\r\n", "Befehl unbekannt\n\r");
    row("x", {}, "x", "?\r\n", "Befehl unbekannt\n\r");
    row("CR LF", {}, "\r\n", "?\r\n?\r\n", "Befehl unbekannt\n\rBefehl unbekannt\n\r");
    row("NUL", {}, "\x00"_ba, "?\r\n", "Befehl unbekannt\n\r");
}

void TestFirmware::otherTexts()
{
    QFETCH(Chip, socket);
    QFETCH(QByteArray, setup);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, other);

    Firmware plainBoard;
    Firmware otherBoard;
    otherBoard.setTexts(Texts::Other);
    QCOMPARE(otherBoard.texts(), Texts::Other);
    for (Firmware *fw : {&plainBoard, &otherBoard}) {
        fw->setSocket(socket);
        talk(*fw, setup);
    }
    const QByteArray plainReply = talk(plainBoard, command);
    const QByteArray otherReply = talk(otherBoard, command);
    QCOMPARE(plainReply, plain);
    QCOMPARE(otherReply, other);
    QVERIFY(otherReply != plainReply);
    for (const char *word : {"OK", "Error", "error", "Verify", "failed", "Not blank", "Blank", "?",
                             "Load", "Chip ", "Fill", "cleared", "Checksum", "KEY_", "\r\n"})
        QVERIFY2(!otherReply.contains(word), word);

    // The words differ, the work does not.
    QCOMPARE(flashBytes(otherBoard), flashBytes(plainBoard));
    QCOMPARE(sramBytes(otherBoard, 0, Firmware::kSramSize),
             sramBytes(plainBoard, 0, Firmware::kSramSize));
    QCOMPARE(otherBoard.lockBits(), plainBoard.lockBits());
    QCOMPARE(otherBoard.selectedType(), plainBoard.selectedType());
}

// The answer to "i" in both wordings: at least 26 characters of its own, or the text given.
void TestFirmware::identification_data()
{
    QTest::addColumn<Texts>("texts");
    QTest::addColumn<QByteArray>("given"); // empty: none
    QTest::addColumn<bool>("givenFirst");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("default") << Texts::Default << QByteArray() << false
                             << QByteArray("Vantor USB Programmer V2.10\r\n");
    QTest::newRow("other") << Texts::Other << QByteArray() << false
                           << QByteArray("Brenner USB-Vantor, Stand 2.10\n");
    QTest::newRow("other, given after") << Texts::Other << QByteArray("Vantor USB Programmer V\r\n")
                                        << false << QByteArray("Vantor USB Programmer V\r\n");
    QTest::newRow("other, given before")
        << Texts::Other << QByteArray("Vantor USB Programmer V\r\n") << true
        << QByteArray("Vantor USB Programmer V\r\n");
}

void TestFirmware::identification()
{
    QFETCH(Texts, texts);
    QFETCH(QByteArray, given);
    QFETCH(bool, givenFirst);
    QFETCH(QByteArray, reply);
    Firmware fw;
    if (!given.isEmpty() && givenFirst)
        fw.setIdentification(given.toStdString());
    fw.setTexts(texts);
    if (!given.isEmpty() && !givenFirst)
        fw.setIdentification(given.toStdString());
    const QByteArray answer = talk(fw, "i");
    QCOMPARE(answer, reply);
    if (given.isEmpty())
        QVERIFY(answer.size() >= 26);
}

void TestFirmware::keyReports_data()
{
    QTest::addColumn<Texts>("texts");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("report"); // empty: refused
    for (Texts texts : {Texts::Default, Texts::Other}) {
        const char *mode = texts == Texts::Default ? "default" : "other";
        QTest::addRow("2K, %s", mode) << texts << "2K" << QByteArray("KEY_2K\r\n");
        QTest::addRow("4K, %s", mode) << texts << "4K" << QByteArray("KEY_4K\r\n");
        QTest::addRow("1K, %s", mode) << texts << "1K" << QByteArray("KEY_1K\r\n");
        QTest::addRow("3K, %s", mode) << texts << "3K" << QByteArray();
        QTest::addRow("2k, %s", mode) << texts << "2k" << QByteArray();
    }
}

void TestFirmware::keyReports()
{
    QFETCH(Texts, texts);
    QFETCH(QString, key);
    QFETCH(QByteArray, report);
    Firmware fw;
    fw.setTexts(texts);
    QCOMPARE(fw.pressKey(key.toStdString()), !report.isEmpty());
    QCOMPARE(toBytes(fw.takeOutput(0.0)), report);
}

void TestFirmware::readbackInEveryWording_data()
{
    QTest::addColumn<Texts>("texts");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("before"); // the answers to X and L
    for (Texts texts : {Texts::Default, Texts::Other}) {
        const bool plain = texts == Texts::Default;
        const char *mode = plain ? "default" : "other";
        const QByteArray before = plain ? "SRAM cleared\r\nLoad OK, 4999 bytes\r\n" : "";
        QTest::addRow("S1, %s", mode) << texts << QByteArray("S1") << 1024 << before;
        QTest::addRow("S2, %s", mode) << texts << QByteArray("S2") << 2048 << before;
        QTest::addRow("S4, %s", mode) << texts << QByteArray("S4") << 4096 << before;
    }
}

void TestFirmware::readbackInEveryWording()
{
    QFETCH(Texts, texts);
    QFETCH(QByteArray, command);
    QFETCH(int, size);
    QFETCH(QByteArray, before);
    Firmware fw;
    fw.setTexts(texts);
    const QByteArray image = pattern(4999);
    // Nothing but the raw bytes.
    QCOMPARE(talk(fw, "X" + framed('L', image) + command), before + image.left(size));
    QCOMPARE(talk(fw, command), image.left(size));
}

void TestFirmware::textsNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("known");
    QTest::addColumn<Texts>("texts");
    QTest::newRow("default") << "default" << true << Texts::Default;
    QTest::newRow("other") << "other" << true << Texts::Other;
    QTest::newRow("Other") << "Other" << false << Texts::Default;
    QTest::newRow("empty") << "" << false << Texts::Default;
}

void TestFirmware::textsNames()
{
    QFETCH(QString, name);
    QFETCH(bool, known);
    QFETCH(Texts, texts);
    Texts parsed = Texts::Default;
    QCOMPARE(vantorsim::parseTexts(name.toStdString(), parsed), known);
    QCOMPARE(parsed, texts);
}

QTEST_APPLESS_MAIN(TestFirmware)
#include "tst_firmware.moc"
