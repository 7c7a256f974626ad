// The commands that send one fixed command and show its reply.
#include "commands.h"
#include "tool.h"

namespace
{

struct Fixed {
    const char *name;
    const char *bytes;
    int limitMs;
};

const Fixed FixedCommands[] = {
    {"erase", "E", ReplyLimits::ReplyMs},     {"blank", "B", ReplyLimits::ReplyMs},
    {"sig", "s", ReplyLimits::ReplyMs},       {"lock", "l", ReplyLimits::ReplyMs},
    {"program", "P", ReplyLimits::ProgramMs}, {"clear", "X", ReplyLimits::ReplyMs},
    {"checksum", "c", ReplyLimits::ReplyMs},  {"version", "i", ReplyLimits::ReplyMs},
};

const Fixed *find(const QString &name)
{
    for (const Fixed &f : FixedCommands) {
        if (name == QLatin1String(f.name))
            return &f;
    }
    return nullptr;
}

} // namespace

bool isFixedCommand(const QString &name)
{
    return find(name) != nullptr;
}

int fixedCommand(Tool &tool, const QString &name)
{
    const Fixed *f = find(name);
    const int rc = tool.connect();
    return rc != 0 ? rc : tool.link.command(QByteArray(f->bytes), {1, f->limitMs});
}
