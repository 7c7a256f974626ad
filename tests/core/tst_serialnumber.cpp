#include "core/serialnumber.h"
#include "rig.h"

#include <QTemporaryDir>

#include <memory>

// Serial numbers: their bytes in each format, where they may go in a chip, and the counter
// that hands each out once, across chips that fail and runs that end in the middle.
class TstSerialNumber : public QObject
{
    Q_OBJECT
private slots:
    void formats_data()
    {
        // bytes in hex; an empty largest for a format that is refused.
        const Table<QString, qulonglong, QString, QString> table;
        const auto row = [&](const char *format, qulonglong number, const char *bytes,
                             const char *largest) {
            table(qPrintable(QString("%1 %2").arg(format).arg(number)), format, number, bytes,
                  largest);
        };
        row("be16", 0x1234, "1234", "65535");
        row("le16", 0x1234, "3412", "65535");
        row("be32", 0x12345678, "12345678", "4294967295");
        row("le32", 0x12345678, "78563412", "4294967295");
        row("bcd4", 1234, "1234", "9999");
        row("bcd4", 7, "0007", "9999");
        row("bcd8", 12345678, "12345678", "99999999");
        row("ascii:6", 42, "303030303432", "999999");
        row("ascii:18", 0, "303030303030303030303030303030303030", "999999999999999999");
        row("hex:6", 0xBEEF, "303042454546", "16777215");
        row("hex:15", 1, "303030303030303030303030303031", "1152921504606846975");
        for (const char *refused : {"BE16", "be24", "bcd6", "ascii", "ascii:", "ascii:0",
                                    "ascii:06", "ascii:19", "hex:16", "hex:-1", " be16"})
            row(refused, 0, "", "");
    }
    void formats()
    {
        const auto [name, number, bytes, largest] =
            Table<QString, qulonglong, QString, QString>::fetch();
        const std::optional<SerialFormat> format = SerialFormat::parse(name);
        QCOMPARE(format ? QString::number(format->largest()) : QString(), largest);
        if (format) {
            QCOMPARE(format->bytes(number).toHex().toUpper(), bytes.toLatin1());
            QCOMPARE(format->width(), bytes.size() / 2);
        }
    }

    void placement_data()
    {
        // The image 01 FF FF FF 02 in a chip of 16 bytes; the field filled with AB.
        const Table<int, int, bool, QString, QString> row;
        row("on FF", 1, 2, true, "", "01ABABFF02");
        row("on FF up to the image's end", 1, 3, true, "", "01ABABAB02");
        row("across the image's end", 2, 4, true, "not FF: 02 at 4", "");
        row("on the image's first byte", 0, 2, true, "not FF: 01 at 0", "");
        row("overwriting", 0, 2, false, "", "ABABFFFF02");
        row("just after the image", 5, 4, true, "", "01FFFFFF02ABABABAB");
        row("in the padding", 6, 2, true, "", "01FFFFFF02FFABAB");
        row("at the chip's end", 14, 2, true, "", "01FFFFFF02FFFFFFFFFFFFFFFFFFABAB");
        row("a byte past the chip", 15, 2, true, "outside", "");
        row("past the chip, overwriting", 15, 2, false, "outside", "");
    }
    void placement()
    {
        const auto [address, width, blankOnly, problem, image] =
            Table<int, int, bool, QString, QString>::fetch();
        const QByteArray given = QByteArray::fromHex("01FFFFFF02");
        const SerialPlace place = SerialPlace::check(given, 16, address, width, blankOnly);
        const QString found[] = {
            "", "outside",
            QString("not FF: %1 at %2").arg(place.value, 2, 16, QChar('0')).arg(place.address)};
        QCOMPARE(found[place.problem], problem);
        if (problem.isEmpty())
            QCOMPARE(withSerial(given, address, QByteArray(width, char(0xAB))).toHex().toUpper(),
                     image.toLatin1());
    }

    void counter_data()
    {
        // The state file before; the steps: t takes a number (shown), pN and fN say the N-th
        // taken passed (the state file then shown after "=") or failed, r ends the run and
        // starts another (its first number shown after "r").
        const Table<QString, qulonglong, qulonglong, QString, QString> row;
        row("a failed chip's number goes to the next", "", 1000, 1, "t p0 t f1 t p2 r t",
            "@1000 1000 =1001 1001 1001 =1002 r1002 1002");
        row("two stations, the second passes first", "", 1000, 1, "t t p1 f0 t p2 r t",
            "@1000 1000 1001 =1002 1000 =1002 r1002 1002");
        row("a run ended with a chip under way", "", 5, 10, "t p0 t r t p2",
            "@5 5 =15 15 r15 15 =25");
        row("the state file before the first number", "77\n", 1, 1, "t p0", "@77 77 =78");
        row("a state file that holds no number", "x77\n", 1, 1, "", "@failed");
    }
    void counter()
    {
        const auto [state, first, step, steps, seen] =
            Table<QString, qulonglong, qulonglong, QString, QString>::fetch();
        QTemporaryDir dir;
        const QString path = dir.filePath("blink.tsk.serial");
        if (!state.isEmpty())
            writeFile(path, state.toLatin1());
        auto counter = std::make_unique<SerialCounter>(path);
        const auto opened = [&] {
            return counter->open(first, step) == SerialCounter::Status::Ok
                       ? QString::number(counter->peek())
                       : "failed";
        };
        QStringList shown{"@" + opened()};
        QList<quint64> taken;
        for (const QString &s : steps.split(' ', Qt::SkipEmptyParts)) {
            const quint64 n = taken.value(s.mid(1).toInt());
            if (s == "t")
                shown << QString::number(taken.emplace_back(counter->take()));
            else if (s.startsWith('p') && counter->passed(n))
                shown << "=" + QString::fromLatin1(readFile(path)).trimmed();
            else if (s.startsWith('f'))
                counter->failed(n);
            else if (s == "r")
                counter = std::make_unique<SerialCounter>(path), shown << "r" + opened();
        }
        QCOMPARE(shown.join(' '), seen);
    }
};

QTEST_GUILESS_MAIN(TstSerialNumber)
#include "tst_serialnumber.moc"
