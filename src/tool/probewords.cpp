#include "probewords.h"

#include "core/portprobe.h"
#include "core/receivedtext.h"

QString probeText(const PortProbe &probe)
{
    using Outcome = PortProbe::Outcome;
    switch (probe.outcome) {
    case Outcome::Programmer:
        return QStringLiteral("the programmer");
    case Outcome::NoDevice:
        return QStringLiteral("no such device");
    case Outcome::PermissionDenied:
        return QStringLiteral("permission denied: add yourself to the dialout group "
                              "(sudo adduser $USER dialout), then log out and in again");
    case Outcome::Busy:
        return probe.program.isEmpty() ? QStringLiteral("busy: held by another program")
                                       : QStringLiteral("busy: held by another program (%1, "
                                                        "pid %2)")
                                             .arg(probe.program)
                                             .arg(probe.pid);
    case Outcome::OpenFailed:
        return QStringLiteral("cannot open: %1").arg(probe.systemError);
    case Outcome::NoAnswer:
        return QStringLiteral("no answer");
    case Outcome::NotProgrammer:
        return QStringLiteral("answered but not as the programmer: %1").arg(quoted(probe.answer));
    }
    return QString();
}

QString identification(const QByteArray &probeAnswer, const QString &received)
{
    const QString probe = ReceivedText::decode(probeAnswer);
    const qsizetype repeated = probe.isEmpty() ? -1 : received.indexOf(probe);
    return repeated >= 0 ? received.mid(repeated) : probe + received;
}

QString quoted(const QByteArray &bytes)
{
    QString text = QStringLiteral("\"");
    for (const char c : bytes) {
        switch (c) {
        case '\r':
            text += QStringLiteral("\\r");
            break;
        case '\n':
            text += QStringLiteral("\\n");
            break;
        case '\t':
            text += QStringLiteral("\\t");
            break;
        case '"':
        case '\\':
            text += QLatin1Char('\\');
            text += QLatin1Char(c);
            break;
        default:
            text +=
                c >= 0x20 && c < 0x7F
                    ? QString(QLatin1Char(c))
                    : QStringLiteral("\\x") +
                          QStringLiteral("%1").arg(quint8(c), 2, 16, QLatin1Char('0')).toUpper();
        }
    }
    return text + QLatin1Char('"');
}
