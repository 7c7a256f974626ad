#pragma once

// The workbench's state, shared by its two source files.

#include "core/chiplog.h"
#include "core/filechooser.h"
#include "core/session.h"
#include "core/workbench.h"

class Workbench::Private
{
public:
    Private(Transport *transport, DialogBackend *dialogs, Clock *clock, Workbench *q)
        : session(transport, clock, q), files(dialogs)
    {
    }

    ProgrammerSession session;
    FileChooser files;
    QString tskLog;
    ChipLog chipLog;
    QString latestFile;
    QString startupWarning;
    // The transfer this workbench started: 'L', 'Q', 'S' or 0.
    char transfer = 0;
    quint16 checksum = 0;
    int saveBytes = 0;
};
