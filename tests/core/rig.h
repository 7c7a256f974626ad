#pragma once

#include "core/session.h"
#include "faketransport.h"
#include "manualclock.h"

#include <QSignalSpy>
#include <QTest>

// The session on the manual clock and the fake line.
struct Rig {
    ManualClock clock;
    FakeTransport line{clock};
    ProgrammerSession session{&line, &clock};

    // The identification the programmer answers "i" with: 29 characters.
    static QByteArray identity() { return QByteArrayLiteral("Vantor USB Programmer V2.10\r\n"); }

    // A programmer on COM1 that answers "i" after 20 ms, found and its chip told. Returns
    // the clock time at which it was found.
    qint64 connectProgrammer(const QString &remembered = QString())
    {
        line.setDevice(1, FakeTransport::Device::Answering);
        line.answer(1, "i", identity(), 20);
        session.setRememberedChip(remembered);
        QSignalSpy settled(&session, &ProgrammerSession::settled);
        qint64 foundAt = -1;
        const auto c = QObject::connect(&session, &ProgrammerSession::found, &session,
                                        [&] { foundAt = clock.now(); });
        session.search();
        clock.advanceUntil([&] { return settled.count() > 0; }, 2000);
        QObject::disconnect(c);
        return settled.count() > 0 ? foundAt : -1;
    }
};

// Moves the rig's (or bench's) clock until cond holds, for at most ms; fails the test at once,
// naming the condition, when it does not.
#define ADVANCE_UNTIL(rig, cond, ms)                                                               \
    QVERIFY2((rig).clock.advanceUntil([&] { return bool(cond); }, (ms)),                           \
             "still not true after " #ms " ms: " #cond)
