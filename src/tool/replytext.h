#pragma once

#include <QString>
#include <QStringList>

// The programmer's reply text as the tool shows it: firmwares end their lines with CR LF,
// LF, CR alone or LF CR; each of these is one line end, shown as LF.
class LineEnds
{
public:
    // The next piece of a reply, with its line ends as LF. A CR LF or LF CR split between
    // two pieces still counts once.
    QString feed(const QString &piece);
    // A new reply starts.
    void reset() { m_last = QChar(); }

private:
    QChar m_last; // the CR or LF that ended the last piece, if it did
};

// The lines of a reply (without their ends); a last line without an end counts too.
QStringList replyLines(const QString &text);
