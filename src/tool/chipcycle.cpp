#include "chipcycle.h"

#include "exitcode.h"
#include "productionrecord.h"
#include "replyrules.h"
#include "tool.h"
#include "verdict.h"

#include "core/chipread.h"
#include "core/session.h"

#include <unistd.h>

namespace
{

// The smallest block the programmer reads back ("S1"): every chip has at least this much.
constexpr int LockCheckBytes = 1024;

ChipResult attemptChip(Tool &tool, const QByteArray &image, const QString &path)
{
    const ChipResult written = writeChip(tool, image, path);
    return written.code == Success && tool.options.lock ? lockChip(tool, image) : written;
}

void announceRetry(Tool &tool, const ChipResult &result, int attempts)
{
    QString line = QStringLiteral("attempt %1 of %2 failed").arg(result.attempt).arg(attempts);
    QJsonObject details{{"event", "attempt"}, {"attempt", result.attempt}, {"passed", false}};
    if (result.firstDifference >= 0) {
        const QString at = QStringLiteral("0x") + hexText(result.firstDifference, 4);
        line += QStringLiteral(", first difference at %1").arg(at);
        details.insert(QStringLiteral("first"), at);
    }
    tool.console.result(line + QStringLiteral("; erasing and writing the chip again"), details);
}

} // namespace

ChipResult writeChipAttempts(Tool &tool, const QByteArray &image, const QString &path,
                             RunRecord *record, const bool *stopping)
{
    const int attempts = 1 + tool.options.retries;
    for (int attempt = 1;; ++attempt) {
        ChipResult result = attemptChip(tool, image, path);
        result.attempt = attempt;
        if (result.code != Failed || attempt == attempts || (stopping && *stopping))
            return result;
        if (record && record->logAttempt(result) != Success)
            return result; // a log that takes no more lines ends the chip's attempts
        announceRetry(tool, result, attempts);
    }
}

ChipResult lockChip(Tool &tool, const QByteArray &image)
{
    int rc = tool.link.command("l", ReplyRules::chipOperation(false));
    ChipReadCheck check(static_cast<quint8>(~image.at(0)));
    if (rc == Success)
        rc = tool.link.request(check.fillRequest(), ReplyRules::quick(false));
    if (rc == Success)
        rc = tool.link.command("R", ReplyRules::chipOperation(false));
    QByteArray block;
    if (rc == Success)
        rc = tool.link.readBlock(LockCheckBytes, QStringLiteral("lock check"), &block);
    if (rc != Success)
        return {rc, -1};
    // The chip holds the image, whose first byte differs from the fill: read, it would
    // have changed the block.
    if (check.judge(block) == ChipReadCheck::Verdict::Read) {
        tool.console.result(QStringLiteral("lock: not confirmed, the chip can still be read"),
                            {{"locked", false}});
        return {Failed, -1};
    }
    tool.console.result(QStringLiteral("lock: confirmed, the chip can no longer be read"),
                        {{"locked", true}});
    return {Success, -1};
}

void announceVerdict(Tool &tool, bool passed)
{
    if (tool.options.signal && tool.link.session().isConnected())
        tool.link.command(passed ? "tL" : "tb", ReplyRules::quick(false));
    if (Verdict::bannerWanted(isatty(STDOUT_FILENO) != 0, tool.options.json))
        tool.console.result(Verdict::banner(passed, Verdict::colourWanted(tool.options.noColor,
                                                                          qgetenv("NO_COLOR")))
                                .chopped(1));
}
