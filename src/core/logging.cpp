#include "logging.h"

Q_LOGGING_CATEGORY(lcTransport, "vantor.transport", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSession, "vantor.session", QtWarningMsg)

namespace WireLog
{

void enable()
{
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.*.debug=true"));
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
