#pragma once

#include "core/workbench.h"
#include "faketransport.h"
#include "manualclock.h"
#include "scripteddialogs.h"
#include "simfixture.h"
#include "table.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// Moves the rig's (or bench's) clock until cond holds, for at most ms; fails the test at once,
// naming the condition, when it does not.
#define ADVANCE_UNTIL(rig, cond, ms)                                                               \
    QVERIFY2((rig).clock.advanceUntil([&] { return bool(cond); }, (ms)),                           \
             "still not true after " #ms " ms: " #cond)

// While it lives, root meets the permissions of files and folders as any user does: its
// overrides for reading, searching and writing are dropped, for this thread. ok is false
// when they could not be.
struct OrdinaryPermissions {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2] = {}, dropped[2] = {};
    const bool root = ::geteuid() == 0;
    bool ok = !root || ::syscall(SYS_capget, &header, saved) == 0;

    OrdinaryPermissions()
    {
        dropped[0] = saved[0], dropped[1] = saved[1];
        for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            dropped[CAP_TO_INDEX(cap)].effective &= ~CAP_TO_MASK(cap);
        ok = ok && (!root || ::syscall(SYS_capset, &header, dropped) == 0);
    }
    ~OrdinaryPermissions()
    {
        if (root && ok)
            ::syscall(SYS_capset, &header, saved);
    }
};

// The line's writes, each as "COMn at-ms bytes".
inline QStringList writesOf(const FakeTransport &line)
{
    QStringList out;
    for (const FakeTransport::Write &w : line.writes())
        out << QStringLiteral("COM%1 %2 ").arg(w.port).arg(w.at) + QString::fromLatin1(w.bytes);
    return out;
}

// What a probe found, in a word or two.
inline QString outcomeName(PortProbe::Outcome outcome)
{
    const char *const names[] = {"programmer", "no device",         "denied", "busy", "failed",
                                 "no answer",  "not the programmer"};
    return QString::fromLatin1(names[int(outcome)]);
}

// Plugs a programmer in on COM1 (it answers "i" after 20 ms with 29 characters, the chip
// commands after 5 ms) and begins (a search); true once the chip has been told and its
// answer is in: the clock then stands 200 ms after the settle step.
inline bool settle(ManualClock &clock, FakeTransport &line, ProgrammerSession &session,
                   const std::function<void()> &begin)
{
    line.setDevice(1, FakeTransport::Device::Answering);
    line.answer(1, "i", "Vantor USB Programmer V2.10\r\n", 20);
    for (const char *chip : {"!", "@", "#"})
        line.answer(1, chip, "Chip OK\r\n", 5);
    QSignalSpy settled(&session, &ProgrammerSession::settled);
    begin();
    return clock.advanceUntil([&] { return settled.count() > 0; }, 2000) &&
           (clock.advance(200), true);
}

// A transfer followed to its end: how often it finished (one finished on return counts
// once) and what it then told.
struct Followed {
    int finished = 0;
    SendResult sent = SendResult::Sent;
    BlockResult block = BlockResult::Complete;
    QByteArray bytes;
    QList<QPair<qint64, int>> progress; // the clock and the bytes done, at each report

    Followed(Transfer *transfer, const ManualClock &clock)
    {
        const auto end = [this, transfer] {
            ++finished;
            sent = transfer->sendResult();
            block = transfer->blockResult();
            bytes = transfer->bytes();
        };
        if (transfer->isFinished())
            end();
        QObject::connect(transfer, &Transfer::progress, [this, &clock](int done) {
            progress.append({clock.now(), done});
        });
        QObject::connect(transfer, &Transfer::finished, end);
    }
};

// The session on the manual clock and the fake line.
struct Rig {
    ManualClock clock;
    FakeTransport line{clock};
    ProgrammerSession session{&line, &clock};

    // Found at 420 ms, the chip told at 1020 ms: the clock stands at 1220 ms, on a tick of
    // the receive poller.
    bool start(const QString &remembered = QString())
    {
        session.setRememberedChip(remembered);
        return settle(clock, line, session, [this] { session.search(); });
    }
};

// The workbench on the fake line with scripted dialogs, in a folder of its own whose name
// holds "%1": what the status box would show, the files, the bytes.
struct Bench {
    ManualClock clock;
    FakeTransport line{clock};
    ScriptedDialogBackend dialogs;
    Workbench bench{&line, &dialogs, &clock};
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/vantor %1-XXXXXX")};
    QStringList shown;

    Bench()
    {
        QObject::connect(&bench, &Workbench::notice, &bench,
                         [this](const Notice &n) { shown << Messages::text(n); });
    }
    QString path(const QString &name) const { return QDir::toNativeSeparators(dir.filePath(name)); }
    QString status() const { return shown.isEmpty() ? QString() : shown.last(); }
    bool start()
    {
        return settle(clock, line, bench.session(), [this] { bench.start(dir.path()); });
    }
};
