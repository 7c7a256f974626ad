#include "consoleview.h"

#include "cli/progress.h"

#include <QStringList>

QString ConsoleView::text(int box) const
{
    return box >= 1 && box <= 4 ? m_texts[box] : QString();
}

void ConsoleView::setText(int box, const QString &text)
{
    if (box < 1 || box > 4)
        return;
    const QString old = m_texts[box];
    m_texts[box] = text;
    if (box == 2) {
        if (m_statusShown && text != old && !text.isEmpty())
            m_console.status(text);
        return;
    }
    if (box != 1)
        return;
    // The poller shows everything received since the last command; what is new is the
    // part after what the box held, or all of it when the box was cleared in between.
    if (text.isEmpty())
        m_reply.clear(); // a command went out: what follows is its reply
    const QString added = text.startsWith(old) ? text.mid(old.size()) : text;
    if (added.isEmpty())
        return;
    m_reply += added;
    m_sinceReply.restart();
    if (m_replies == Replies::ToOutput) {
        m_console.reply(added);
    } else if (m_replies == Replies::ToStatus) {
        // Status lines are whole lines: a piece without its line end waits for the rest.
        m_partial += QString(added).remove(QLatin1Char('\r'));
        const qsizetype end = m_partial.lastIndexOf(QLatin1Char('\n'));
        if (end < 0)
            return;
        const QStringList lines = m_partial.left(end).split(QLatin1Char('\n'));
        m_partial.remove(0, end + 1);
        for (const QString &line : lines) {
            if (!line.trimmed().isEmpty())
                m_console.status(line.trimmed());
        }
    }
}

void ConsoleView::setReplies(Replies replies)
{
    if (!m_partial.trimmed().isEmpty() && m_replies == Replies::ToStatus)
        m_console.status(m_partial.trimmed());
    m_partial.clear();
    m_replies = replies;
}
