// The soak's set-up and its checks: the emulator behind a device link, the workbench on
// the watched line, waits on the program's signals, the fence and the idle checks.

#include "soak.h"

#include <QEventLoop>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <cstdio>

Soak::Soak(quint64 seed) : rng(seed)
{
    // A link stands for the device node: it goes with an unplug and comes back with the
    // next emulator, as a USB adapter's node does.
    devicePath = dir.filePath(QStringLiteral("ttyVantor"));
    line = std::make_unique<WatchedLine>(PortMap::fromDevices({devicePath}));
    bench = std::make_unique<Workbench>(line.get(), &dialogs);
    watchWorkbench();
}

Soak::~Soak()
{
    bench.reset();
    line.reset();
    sim.reset();
}

void Soak::watchWorkbench()
{
    ProgrammerSession &s = bench->session();
    connect(bench.get(), &Workbench::notice, this, [this](const Notice &n) {
        notices << n;
        if (n.kind == Notice::Removed && !unplugged) {
            ++counts.falseRemovals;
            std::fprintf(stderr, "false removal during action %lld (%s)\n", counts.actions,
                         currentAction);
        }
    });
    connect(&s, &ProgrammerSession::found, this, [this] { ++seen.found; });
    connect(&s, &ProgrammerSession::settled, this, [this] { ++seen.settled; });
    connect(&s, &ProgrammerSession::notFound, this, [this] { ++seen.notFound; });
    connect(&s, &ProgrammerSession::chipShown, this, [this](int chip) { seen.shownChip = chip; });
    connect(&s, &ProgrammerSession::keyReported, this, [this](int chip) {
        if (chip == seen.keyWanted)
            seen.keySeen = true;
    });
    connect(&s, &ProgrammerSession::received, this, [this, &s] {
        const QString text = s.receivedText();
        if (!seen.keyReport.isEmpty() && text.count(seen.keyReport) > seen.keyBaseline)
            seen.keySeen = true;
    });
    connect(bench.get(), &Workbench::transferTaken, this, [this](Transfer *transfer) {
        int &count = transfer->kind() == Transfer::Kind::ReadBack ? seen.blocks : seen.images;
        connect(transfer, &Transfer::finished, this, [&count] { ++count; });
        connect(
            transfer, &Transfer::finished, this, [this] { wake(); }, Qt::QueuedConnection);
    });
    // Waits look again once the program has done with what woke them.
    const auto lookAfter = [this](auto *sender, auto... told) {
        (connect(sender, told, this, &Soak::wake, Qt::QueuedConnection), ...);
    };
    lookAfter(bench.get(), &Workbench::notice);
    lookAfter(&s, &ProgrammerSession::settled, &ProgrammerSession::notFound,
              &ProgrammerSession::chipShown, &ProgrammerSession::received,
              &ProgrammerSession::receivedCleared, &ProgrammerSession::busyChanged);
    lookAfter(line.get(), &WatchedLine::wrote, &Transport::removed);
}

void Soak::violation(const QString &what)
{
    ++counts.violations;
    std::fprintf(stderr, "violation in action %lld (%s): %s\n", counts.actions, currentAction,
                 qPrintable(what));
}

bool Soak::waitFor(const std::function<bool()> &done, int ms)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(ms);
    waiting = done;
    waitLoop = &loop;
    loop.exec();
    waiting = nullptr;
    waitLoop = nullptr;
    return done();
}

void Soak::wake()
{
    if (waitLoop && waiting && waiting())
        waitLoop->quit();
}

void Soak::idle(int ms)
{
    // The user pauses: whatever the program does meanwhile goes on.
    QTest::qWait(ms);
}

bool Soak::startEmulator(const QStringList &args)
{
    sim = std::make_unique<SimProcess>(args);
    if (!sim->start())
        return false;
    QFile::remove(devicePath);
    return QFile::link(sim->device(), devicePath);
}

void Soak::unplugDevice()
{
    unplugged = true; // before the line goes: the program may notice while the emulator answers
    sim->control(QStringLiteral("unplug"));
    QFile::remove(devicePath);
}

// Searches for the programmer again and waits for the outcome. After a new device the
// count of bytes handed over starts again, once the search has closed the old port.
void Soak::discover(bool newDevice)
{
    const Seen before = seen;
    const qsizetype from = notices.size();
    bench->search();
    if (notices.size() > from && notices.at(from).kind != Notice::Cleared)
        violation(QStringLiteral("the search was refused (notice %1)").arg(notices.at(from).kind));
    if (newDevice) {
        line->resetCount();
        fenced = 0;
        unplugged = false;
    }
    awaitSearch(before);
}

// Waits until the search has found the programmer and told it the chip, or given up.
void Soak::awaitSearch(const Seen &before)
{
    ++counts.discoveries;
    const bool over = waitFor(
        [&] {
            return seen.settled > before.settled || seen.notFound > before.notFound ||
                   (seen.found > before.found && !line->isOpen());
        },
        15000);
    if (!over)
        violation(QStringLiteral("the search did not end within 15 s"));
    expectOpen = seen.found > before.found && seen.settled > before.settled;
    if (line->isOpen() != expectOpen)
        violation(QStringLiteral("port open is %1 after the search").arg(line->isOpen()));
}

// Everything handed over so far has reached the emulator afterwards; returns what it got
// since the last fence.
QByteArray Soak::fence()
{
    if (unplugged)
        return QByteArray();
    const qint64 due = line->handedOver() - fenced;
    if (!sim->waitReceived(int(due), 5000))
        violation(QStringLiteral("%1 bytes handed over, %2 reached the programmer")
                      .arg(due)
                      .arg(sim->received().size()));
    const QByteArray got = sim->received();
    sim->markReceived();
    fenced = line->handedOver();
    return got;
}

Notice::Kind Soak::lastNotice() const
{
    return notices.isEmpty() ? Notice::Cleared : notices.last().kind;
}

void Soak::checkIdle()
{
    bool ran = false;
    QTimer::singleShot(0, this, [&] {
        ran = true;
        wake();
    });
    if (!waitFor([&] { return ran; }, 3000))
        violation(QStringLiteral("the event loop stopped answering"));
    if (bench->session().isBusy())
        violation(QStringLiteral("the session was left busy"));
    if (line->isBatched())
        violation(QStringLiteral("the port was left batched"));
    const bool open = line->isOpen();
    if (!unplugged && open != expectOpen)
        violation(QStringLiteral("port open is %1, expected %2").arg(open).arg(expectOpen));
    if (unplugged && !open)
        expectOpen = false;
}
