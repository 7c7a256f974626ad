// test NAME: the programmer's hardware diagnostics.
#include "commands.h"
#include "exitcode.h"
#include "replyrules.h"
#include "tool.h"

namespace
{

struct Diagnostic {
    const char *name;
    const char *bytes;
    ReplyRule reply;
};

const Diagnostic Diagnostics[] = {
    {"sram", "tR", ReplyRules::chipOperation()}, {"led", "tL", ReplyRules::quick()},
    {"buzzer", "tb", ReplyRules::quick()},       {"vpp", "tV", ReplyRules::quick()},
    {"vpp-high", "th", ReplyRules::quick()},     {"vpp-low", "tl", ReplyRules::quick()},
    {"firmware", "tf", ReplyRules::quick()},
};

} // namespace

int testCommand(Tool &tool, const QStringList &args)
{
    for (const Diagnostic &d : Diagnostics) {
        if (args.at(0) == QLatin1String(d.name)) {
            const int rc = tool.connect();
            return rc != Success ? rc : tool.link.command(QByteArray(d.bytes), d.reply);
        }
    }
    return tool.usage(QStringLiteral("unknown test \"%1\": use sram, led, buzzer, vpp, "
                                     "vpp-high, vpp-low or firmware")
                          .arg(args.at(0)));
}
