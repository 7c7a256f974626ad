// save FILE and read FILE: a block of the SRAM into a file ("S1", "S2", "S4"), after
// reading the chip into the SRAM ("R") for read.
#include "commands.h"
#include "exitcode.h"
#include "images.h"
#include "replyrules.h"
#include "tool.h"

#include "core/chipread.h"

#include <memory>

namespace
{

// Before read's "R" the SRAM is filled with 00: a blank chip (all FF) then reads at once,
// and only a chip of nothing but 00 is read a second time.
constexpr quint8 ReadFill = 0x00;

int saveBlock(Tool &tool, const QString &path, bool readChip)
{
    int rc = tool.prepare(true);
    int size = 0;
    if (rc == Success)
        rc = Images::size(tool.console, tool.options.size, tool.link.expectedChip(), &size);
    if (rc == Success)
        rc = Images::checkOutput(tool.console, path);
    if (rc == Success)
        rc = tool.connect();
    QByteArray block;
    if (rc == Success)
        rc = readChip ? readChipBlock(tool, ReadFill, size, QStringLiteral("read"), &block)
                      : tool.link.readBlock(size, QStringLiteral("save"), &block);
    return rc != Success ? rc : Images::write(tool.console, path, block);
}

// Reads the chip over fills until the block tells whether the chip was read.
void readRound(const Programmer &p, const std::shared_ptr<ChipReadCheck> &check, quint8 fill,
               int bytes, const QString &label, QByteArray *block, const Done &done)
{
    startFilledRead(p, check->fillRequest(), bytes, label, block, [=](int rc) {
        if (rc != Success)
            return done(rc);
        const ChipReadCheck::Verdict verdict = check->judge(*block);
        if (verdict == ChipReadCheck::Verdict::Read)
            return done(Success);
        if (verdict != ChipReadCheck::Verdict::NotRead)
            return readRound(p, check, fill, bytes, label, block, done);
        p.console.error(QStringLiteral("the chip could not be read: the SRAM came back as "
                                       "filled, with 0x%1 and again with 0x%2 (is the chip "
                                       "locked, or another chip in the socket?)")
                            .arg(hexText(fill, 2), hexText(check->fill(), 2)));
        done(Failed);
    });
}

} // namespace

void startFilledRead(const Programmer &p, const QByteArray &fillRequest, int bytes,
                     const QString &label, QByteArray *block, Done done)
{
    runSteps({[=](Done next) { p.link.startRequest(fillRequest, ReplyRules::quick(false), next); },
              [=](Done next) { p.link.startCommand("R", ReplyRules::chipOperation(false), next); },
              [=](Done next) { p.link.startBlock(bytes, label, block, next); }},
             std::move(done));
}

void startChipRead(const Programmer &p, quint8 fill, int bytes, const QString &label,
                   QByteArray *block, Done done)
{
    readRound(p, std::make_shared<ChipReadCheck>(fill), fill, bytes, label, block, done);
}

int readChipBlock(Tool &tool, quint8 fill, int bytes, const QString &label, QByteArray *block)
{
    return waitFor([&](Done done) {
        startChipRead(tool.programmer(), fill, bytes, label, block, std::move(done));
    });
}

int saveCommand(Tool &tool, const QStringList &args)
{
    return saveBlock(tool, args.at(0), false);
}

int readCommand(Tool &tool, const QStringList &args)
{
    return saveBlock(tool, args.at(0), true);
}
