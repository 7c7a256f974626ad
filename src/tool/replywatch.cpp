#include "replywatch.h"

#include "exitcode.h"

#include "core/session.h"

#include <QStringList>

namespace
{

// A reply line that says no: an error, a failed verify, a chip that is not blank, or the
// programmer not knowing the command.
bool isFailureLine(const QString &line)
{
    const QString t = line.trimmed();
    return t.startsWith(QLatin1String("Error")) || t.startsWith(QLatin1String("Verify failed")) ||
           t.startsWith(QLatin1String("Not blank")) || t == QLatin1String("?");
}

} // namespace

ReplyWatch::ReplyWatch(ProgrammerSession &session, const ReplyRule &rule, QObject *parent)
    : QObject(parent), m_session(session), m_rule(rule)
{
    m_quiet.setSingleShot(true);
    m_limit.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &ReplyWatch::onQuiet);
    connect(&m_limit, &QTimer::timeout, this, &ReplyWatch::onLimit);
    connect(&session, &ProgrammerSession::receivedChanged, this, &ReplyWatch::check);
}

void ReplyWatch::start()
{
    m_limit.start(m_rule.limitMs);
    check();
}

void ReplyWatch::check()
{
    const QStringList lines = m_session.received().split(QLatin1Char('\n'));
    const int complete = static_cast<int>(lines.size()) - 1; // the lines with their end
    for (int i = 0; i < complete && m_failure.isEmpty(); ++i) {
        if (isFailureLine(lines.at(i)))
            m_failure = lines.at(i).trimmed();
    }
    m_complete = complete >= m_rule.lines || !m_failure.isEmpty();
    if (m_complete)
        m_quiet.start(QuietMs);
}

void ReplyWatch::onQuiet()
{
    m_limit.stop();
    if (!m_failure.isEmpty())
        m_why = QStringLiteral("the programmer said: %1").arg(m_failure);
    emit finished(m_failure.isEmpty() ? Success : Failed);
}

void ReplyWatch::onLimit()
{
    m_quiet.stop();
    if (!m_failure.isEmpty() || m_complete) {
        onQuiet();
        return;
    }
    m_why = QStringLiteral("no complete reply within %1 s").arg(m_rule.limitMs / 1000.0);
    emit finished(Failed);
}
