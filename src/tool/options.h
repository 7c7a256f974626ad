#pragma once

#include "core/portchoice.h"
#include "core/portinfo.h"
#include "core/serialnumber.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The command line of vantor-cli: where the programmer is, the chip, and the command.
struct Options {
    // --port DEVICE (One), --ports LIST (List), --simulate (Simulate), or none (System). With
    // several programmers: One and the first device; with --usb-serial or --usb alone: One
    // and no device until the adapters are looked up (stations.h).
    using Ports = PortSource;
    Ports ports = Ports::System;
    QString portValue; // the device or the list
    // The programmers named each on their own: every --port, then each entry of --ports with
    // --all; the adapters of --usb-serial (each) and --usb (every one it finds).
    QStringList devices;
    bool allPorts = false;
    QStringList usbSerials;
    std::optional<UsbId> usb;
    QString chip; // --chip, empty when not given
    QString size; // --size, empty when not given
    bool sizeGiven = false;
    bool quiet = false;
    bool verbose = false; // -v: the wire and the session's steps on standard error
    // How long the line must stay quiet after a reply has started before its command is
    // done. 100 ms: see replyrules.h.
    int settleMs = 100;
    // --timeout: the longest a chip operation may take, in ms; 0 for the chips' own figures.
    int operationMs = 0;
    // Reply lines that count as the programmer saying no (none by default).
    QRegularExpression failOn;
    bool json = false;
    QString logPath;           // --log: one CSV line a chip written
    bool repeat = false;       // --repeat: one chip after another
    QString lot, operatorName; // --lot and --operator: written in the log
    // --serial: a number of its own in each chip written; its format and state file (empty
    // for the image's path with ".serial"), and whether it may overwrite the image.
    std::optional<SerialField> serial;
    QString serialFormatName = QStringLiteral("be16");
    std::optional<SerialFormat> serialFormat = SerialFormat::parse(serialFormatName);
    QString serialState;
    bool serialOverwrite = false;
    bool lock = false;    // --lock: each chip locked after it verifies, and the lock confirmed
    int retries = 0;      // --retry N: a failed chip erased and written again up to N times
    bool signal = false;  // --signal: the programmer's LED after a pass, its buzzer after a fail
    bool noColor = false; // --no-color: PASS and FAIL on a terminal without colour
    bool watch = false;   // --watch: the chip written again whenever the file changes
    QString command;
    QStringList args;
};

enum class ParseOutcome { Run, Help, Version, Error };

// Parses QCoreApplication::arguments(); on Error, *error says why.
ParseOutcome parseOptions(const QStringList &arguments, Options *options, QString *error);

// The text of --help, ending with a line end.
QString helpText();

// Why a fill value or a dump address is refused.
QString fillValueError(const QString &value);
QString dumpAddressError(const QString &value);
