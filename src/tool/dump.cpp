// dump ADDR: 64 bytes of the SRAM from ADDR, through the byte pump ("d", high, low).
#include "commands.h"
#include "exitcode.h"
#include "replyrules.h"
#include "tool.h"

#include "core/bufferlimits.h"
#include "core/requests.h"

int dumpCommand(Tool &tool, const QStringList &args)
{
    const int address = parseHex(args.at(0), 4);
    if (address < 0 || address >= BufferLimits::DumpMemoryLength)
        return tool.usage(dumpAddressError(args.at(0)));
    const int rc = tool.connect();
    if (rc != Success)
        return rc;
    return tool.link.request(dumpRequest(address), ReplyRules::quick());
}
