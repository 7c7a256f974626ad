#pragma once

#include <QByteArray>
#include <QString>

// What the port search found on one port: the programmer, or why it was not the programmer.
// Plain facts; the clients word them.
struct PortProbe {
    enum class Outcome {
        Programmer,       // answered "i" with at least 26 characters in time
        NoDevice,         // the device does not exist
        PermissionDenied, // this user may not open the device
        Busy,             // another program holds the device
        OpenFailed,       // the system gave another reason (systemError)
        NoAnswer,         // opened, but nothing came before the reply window closed
        NotProgrammer,    // answered, but fewer than 26 characters came in time (answer)
    };
    Outcome outcome = Outcome::OpenFailed;
    // Busy: the program holding the device and its process id, where the system tells.
    QString program;
    qint64 pid = 0;
    // OpenFailed: the system's own words.
    QString systemError;
    // Programmer, NotProgrammer: the bytes that came in the reply window.
    QByteArray answer;
};
