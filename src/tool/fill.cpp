// fill BYTE: the whole SRAM set to BYTE, through the byte pump ("F", value).
#include "commands.h"
#include "exitcode.h"
#include "replyrules.h"
#include "tool.h"

#include "core/requests.h"

int fillCommand(Tool &tool, const QStringList &args)
{
    const int value = parseHex(args.at(0), 2);
    if (value < 0)
        return tool.usage(fillValueError(args.at(0)));
    const int rc = tool.connect();
    if (rc != Success)
        return rc;
    return tool.link.request(fillRequest(static_cast<quint8>(value)), ReplyRules::quick(false));
}
