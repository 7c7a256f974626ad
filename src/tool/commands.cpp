#include "commands.h"

#include "exitcode.h"
#include "tool.h"

#include "core/requests.h"

namespace
{

struct Command {
    const char *name;
    int arguments;
    int (*run)(Tool &tool, const QStringList &args);
};

const Command Commands[] = {
    {"ports", 0, portsCommand}, {"convert", 2, convertCommand}, {"chip", 1, chipCommand},
    {"load", 1, loadCommand},   {"express", 1, expressCommand}, {"save", 1, saveCommand},
    {"read", 1, readCommand},   {"write", 1, writeCommand},     {"verify", 1, verifyCommand},
    {"dump", 1, dumpCommand},   {"fill", 1, fillCommand},       {"test", 1, testCommand},
};

bool argumentsFit(Tool &tool, int wanted)
{
    const int given = static_cast<int>(tool.options.args.size());
    if (given == wanted)
        return true;
    tool.usage(QStringLiteral("%1 takes %2 argument%3, got %4")
                   .arg(tool.options.command)
                   .arg(wanted)
                   .arg(wanted == 1 ? "" : "s")
                   .arg(given));
    return false;
}

} // namespace

int runCommand(Tool &tool)
{
    const QString &name = tool.options.command;
    for (const Command &c : Commands) {
        if (name == QLatin1String(c.name))
            return argumentsFit(tool, c.arguments) ? c.run(tool, tool.options.args) : Usage;
    }
    if (isFixedCommand(name))
        return argumentsFit(tool, 0) ? fixedCommand(tool, name) : Usage;
    return tool.usage(QStringLiteral("unknown command \"%1\"").arg(name));
}

int parseHex(QString text, int maxDigits)
{
    text = text.trimmed();
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        text = text.mid(2);
    if (text.isEmpty() || text.size() > maxDigits)
        return -1;
    int value = 0;
    for (const QChar c : text) {
        const int digit = hexDigitValue(QString(c));
        if (digit > 15)
            return -1; // no sign, blank or other character among the digits
        value = value * 16 + digit;
    }
    return value;
}

QString hexText(qint64 value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}
