// write FILE and verify FILE: the image programmed into the chip (loaded padded with FF to
// the chip's size, the chip erased and programmed), then the whole chip read back and
// compared with the image and with blank flash after it. Only the comparison decides: the
// steps' replies are shown, and a step may go unanswered.
#include "chipcycle.h"
#include "commands.h"
#include "exitcode.h"
#include "images.h"
#include "productionrecord.h"
#include "replyrules.h"
#include "tool.h"

#include "core/chiptable.h"
#include "core/session.h"

namespace
{

int chipSize(Tool &tool)
{
    return ChipTable::chip(tool.link.session().chip()).flashSize;
}

// The whole chip is loaded, so that the flash past the image is programmed with FF whatever
// the SRAM held before and whatever the firmware's clear does.
int program(Tool &tool, const QByteArray &image, const QString &path)
{
    const QByteArray chip = image + QByteArray(chipSize(tool) - image.size(), char(0xFF));
    int rc = tool.link.sendImage(ImageCommand::Load, chip, path, ReplyRules::quick(false));
    if (rc == Success)
        rc = tool.link.command("E", ReplyRules::chipOperation(false));
    if (rc == Success)
        rc = tool.link.command("P", ReplyRules::chipOperation(false));
    return rc;
}

// Where the chip read back differs from the image, and where the flash after the image is
// not blank: how many bytes, and the first address (-1 for none).
struct Differences {
    int inImage = 0;
    int firstInImage = -1;
    int afterImage = 0;
    int firstAfterImage = -1;
};

Differences differences(const QByteArray &chip, const QByteArray &image, int size)
{
    Differences d;
    for (int i = 0; i < size; ++i) {
        const bool inImage = i < image.size();
        if (chip.at(i) == (inImage ? image.at(i) : char(0xFF)))
            continue;
        int &count = inImage ? d.inImage : d.afterImage;
        int &first = inImage ? d.firstInImage : d.firstAfterImage;
        first = count++ == 0 ? i : first;
    }
    return d;
}

QString address(int at)
{
    return QStringLiteral("0x") + hexText(at, 4);
}

QString byteAt(const QByteArray &bytes, int at)
{
    return QStringLiteral("0x") + hexText(static_cast<quint8>(bytes.at(at)), 2);
}

// The result line of a comparison that found differences.
QString differenceLine(const Differences &d, const QByteArray &chip, const QByteArray &image)
{
    const int n = static_cast<int>(image.size());
    QStringList parts;
    if (d.inImage == 0)
        parts << QStringLiteral("%1 %2").arg(n).arg(n == 1 ? "byte matches" : "bytes match");
    else
        parts << QStringLiteral("%1 byte%2 of %3 differ%4, the first at %5 (chip %6, file %7)")
                     .arg(d.inImage)
                     .arg(d.inImage == 1 ? "" : "s")
                     .arg(n)
                     .arg(d.inImage == 1 ? "s" : "")
                     .arg(address(d.firstInImage), byteAt(chip, d.firstInImage),
                          byteAt(image, d.firstInImage));
    if (d.afterImage > 0)
        parts << QStringLiteral("%1 byte%2 after the image %3 not blank, the first at %4 (chip %5)")
                     .arg(d.afterImage)
                     .arg(d.afterImage == 1 ? "" : "s")
                     .arg(d.afterImage == 1 ? "is" : "are")
                     .arg(address(d.firstAfterImage), byteAt(chip, d.firstAfterImage));
    return QStringLiteral("verify: ") + parts.join(QStringLiteral("; "));
}

// The result line of the comparison of the whole chip.
ChipResult report(Tool &tool, const QByteArray &chip, const QByteArray &image, int size)
{
    const int n = static_cast<int>(image.size());
    const Differences d = differences(chip, image, size);
    if (d.inImage == 0 && d.afterImage == 0) {
        tool.console.result(n == size ? QStringLiteral("verify: %1 bytes match").arg(n)
                                      : QStringLiteral("verify: %1 bytes match, and the %2 "
                                                       "after them are blank")
                                            .arg(n)
                                            .arg(size - n),
                            {{"match", true}, {"bytes", n}, {"blank", size - n}});
        return {Success, -1};
    }
    const int first = d.inImage > 0 ? d.firstInImage : d.firstAfterImage;
    QJsonObject details{{"match", false},
                        {"bytes", n},
                        {"differ", d.inImage},
                        {"first", address(first)},
                        {"not_blank", d.afterImage}};
    if (d.afterImage > 0)
        details.insert(QStringLiteral("first_not_blank"), address(d.firstAfterImage));
    tool.console.result(differenceLine(d, chip, image), details);
    return {Failed, first};
}

// The whole chip read back. The SRAM is filled with a byte other than the image's first
// before the read, so a chip that holds the image is read at the first try.
ChipResult compare(Tool &tool, const QByteArray &image)
{
    const int size = chipSize(tool);
    QByteArray chip;
    const int rc = readChipBlock(tool, static_cast<quint8>(~image.at(0)), size,
                                 QStringLiteral("read back"), &chip);
    return rc != Success ? ChipResult{rc, -1} : report(tool, chip, image, size);
}

// One chip written with its serial number, and written down.
int writeRecorded(Tool &tool, RunRecord &record, const QString &path)
{
    QByteArray image;
    int rc = record.beginChip(&image);
    if (rc != Success)
        return rc;
    const ChipResult result = writeChipAttempts(tool, image, path, &record);
    rc = record.endChip(result);
    announceVerdict(tool, result.code == Success);
    return result.code != Success ? result.code : rc;
}

int writeOrVerify(Tool &tool, const QString &path, bool programFirst)
{
    QByteArray image;
    RunRecord record(tool, image, path);
    int rc = tool.readChipImage(path, &image);
    if (rc == Success)
        rc = record.open(); // the log and the serial numbers before the first chip
    if (rc == Success)
        rc = tool.connect();
    if (rc != Success)
        return rc;
    if (programFirst && tool.options.repeat)
        return produce(tool, record, path);
    if (!tool.chipTakes(static_cast<int>(image.size()))) {
        tool.console.error(QStringLiteral("the programmer now has another chip; nothing done"));
        return Usage;
    }
    if (!programFirst)
        return compare(tool, image).code;
    return writeRecorded(tool, record, path);
}

} // namespace

ChipResult writeChip(Tool &tool, const QByteArray &image, const QString &path)
{
    const int rc = program(tool, image, path);
    return rc != Success ? ChipResult{rc, -1} : compare(tool, image);
}

int writeCommand(Tool &tool, const QStringList &args)
{
    if (tool.options.watch)
        return watchFile(tool, args.at(0));
    return writeOrVerify(tool, args.at(0), true);
}

int verifyCommand(Tool &tool, const QStringList &args)
{
    return writeOrVerify(tool, args.at(0), false);
}
