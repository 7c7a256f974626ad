#pragma once

#include "core/notice.h"
#include "core/workbench.h"
#include "rig.h"
#include "scripteddialogs.h"
#include "simfixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// The workbench on the fake line with scripted dialogs, in a folder of its own: what the
// status box and the latest-file line would show, the settings and image files, the bytes.
struct Bench {
    ManualClock clock;
    FakeTransport line{clock};
    ScriptedDialogBackend dialogs;
    Workbench bench{&line, &dialogs, &clock};
    QTemporaryDir dir;
    QStringList shown;
    QString label;

    Bench()
    {
        QObject::connect(&bench, &Workbench::notice, &bench,
                         [this](const Notice &n) { shown << Messages::text(n); });
        QObject::connect(&bench, &Workbench::latestFileChanged, &bench,
                         [this](const QString &p) { label = Messages::latestFileLine(p); });
    }
    QString path(const QString &name) const { return QDir::toNativeSeparators(dir.filePath(name)); }
    QString status() const { return shown.isEmpty() ? QString() : shown.last(); }
    // Starts with a programmer on COM1 that answers "i" and the chip commands; returns once
    // the chip has been told.
    bool start()
    {
        line.setDevice(1, FakeTransport::Device::Answering);
        line.answer(1, "i", "Vantor USB Programmer V2.10\r\n", 20);
        for (const char *chip : {"!", "@", "#"})
            line.answer(1, chip, "Chip OK\r\n", 5);
        QSignalSpy settled(&bench.session(), &ProgrammerSession::settled);
        bench.start(dir.path());
        return clock.advanceUntil([&] { return settled.count() > 0; }, 2000) &&
               (clock.advance(200), true);
    }
};
