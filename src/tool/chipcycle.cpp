#include "chipcycle.h"

#include "exitcode.h"
#include "productionrecord.h"
#include "replyrules.h"
#include "tool.h"
#include "verdict.h"

#include "core/chipread.h"
#include "core/session.h"

#include <memory>

#include <unistd.h>

namespace
{

// The smallest block the programmer reads back ("S1"): every chip has at least this much.
constexpr int LockCheckBytes = 1024;

void startAttempt(const Programmer &p, const QByteArray &image, const QString &path, ChipDone done)
{
    startWriteChip(p, image, path, [p, image, done](const ChipResult &written) {
        if (written.code == Success && p.options.lock)
            startLock(p, image, done);
        else
            done(written);
    });
}

void announceRetry(const Programmer &p, const ChipResult &result, int attempts)
{
    QString line = QStringLiteral("attempt %1 of %2 failed").arg(result.attempt).arg(attempts);
    QJsonObject details{{"event", "attempt"}, {"attempt", result.attempt}, {"passed", false}};
    if (result.firstDifference >= 0) {
        const QString at = QStringLiteral("0x") + hexText(result.firstDifference, 4);
        line += QStringLiteral(", first difference at %1").arg(at);
        details.insert(QStringLiteral("first"), at);
    }
    p.console.result(line + QStringLiteral("; erasing and writing the chip again"), details);
}

struct Attempts {
    Programmer p;
    QByteArray image;
    QString path;
    RunRecord *record;
    ChipRecord *chip;
    const bool *stopping;
    ChipDone done;
    int attempt = 0;
};

void nextAttempt(const std::shared_ptr<Attempts> &a)
{
    ++a->attempt;
    startAttempt(a->p, a->image, a->path, [a](const ChipResult &attempted) {
        ChipResult result = attempted;
        result.attempt = a->attempt;
        const int attempts = 1 + a->p.options.retries;
        if (result.code != Failed || a->attempt == attempts || (a->stopping && *a->stopping))
            return a->done(result);
        if (a->record && a->record->logAttempt(a->p, *a->chip, result) != Success)
            return a->done(result); // a log that takes no more lines ends the chip's attempts
        announceRetry(a->p, result, attempts);
        nextAttempt(a);
    });
}

// The lock is confirmed when the chip, which holds the image whose first byte differs from
// the fill, could not be read over it.
ChipResult lockResult(const Programmer &p, ChipReadCheck &check, const QByteArray &block)
{
    if (check.judge(block) == ChipReadCheck::Verdict::Read) {
        p.console.result(QStringLiteral("lock: not confirmed, the chip can still be read"),
                         {{"locked", false}});
        return {Failed, -1};
    }
    p.console.result(QStringLiteral("lock: confirmed, the chip can no longer be read"),
                     {{"locked", true}});
    return {Success, -1};
}

} // namespace

void startAttempts(const Programmer &p, const QByteArray &image, const QString &path,
                   RunRecord *record, ChipRecord *chip, const bool *stopping, ChipDone done)
{
    nextAttempt(std::make_shared<Attempts>(
        Attempts{p, image, path, record, chip, stopping, std::move(done)}));
}

ChipResult writeChipAttempts(Tool &tool, const QByteArray &image, const QString &path,
                             RunRecord *record, ChipRecord *chip)
{
    return waitForChip([&](ChipDone done) {
        startAttempts(tool.programmer(), image, path, record, chip, nullptr, std::move(done));
    });
}

void startLock(const Programmer &p, const QByteArray &image, ChipDone done)
{
    auto check = std::make_shared<ChipReadCheck>(static_cast<quint8>(~image.at(0)));
    auto block = std::make_shared<QByteArray>();
    runSteps({[=](Done next) { p.link.startCommand("l", ReplyRules::chipOperation(false), next); },
              [=](Done next) {
                  startFilledRead(p, check->fillRequest(), LockCheckBytes,
                                  QStringLiteral("lock check"), block.get(), next);
              }},
             [p, check, block, done](int rc) {
                 done(rc != Success ? ChipResult{rc, -1} : lockResult(p, *check, *block));
             });
}

void startVerdict(const Programmer &p, bool passed, Done done)
{
    auto banner = [p, passed, done](int) {
        // Several stations show theirs on the status board.
        if (p.station == 0 && Verdict::bannerWanted(isatty(STDOUT_FILENO) != 0, p.options.json))
            p.console.result(Verdict::banner(passed, Verdict::colourWanted(p.options.noColor,
                                                                           qgetenv("NO_COLOR")))
                                 .chopped(1));
        done(Success);
    };
    if (p.options.signal && p.link.session().isConnected())
        p.link.startCommand(passed ? "tL" : "tb", ReplyRules::quick(false), banner);
    else
        banner(Success);
}

void announceVerdict(Tool &tool, bool passed)
{
    waitFor([&](Done done) { startVerdict(tool.programmer(), passed, std::move(done)); });
}

ChipResult waitForChip(const std::function<void(ChipDone)> &step)
{
    ChipResult result{Failed, -1};
    waitFor([&](Done done) {
        step([&result, done](const ChipResult &r) {
            result = r;
            done(Success);
        });
    });
    return result;
}
