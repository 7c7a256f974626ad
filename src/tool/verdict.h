#pragma once

#include <QByteArray>
#include <QString>

// A chip's result as a person at the socket sees it from a step away: PASS or FAIL in
// letters five lines high, green or red.
namespace Verdict
{

// Whether results are shown large: standard output is a terminal and not JSON.
bool bannerWanted(bool stdoutTerminal, bool json);
// Whether in colour: not --no-color, and NO_COLOR (its value given) unset or empty.
bool colourWanted(bool noColorOption, const QByteArray &noColor);
// PASS or FAIL, five lines each ended; in colour, each line bold green or red.
QString banner(bool passed, bool colour);

} // namespace Verdict
