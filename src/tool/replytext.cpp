#include "replytext.h"

namespace
{

bool isLineEnd(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

} // namespace

QString LineEnds::feed(const QString &piece)
{
    QString out;
    out.reserve(piece.size());
    for (const QChar c : piece) {
        if (!isLineEnd(c)) {
            out += c;
            m_last = QChar();
            continue;
        }
        // The second character of a CR LF or LF CR pair ends nothing more.
        if (isLineEnd(m_last) && c != m_last) {
            m_last = QChar();
            continue;
        }
        out += QLatin1Char('\n');
        m_last = c;
    }
    return out;
}

QStringList replyLines(const QString &text)
{
    LineEnds ends;
    QStringList lines = ends.feed(text).split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
