// test NAME: the programmer's hardware diagnostics.
#include "commands.h"
#include "exitcode.h"
#include "tool.h"

namespace
{

struct Diagnostic {
    const char *name;
    const char *bytes;
    int limitMs;
};

const Diagnostic Diagnostics[] = {
    {"sram", "tR", ReplyLimits::SramTestMs},  {"led", "tL", ReplyLimits::ReplyMs},
    {"buzzer", "tb", ReplyLimits::ReplyMs},   {"vpp", "tV", ReplyLimits::ReplyMs},
    {"vpp-high", "th", ReplyLimits::ReplyMs}, {"vpp-low", "tl", ReplyLimits::ReplyMs},
    {"firmware", "tf", ReplyLimits::ReplyMs},
};

} // namespace

int testCommand(Tool &tool, const QStringList &args)
{
    for (const Diagnostic &d : Diagnostics) {
        if (args.at(0) == QLatin1String(d.name)) {
            const int rc = tool.connect();
            return rc != Success ? rc : tool.link.command(QByteArray(d.bytes), {1, d.limitMs});
        }
    }
    return tool.usage(QStringLiteral("unknown test \"%1\": use sram, led, buzzer, vpp, "
                                     "vpp-high, vpp-low or firmware")
                          .arg(args.at(0)));
}
