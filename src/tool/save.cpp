// save FILE and read FILE: a block of the SRAM into a file ("S1", "S2", "S4"), after
// reading the chip into the SRAM ("R") for read.
#include "commands.h"
#include "exitcode.h"
#include "images.h"
#include "replyrules.h"
#include "tool.h"

namespace
{

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
    if (rc == Success && readChip)
        rc = tool.link.command("R", ReplyRules::chipOperation(false));
    QByteArray block;
    if (rc == Success)
        rc = tool.link.readBlock(size, readChip ? QStringLiteral("read") : QStringLiteral("save"),
                                 &block);
    return rc != Success ? rc : Images::write(tool.console, path, block);
}

} // namespace

int saveCommand(Tool &tool, const QStringList &args)
{
    return saveBlock(tool, args.at(0), false);
}

int readCommand(Tool &tool, const QStringList &args)
{
    return saveBlock(tool, args.at(0), true);
}
