#pragma once

#include "core/messages.h"

#include <QString>

// A message of the program's own, as a value: what happened and the details its text
// needs. Messages::text() words it; the window shows it in its status box, the tool on
// standard error.
struct Notice {
    enum Kind {
        Cleared,       // the status box is emptied
        Probing,       // number: the port being tried
        Found,         // number: the port the programmer answered on
        NotInstalled,  // no port answered
        Removed,       // the programmer went away
        NotConnected,  // a transfer found no programmer: nothing was sent
        Busy,          // refused: a transfer owns the port
        Searching,     // refused: the port search is under way
        SettingsRead,  // path, why: a settings file could not be read or created
        SettingsWrite, // path, why: a settings file could not be written
        LoadCancelled,
        LoadFailed,
        SaveCancelled,
        SaveFailed,
        Progress, // path, number: an image of number bytes is being sent
        LoadCompleted,
        ExpressCompleted, // number: the image's checksum
        ImageMissing,     // path
        ImageUnreadable,  // path, why
        ImageTooLarge,    // path, number: its size
        HexLineError,     // path, number: the line of an Intel HEX file with an error
        HexIncomplete,    // path: an Intel HEX file without its end-of-file record
        HexEmpty,         // path: an Intel HEX file without data
        HexTooLarge,      // path, number: the size of an Intel HEX file's image
        Saving,           // number: the block's size in KiB
        SaveShort,        // number: bytes received, second: bytes expected
        SaveOverrun,      // number: bytes expected, and more came
        SaveWriteFailed,  // path, why
        NoAddress,
        BadAddress,
        AddressTooHigh,
        BadFill,
    };

    explicit Notice(Kind kind = Cleared, qint64 number = 0) : kind(kind), number(number) {}
    Notice(Kind kind, const QString &path, const QString &why = QString())
        : kind(kind), path(path), why(why)
    {
    }

    Kind kind = Cleared;
    QString path;
    qint64 number = 0;
    qint64 second = 0;
    QString why;
    // A settings problem from start-up to be shown once more with this notice.
    QString appended;
};
