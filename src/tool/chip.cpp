// chip NAME: the programmer is told the chip, which chip.log remembers (--chip holds a chip
// for one run only).
#include "commands.h"
#include "exitcode.h"
#include "tool.h"

#include "core/chiptable.h"

int chipCommand(Tool &tool, const QStringList &args)
{
    if (ChipTable::byName(args.at(0)) < 0)
        return tool.usage(
            QStringLiteral("unknown chip \"%1\": use 2051, 4051 or 1051U").arg(args.at(0)));
    if (const int rc = tool.prepare(true); rc != Success)
        return rc;
    tool.link.remember(args.at(0));
    return tool.connect(Replies::Output);
}
