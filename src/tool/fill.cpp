// fill BYTE: the whole SRAM set to BYTE, through the byte pump ("F", value).
#include "commands.h"
#include "exitcode.h"
#include "replyrules.h"
#include "tool.h"

int fillCommand(Tool &tool, const QStringList &args)
{
    const int value = parseHex(args.at(0), 2);
    if (value < 0)
        return tool.usage(QStringLiteral("fill value \"%1\": give 00 to FF").arg(args.at(0)));
    const int rc = tool.connect();
    if (rc != Success)
        return rc;
    QByteArray request("F", 1);
    request.append(static_cast<char>(value));
    return tool.link.request(request, ReplyRules::quick(false));
}
