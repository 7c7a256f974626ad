// The soak's other events: key reports, searches, and the faults it injects (unplugging,
// a silent programmer, short and long read-backs, bursts of random bytes).

#include "soak.h"

void Soak::keyReport()
{
    if (unplugged)
        return;
    static const char *const keys[] = {"2K", "4K", "1K"}; // the chips' sizes, in their order
    const int chip = int(rng.bounded(3));
    // An earlier report still in the received text would be read first: a command clears it.
    bench->command("c");
    fence();
    ProgrammerSession &session = bench->session();
    seen.keyWanted = chip;
    seen.keyReport = QStringLiteral("KEY_") + QLatin1String(keys[chip]);
    seen.keyBaseline = session.receivedText().count(seen.keyReport);
    seen.keySeen = false;
    sim->control(QStringLiteral("key %1").arg(QLatin1String(keys[chip])));
    if (expectOpen) {
        // Followed, and read, so that it cannot arrive late into the next action.
        waitFor([&] { return seen.keySeen && session.chip() == chip; }, 2000);
        if (session.chip() != chip && line->isOpen())
            violation(QStringLiteral("key report %1 not followed").arg(seen.keyReport));
    }
    seen.keyWanted = -1;
    seen.keyReport.clear();
}

void Soak::search()
{
    discover();
}

void Soak::unplugAndReplug()
{
    ++counts.faults;
    unplugDevice();
    if (rng.bounded(2) == 0)
        bench->command("s");
    idle(int(rng.bounded(300)));
    if (line->isOpen() && rng.bounded(2) == 0) {
        // It is noticed at the latest on the next write.
        bench->command("B");
        if (line->isOpen())
            violation(QStringLiteral("a write to an unplugged programmer left the port open"));
    }
    QStringList args;
    if (rng.bounded(10) == 0) {
        args << QStringLiteral("--silent");
        ++counts.faults;
    }
    if (!startEmulator(args))
        violation(QStringLiteral("a new emulator could not be started"));
    discover(true);
}

void Soak::junkBurst()
{
    if (unplugged)
        return;
    ++counts.faults;
    QString escaped;
    const int n = 1 + int(rng.bounded(200));
    for (int i = 0; i < n; ++i)
        escaped += QStringLiteral("\\x%1").arg(int(rng.bounded(256)), 2, 16, QLatin1Char('0'));
    sim->control(QStringLiteral("send ") + escaped);
    idle(int(rng.bounded(150)));
}

void Soak::shortOrExtraSave()
{
    if (unplugged)
        return;
    ++counts.faults;
    sim->control(rng.bounded(2) == 0 ? QStringLiteral("short %1").arg(rng.bounded(1024))
                                     : QStringLiteral("extra %1").arg(1 + rng.bounded(8)));
    save();
}
