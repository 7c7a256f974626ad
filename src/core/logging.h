#pragma once

#include "core/portprobe.h"
#include "core/session.h"
#include "core/transfer.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

// What went over the wire and what the session did, for a report. Both categories are off
// until asked for: vantor-cli --verbose turns them on, the window follows QT_LOGGING_RULES
// ("vantor.*=true"). A line is built only when its category is on, inside qCDebug.
//
// vantor.transport: every byte out and in, with the system clock's milliseconds.
// vantor.session: the search (each port and what it found), found, settled, the chip told,
// busy on and off (on the session's clock), and each transfer's start and end with its kind,
// size and result (on the system clock, which is the session's outside the tests).
Q_DECLARE_LOGGING_CATEGORY(lcTransport)
Q_DECLARE_LOGGING_CATEGORY(lcSession)

class Clock;

namespace WireLog
{

// Turns both categories on, debug messages included.
void enable();
// Logs the session's steps, as its signals tell them, with the time on clock.
void follow(ProgrammerSession *session, const Clock &clock);

// Printable ASCII as it is, a backslash doubled, every other byte as \xNN.
QString escaped(const QByteArray &bytes);
// "412 ms COM1 out 2: S1": the time, the port, the direction, the count and the bytes.
QString wire(qint64 ms, int port, const char *direction, const QByteArray &bytes);

// Words for the results, as the log shows them.
const char *name(PortProbe::Outcome outcome);
const char *name(SendResult result);
const char *name(BlockResult result);
const char *name(Transfer::Kind kind);

} // namespace WireLog
