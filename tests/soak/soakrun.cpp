// The soak's run: the mix of actions, the heap samples, and the program's entry point.

#include "soak.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <limits>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace
{

// Heap in use by this process, in KiB (glibc's count of allocated blocks; resident memory
// also moves with the allocator's caches and says little about growth).
qint64 heapInUseKiB()
{
#if defined(__GLIBC__)
    return static_cast<qint64>(mallinfo2().uordblks / 1024);
#else
    return -1;
#endif
}

} // namespace

bool Soak::run(int seconds)
{
    if (!startEmulator({}))
        return false;
    const Seen before = seen;
    bench->start(dir.path());
    awaitSearch(before);

    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL) {
        sampleHeap(clock.elapsed(), seconds);
        runAction(int(rng.bounded(100)));
        checkIdle();
    }
    counts.endKiB = std::min(floorKiB, heapInUseKiB());
    counts.actionsSinceWarm = warmAt < 0 ? 0 : counts.actions - warmAt;
    return true;
}

// The heap's floor over each tenth of the run, between actions: one moment's figure also
// holds what is in flight then (a port's read buffer, an image, replies not yet cleared).
// glibc counts the blocks its per-thread cache keeps as in use: the floor climbs until that
// cache is full (GLIBC_TUNABLES=glibc.malloc.tcache_count=0 leaves it out).
void Soak::sampleHeap(qint64 elapsedMs, int seconds)
{
    floorKiB = std::min(floorKiB, heapInUseKiB());
    if (elapsedMs < nextSample)
        return;
    std::printf("  %4lld s: %lld actions, heap in use at least %lld KiB since the last line\n",
                elapsedMs / 1000, counts.actions, floorKiB);
    std::fflush(stdout);
    if (warmAt < 0 && elapsedMs > seconds * 200LL) {
        warmAt = counts.actions;
        counts.warmKiB = floorKiB;
    }
    floorKiB = std::numeric_limits<qint64>::max();
    while (nextSample <= elapsedMs)
        nextSample += seconds * 100LL;
}

void Soak::beginAction(const char *name)
{
    ++counts.actions;
    currentAction = name;
    notices.clear();
    dialogs.forget();
    dialogs.asked.clear();
    if (qEnvironmentVariableIsSet("SOAK_TRACE"))
        std::fprintf(stderr, "action %lld: %s\n", counts.actions, name);
}

void Soak::runAction(int roll)
{
    struct Action {
        int below;
        const char *name;
        void (Soak::*run)();
    };
    static const Action actions[] = {
        {25, "command", &Soak::fixedCommand},
        {33, "chip", &Soak::chipChange},
        {48, "fill/dump", &Soak::fillOrDump},
        {60, "load", &Soak::load},
        {70, "express", &Soak::express},
        {78, "save", &Soak::save},
        {83, "key", &Soak::keyReport},
        {86, "search", &Soak::search},
        {90, "unplug", &Soak::unplugAndReplug},
        {94, "junk", &Soak::junkBurst},
        {100, "short/extra save", &Soak::shortOrExtraSave},
    };
    for (const Action &action : actions) {
        if (roll < action.below) {
            beginAction(action.name);
            (this->*action.run)();
            return;
        }
    }
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("How long."),
                                           QStringLiteral("N"), QStringLiteral("60"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Random seed."),
                                        QStringLiteral("S"));
    parser.addOption(secondsOption);
    parser.addOption(seedOption);
    parser.process(app);
    const quint64 seed = parser.isSet(seedOption) ? parser.value(seedOption).toULongLong()
                                                  : QRandomGenerator::global()->generate64();
    const int seconds = parser.value(secondsOption).toInt();
    std::printf("soak: seed %llu, %d s\n", static_cast<unsigned long long>(seed), seconds);
    Soak soak(seed);
    if (!soak.run(seconds)) {
        std::printf("soak: could not start the emulator\n");
        return 2;
    }
    const Counts &c = soak.counts;
    std::printf("actions %lld, transfers %lld (refused %lld), bytes moved %lld, faults injected "
                "%lld, discoveries %lld, invariant violations %lld, false removals %lld\n",
                c.actions, c.transfers, c.refused, c.bytesMoved, c.faults, c.discoveries,
                c.violations, c.falseRemovals);
    if (c.actionsSinceWarm > 0)
        std::printf(
            "heap in use at least: %lld KiB after warm-up, %lld KiB at the end, %+.2f KiB per "
            "action over %lld actions\n",
            c.warmKiB, c.endKiB, double(c.endKiB - c.warmKiB) / double(c.actionsSinceWarm),
            c.actionsSinceWarm);
    std::fflush(stdout);
    return c.violations == 0 && c.falseRemovals == 0 ? 0 : 1;
}
