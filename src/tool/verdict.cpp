#include "verdict.h"

#include <QStringList>

namespace
{

constexpr int Rows = 5;

struct Letter {
    char name;
    const char *rows[Rows];
};

const Letter Letters[] = {
    {'P', {"#### ", "#   #", "#### ", "#    ", "#    "}},
    {'A', {" ### ", "#   #", "#####", "#   #", "#   #"}},
    {'S', {" ####", "#    ", " ### ", "    #", "#### "}},
    {'F', {"#####", "#    ", "#### ", "#    ", "#    "}},
    {'I', {"###", " # ", " # ", " # ", "###"}},
    {'L', {"#    ", "#    ", "#    ", "#    ", "#####"}},
};

const Letter &letter(char name)
{
    for (const Letter &l : Letters) {
        if (l.name == name)
            return l;
    }
    return Letters[0];
}

} // namespace

namespace Verdict
{

bool bannerWanted(bool stdoutTerminal, bool json)
{
    return stdoutTerminal && !json;
}

bool colourWanted(bool noColorOption, const QByteArray &noColor)
{
    return !noColorOption && noColor.isEmpty();
}

QString banner(bool passed, bool colour)
{
    const char *word = passed ? "PASS" : "FAIL";
    QString text;
    for (int row = 0; row < Rows; ++row) {
        QStringList cells;
        for (const char *c = word; *c; ++c)
            cells << QString::fromLatin1(letter(*c).rows[row]);
        QString line = cells.join(QStringLiteral("  "));
        line.replace(QLatin1Char('#'), QChar(0x2588)); // a full block
        if (colour)
            line = QStringLiteral("\x1b[1;%1m%2\x1b[0m").arg(passed ? 32 : 31).arg(line);
        text += line + QLatin1Char('\n');
    }
    return text;
}

} // namespace Verdict
