#pragma once

#include <QByteArray>
#include <QLockFile>
#include <QString>

#include <optional>
#include <set>

// How a chip's serial number is written into its image: binary (big or little endian, 16 or
// 32 bits), packed BCD digits, or N decimal or upper-case hexadecimal ASCII digits.
class SerialFormat
{
public:
    // "be16", "be32", "le16", "le32", "bcd4", "bcd8", "ascii:N" (N 1 to 19) or "hex:N" (N 1
    // to 16); nothing for any other text.
    static std::optional<SerialFormat> parse(const QString &name);

    int width() const; // bytes in the chip
    quint64 largest() const;
    // The number's bytes; number must be at most largest().
    QByteArray bytes(quint64 number) const;

private:
    enum class Kind { Binary, Bcd, Decimal, Hexadecimal };
    SerialFormat(Kind kind, int width, bool littleEndian = false)
        : m_kind(kind), m_width(width), m_littleEndian(littleEndian)
    {
    }

    Kind m_kind;
    int m_width;
    bool m_littleEndian;
};

// Where the number goes and which numbers are handed out: "ADDR:FIRST[:STEP]", the address
// in hex (0x optional), the first number and the step in decimal (the step 1 by default).
struct SerialField {
    int address = 0;
    quint64 first = 0;
    quint64 step = 1;

    static std::optional<SerialField> parse(const QString &text);
};

// Whether a field of width bytes at address can take a number in a chip of chipSize bytes
// holding image: it must lie inside the chip, and where it overlaps the image, the image's
// bytes must be FF (a place the image's author left for it) unless blankOnly is false.
struct SerialPlace {
    enum Problem { Fits, OutsideChip, NotBlank };
    Problem problem = Fits;
    int address = -1; // NotBlank: the first byte that is not FF
    quint8 value = 0; // and its value

    static SerialPlace check(const QByteArray &image, int chipSize, int address, int width,
                             bool blankOnly);
};

// image with bytes at address, padded with FF up to the field's end when it lies past the
// image (as the chip's flash past an image is programmed).
QByteArray withSerial(QByteArray image, int address, const QByteArray &bytes);

// The serial numbers of a run. A number is used up only by a chip that passed; a failed
// chip's number is handed out again (the smallest such first), so several stations of one
// run can share one counter. The next number to hand out is kept in a state file, written
// whole after each chip that passed (a new file synced and renamed over the old, the folder
// synced), so a run that ends in any way starts again after the last number used. While a
// counter holds the state file, the file STATE.lock keeps other runs from using it.
class SerialCounter
{
public:
    enum class Status { Ok, Held, Failed };
    struct Holder {
        qint64 pid = 0;
        QString host;
        QString application;
    };

    explicit SerialCounter(const QString &statePath);

    // Takes the lock and reads the state file; without one the numbers start at first.
    Status open(quint64 first, quint64 step);
    Holder holder() const { return m_holder; } // after Held
    QString errorString() const { return m_error; }
    // Whether the next number came from the state file.
    bool resumed() const { return m_resumed; }

    // The number take() hands out next.
    quint64 peek() const;
    quint64 take();
    // The chip with number passed: the state file now starts after it. False when it could
    // not be written (errorString() says why).
    bool passed(quint64 number);
    // The chip with number failed: its number is handed out again.
    void failed(quint64 number) { m_returned.insert(number); }

private:
    bool readState();
    bool writeState(quint64 next);

    QString m_path;
    QLockFile m_lock;
    quint64 m_step = 1;
    quint64 m_next = 0;  // the next number never handed out
    quint64 m_saved = 0; // the number the state file holds
    std::set<quint64> m_returned;
    bool m_resumed = false;
    Holder m_holder;
    QString m_error;
};
