// write FILE and verify FILE: the image programmed into the chip (the SRAM cleared, the
// image loaded, the chip erased and programmed), then the chip read back and compared with
// the image byte for byte. Only the comparison decides: the steps' replies are shown, and
// a step may go unanswered.
#include "commands.h"
#include "exitcode.h"
#include "images.h"
#include "replyrules.h"
#include "tool.h"

#include "core/chiptable.h"

#include <QDir>
#include <QFile>

namespace
{

int program(Tool &tool, const QByteArray &image, const QString &path)
{
    // The SRAM is cleared first, so that the flash past the image is programmed with FF
    // (left erased) rather than with what an earlier image left in the SRAM.
    int rc = tool.link.command("X", ReplyRules::quick(false));
    if (rc == Success)
        rc = tool.link.sendImage('L', image, path, ReplyRules::quick(false));
    if (rc == Success)
        rc = tool.link.command("E", ReplyRules::chipOperation(false));
    if (rc == Success)
        rc = tool.link.command("P", ReplyRules::chipOperation(false));
    return rc;
}

// The result line of the comparison.
ChipResult report(Tool &tool, const QByteArray &chip, const QByteArray &image)
{
    const int n = static_cast<int>(image.size());
    int differ = 0;
    int first = -1;
    for (int i = 0; i < n; ++i) {
        if (chip.at(i) != image.at(i)) {
            first = first < 0 ? i : first;
            ++differ;
        }
    }
    if (differ == 0) {
        tool.console.result(
            QStringLiteral("verify: %1 %2").arg(n).arg(n == 1 ? "byte matches" : "bytes match"),
            {{"match", true}, {"bytes", n}});
        return {Success, -1};
    }
    const QString at = QStringLiteral("0x") + hexText(first, 4);
    tool.console.result(
        QStringLiteral("verify: %1 byte%2 of %3 differ%4, the first at %5 (chip 0x%6, file 0x%7)")
            .arg(differ)
            .arg(differ == 1 ? "" : "s")
            .arg(n)
            .arg(differ == 1 ? "s" : "")
            .arg(at, hexText(static_cast<quint8>(chip.at(first)), 2),
                 hexText(static_cast<quint8>(image.at(first)), 2)),
        {{"match", false}, {"bytes", n}, {"differ", differ}, {"first", at}});
    return {Failed, first};
}

// The chip into the SRAM ("R"), then the SRAM back. The SRAM is first filled with a byte
// that differs from the image's first, so that a read that did not happen cannot pass for
// the image left there by the load.
ChipResult compare(Tool &tool, const QByteArray &image)
{
    const int n = static_cast<int>(image.size());
    if (n == 0) {
        tool.console.result(QStringLiteral("verify: the image is empty, nothing to compare"));
        return {Success, -1};
    }
    QByteArray fill("F", 1);
    fill.append(static_cast<char>(~image.at(0)));
    int rc = tool.link.request(fill, ReplyRules::quick(false));
    if (rc == Success)
        rc = tool.link.command("R", ReplyRules::chipOperation(false));
    QByteArray chip;
    if (rc == Success)
        rc = tool.link.readBlock(n <= 1024   ? 1024
                                 : n <= 2048 ? 2048
                                             : 4096,
                                 QStringLiteral("read back"), &chip);
    return rc != Success ? ChipResult{rc, -1} : report(tool, chip, image);
}

// The log must take lines before the first chip is written.
int openLog(Tool &tool)
{
    QFile log(tool.options.logPath);
    if (tool.options.logPath.isEmpty() || log.open(QIODevice::Append))
        return Success;
    tool.console.error(QStringLiteral("%1: cannot write the log: %2")
                           .arg(QDir::toNativeSeparators(tool.options.logPath), log.errorString()));
    return Usage;
}

int writeOrVerify(Tool &tool, const QString &path, bool programFirst)
{
    QByteArray image;
    int rc = tool.readChipImage(path, &image);
    if (rc == Success)
        rc = openLog(tool);
    if (rc == Success)
        rc = tool.connect();
    if (rc != Success)
        return rc;
    if (programFirst && tool.options.repeat)
        return produce(tool, image, path);
    if (!tool.chipTakes(static_cast<int>(image.size()))) {
        tool.console.error(QStringLiteral("the programmer now has another chip; nothing done"));
        return Usage;
    }
    if (!programFirst)
        return compare(tool, image).code;
    const ChipResult result = writeChip(tool, image, path);
    logChip(tool, image, result);
    return result.code;
}

} // namespace

ChipResult writeChip(Tool &tool, const QByteArray &image, const QString &path)
{
    const int rc = program(tool, image, path);
    return rc != Success ? ChipResult{rc, -1} : compare(tool, image);
}

int writeCommand(Tool &tool, const QStringList &args)
{
    return writeOrVerify(tool, args.at(0), true);
}

int verifyCommand(Tool &tool, const QStringList &args)
{
    return writeOrVerify(tool, args.at(0), false);
}
