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
#include "stations.h"
#include "tool.h"

#include "core/chiptable.h"
#include "core/session.h"

#include <memory>

namespace
{

int chipSize(const Programmer &p)
{
    return ChipTable::chip(p.link.session().chip()).flashSize;
}

// The whole chip is loaded, so that the flash past the image is programmed with FF whatever
// the SRAM held before and whatever the firmware's clear does.
void startProgram(const Programmer &p, const QByteArray &image, const QString &path, Done done)
{
    const QByteArray chip = image + QByteArray(chipSize(p) - image.size(), char(0xFF));
    runSteps({[=](Done next) {
                  p.link.startImage(ImageCommand::Load, chip, path, ReplyRules::quick(false), next);
              },
              [=](Done next) { p.link.startCommand("E", ReplyRules::chipOperation(false), next); },
              [=](Done next) { p.link.startCommand("P", ReplyRules::chipOperation(false), next); }},
             std::move(done));
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
ChipResult report(Console &console, const QByteArray &chip, const QByteArray &image, int size)
{
    const int n = static_cast<int>(image.size());
    const Differences d = differences(chip, image, size);
    if (d.inImage == 0 && d.afterImage == 0) {
        console.result(n == size ? QStringLiteral("verify: %1 bytes match").arg(n)
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
    console.result(differenceLine(d, chip, image), details);
    return {Failed, first};
}

// The whole chip read back. The SRAM is filled with a byte other than the image's first
// before the read, so a chip that holds the image is read at the first try.
void startCompare(const Programmer &p, const QByteArray &image, const ChipDone &done)
{
    const int size = chipSize(p);
    auto chip = std::make_shared<QByteArray>();
    startChipRead(
        p, static_cast<quint8>(~image.at(0)), size, QStringLiteral("read back"), chip.get(),
        [p, image, size, chip, done](int rc) {
            done(rc != Success ? ChipResult{rc, -1} : report(p.console, *chip, image, size));
        });
}

ChipResult compare(Tool &tool, const QByteArray &image)
{
    return waitForChip([&](ChipDone done) { startCompare(tool.programmer(), image, done); });
}

// One chip written with its serial number, and written down.
int writeRecorded(Tool &tool, RunRecord &record, const QString &path)
{
    QByteArray image;
    ChipRecord chip;
    int rc = record.beginChip(tool.programmer(), &chip, &image);
    if (rc != Success)
        return rc;
    const ChipResult result = writeChipAttempts(tool, image, path, &record, &chip);
    rc = record.endChip(tool.programmer(), &chip, result);
    announceVerdict(tool, result.code == Success);
    return result.code != Success ? result.code : rc;
}

// The programmers of a production run; the first is the tool's own link's.
int stationPorts(Tool &tool, QList<StationPort> *ports)
{
    QString why;
    const int rc = stationsFor(tool.options, systemPorts(), ports, &why);
    if (rc == Usage)
        return tool.usage(why);
    if (rc != Success) {
        tool.console.error(why);
        return rc;
    }
    tool.usePort(ports->first());
    return Success;
}

int writeOrVerify(Tool &tool, const QString &path, bool programFirst)
{
    QByteArray image;
    RunRecord record(tool, image, path);
    const bool production = programFirst && tool.options.repeat;
    QList<StationPort> ports;
    int rc = production ? stationPorts(tool, &ports) : Success;
    if (rc == Success)
        rc = tool.readChipImage(path, &image);
    if (rc == Success)
        rc = record.open(); // the log and the serial numbers before the first chip
    if (rc == Success && !(production && ports.size() > 1))
        rc = tool.connect();
    if (rc != Success)
        return rc;
    if (production)
        return produce(tool, record, image, path, ports);
    if (!tool.chipTakes(static_cast<int>(image.size()))) {
        tool.console.error(QStringLiteral("the programmer now has another chip; nothing done"));
        return Usage;
    }
    if (!programFirst)
        return compare(tool, image).code;
    return writeRecorded(tool, record, path);
}

} // namespace

void startWriteChip(const Programmer &p, const QByteArray &image, const QString &path,
                    ChipDone done)
{
    startProgram(p, image, path, [p, image, done](int rc) {
        if (rc != Success)
            done({rc, -1});
        else
            startCompare(p, image, done);
    });
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
