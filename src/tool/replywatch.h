#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class ProgrammerSession;

// How the reply to a command is judged.
struct ReplyRule {
    int lines = 1;      // the reply is complete once this many lines have come
    int limitMs = 5000; // from the moment the command has gone out
};

// Watches the reply to the command just sent, in what the session has received since: it
// is complete once the rule's lines have come or a line says no ("Error…", "Verify
// failed…", "Not blank…", "?"), and done once the line has then been quiet for QuietMs.
// A reply not complete within the limit is no answer.
class ReplyWatch : public QObject
{
    Q_OBJECT
public:
    static constexpr int QuietMs = 250;

    ReplyWatch(ProgrammerSession &session, const ReplyRule &rule, QObject *parent = nullptr);

    // Starts judging, with what has already been received.
    void start();
    // Why the reply counts as a failure (empty when it does not).
    QString why() const { return m_why; }

signals:
    // Success or Failed.
    void finished(int code);

private:
    void check();
    void onQuiet();
    void onLimit();

    ProgrammerSession &m_session;
    ReplyRule m_rule;
    QTimer m_quiet;
    QTimer m_limit;
    QString m_failure;
    QString m_why;
    bool m_complete = false;
};

// How long replies may take, from the moment their command has gone out.
namespace ReplyLimits
{
constexpr int ReplyMs = 5000;     // most commands
constexpr int ProgramMs = 15000;  // programming a whole AT89C4051 takes about 6 s
constexpr int ExpressMs = 20000;  // erase, program and verify after an express image
constexpr int SramTestMs = 10000; // the 8 KiB SRAM test
} // namespace ReplyLimits
