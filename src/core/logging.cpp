#include "logging.h"

#include "core/chiptable.h"
#include "core/clock.h"

Q_LOGGING_CATEGORY(lcTransport, "vantor.transport", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSession, "vantor.session", QtWarningMsg)

namespace WireLog
{

void enable()
{
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.*.debug=true"));
}

void follow(ProgrammerSession *session, const Clock &clock)
{
    using S = ProgrammerSession;
    const Clock *c = &clock;
    QObject::connect(session, &S::searchStarted, session,
                     [c] { qCDebug(lcSession, "%lld ms searching", c->now()); });
    QObject::connect(session, &S::probed, session, [c](int port, const PortProbe &probe) {
        qCDebug(lcSession, "%lld ms COM%d: %s", c->now(), port, name(probe.outcome));
    });
    QObject::connect(session, &S::found, session, [c](int port) {
        qCDebug(lcSession, "%lld ms found on COM%d; settling", c->now(), port);
    });
    QObject::connect(session, &S::notFound, session,
                     [c] { qCDebug(lcSession, "%lld ms not found", c->now()); });
    QObject::connect(session, &S::settled, session,
                     [c] { qCDebug(lcSession, "%lld ms settled", c->now()); });
    QObject::connect(session, &S::chipChosen, session, [c](int chip) {
        qCDebug(lcSession, "%lld ms chip %s", c->now(), ChipTable::chip(chip).name);
    });
    QObject::connect(session, &S::busyChanged, session, [c](bool busy) {
        qCDebug(lcSession, "%lld ms %s", c->now(), busy ? "busy" : "no longer busy");
    });
    QObject::connect(session, &S::removed, session,
                     [c] { qCDebug(lcSession, "%lld ms the programmer went away", c->now()); });
}

QString escaped(const QByteArray &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\')
            text += QLatin1String("\\\\");
        else if (byte >= 0x20 && byte < 0x7F)
            text += QLatin1Char(c);
        else
            text += QLatin1String("\\x") + QLatin1Char(digits[byte >> 4]) +
                    QLatin1Char(digits[byte & 0xF]);
    }
    return text;
}

QString wire(qint64 ms, int port, const char *direction, const QByteArray &bytes)
{
    return QStringLiteral("%1 ms COM%2 %3 %4: %5")
        .arg(ms)
        .arg(port)
        .arg(QLatin1String(direction))
        .arg(bytes.size())
        .arg(escaped(bytes));
}

const char *name(PortProbe::Outcome outcome)
{
    using O = PortProbe::Outcome;
    switch (outcome) {
    case O::Programmer:
        return "the programmer";
    case O::NoDevice:
        return "no device";
    case O::PermissionDenied:
        return "permission denied";
    case O::Busy:
        return "held by another program";
    case O::OpenFailed:
        return "could not be opened";
    case O::NoAnswer:
        return "no answer";
    case O::NotProgrammer:
        return "answered, not the programmer";
    }
    return "?";
}

const char *name(SendResult result)
{
    switch (result) {
    case SendResult::Sent:
        return "sent";
    case SendResult::NotConnected:
        return "not connected";
    case SendResult::Removed:
        return "removed";
    }
    return "?";
}

const char *name(Transfer::Kind kind)
{
    switch (kind) {
    case Transfer::Kind::Load:
        return "image L";
    case Transfer::Kind::Express:
        return "image Q";
    case Transfer::Kind::ReadBack:
        return "read-back";
    case Transfer::Kind::Request:
        return "request";
    }
    return "?";
}

const char *name(BlockResult result)
{
    switch (result) {
    case BlockResult::Complete:
        return "complete";
    case BlockResult::NotConnected:
        return "not connected";
    case BlockResult::Short:
        return "short";
    case BlockResult::Removed:
        return "removed";
    case BlockResult::Overrun:
        return "overrun";
    }
    return "?";
}

} // namespace WireLog
