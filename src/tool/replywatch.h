#pragma once

#include <QObject>
#include <QRegularExpression>
#include <QString>

class Clock;
class ClockTimer;
class ProgrammerSession;
class Transport;

// How the reply to one command is waited for.
struct ReplyRule {
    // The reply must start within this long after the command has gone out; UntilDone: by
    // the time the programmer can be done with it and a quick answer's time after.
    static constexpr int UntilDone = -1;
    int limitMs = 500;
    // No reply within the limit is no answer (a failure); otherwise the command is done
    // without one (the firmware need not answer it).
    bool required = true;
};

// What the user's options add: the settle time, and reply lines that say no.
struct Judging {
    int settleMs = 100;
    QRegularExpression failOn;
};

// Watches the reply to the command just sent. It is done once it has started within the
// rule's limit and the line has then been quiet for the settle time (and everything
// received has reached the session's received text, a character cut short included), but
// not before the programmer can be done with it: a chip operation may answer in stages with
// its work in between. The words
// never decide, except for a line matching --fail-on.
class ReplyWatch : public QObject
{
    Q_OBJECT
public:
    // The watch's times run on clock (the system's when null), as the session's do.
    ReplyWatch(ProgrammerSession &session, Transport &transport, const ReplyRule &rule,
               const Judging &judging, Clock *clock = nullptr, QObject *parent = nullptr);

    // Starts judging, counting from now.
    void start();
    // Why the command failed (empty when it did not).
    QString why() const { return m_why; }

signals:
    // Success, Failed, or NoProgrammer when the programmer went away.
    void finished(int code);

private:
    void onBytes();
    void onLimit();
    void tryFinish();
    void finish(int code);

    ProgrammerSession &m_session;
    Transport &m_transport;
    ReplyRule m_rule;
    Judging m_judging;
    ClockTimer *m_settle;
    ClockTimer *m_limit;
    ClockTimer *m_notBefore;
    bool m_started = false;
    bool m_quiet = false;
    bool m_finished = false;
    QString m_why;
};
