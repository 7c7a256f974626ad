// The commands that send one fixed command and show its reply.
#include "commands.h"
#include "replyrules.h"
#include "tool.h"

namespace
{

struct Fixed {
    const char *name;
    const char *bytes;
    ReplyRule reply;
};

// Clearing the SRAM may go unanswered; the others are asked for their answer.
const Fixed FixedCommands[] = {
    {"erase", "E", ReplyRules::chipOperation()},   {"blank", "B", ReplyRules::chipOperation()},
    {"sig", "s", ReplyRules::chipOperation()},     {"lock", "l", ReplyRules::chipOperation()},
    {"program", "P", ReplyRules::chipOperation()}, {"clear", "X", ReplyRules::quick(false)},
    {"checksum", "c", ReplyRules::quick()},        {"version", "i", ReplyRules::quick()},
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
    return rc != 0 ? rc : tool.link.command(QByteArray(f->bytes), f->reply);
}
