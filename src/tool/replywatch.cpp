#include "replywatch.h"

#include "exitcode.h"
#include "replytext.h"

#include "core/chipoperations.h"
#include "core/clock.h"
#include "core/session.h"
#include "core/transport.h"

ReplyWatch::ReplyWatch(ProgrammerSession &session, Transport &transport, const ReplyRule &rule,
                       const Judging &judging, Clock *clock, QObject *parent)
    : QObject(parent), m_session(session), m_transport(transport), m_rule(rule), m_judging(judging)
{
    Clock &time = clock ? *clock : Clock::system();
    for (ClockTimer **t : {&m_settle, &m_limit, &m_notBefore}) {
        *t = time.createTimer(this);
        (*t)->setSingleShot(true);
        (*t)->setPrecise(true);
    }
    connect(m_settle, &ClockTimer::timeout, this, [this] {
        m_quiet = true;
        tryFinish();
    });
    connect(m_limit, &ClockTimer::timeout, this, &ReplyWatch::onLimit);
    connect(m_notBefore, &ClockTimer::timeout, this, &ReplyWatch::tryFinish);
    connect(&transport, &Transport::received, this, &ReplyWatch::onBytes);
    // After the quiet, the last bytes may still wait for the session's next look.
    connect(&session, &ProgrammerSession::received, this, &ReplyWatch::tryFinish);
    connect(&session, &ProgrammerSession::receivedCleared, this, &ReplyWatch::tryFinish);
    connect(&session, &ProgrammerSession::removed, this, [this] { finish(NoProgrammer); });
}

void ReplyWatch::start()
{
    if (m_rule.limitMs == ReplyRule::UntilDone)
        m_rule.limitMs = static_cast<int>(m_session.workLeftMs()) + ChipOperations::QuickAnswerMs;
    m_limit->start(m_rule.limitMs);
    if (!m_session.receivedText().isEmpty() || m_session.isHoldingBytes() ||
        m_transport.available() > 0)
        onBytes();
}

void ReplyWatch::onBytes()
{
    m_started = true;
    m_quiet = false;
    m_limit->stop();
    m_settle->start(m_judging.settleMs);
}

void ReplyWatch::onLimit()
{
    if (m_started)
        return;
    if (!m_rule.required) {
        finish(Success); // done without an answer
        return;
    }
    // In tenths of a second: a limit counted from the work left loses the odd millisecond
    // that passed before the watch started.
    m_why = QStringLiteral("no answer within %1 s").arg(qRound(m_rule.limitMs / 100.0) / 10.0);
    finish(Failed);
}

void ReplyWatch::tryFinish()
{
    if (!m_started || !m_quiet || m_finished || m_transport.available() > 0 ||
        m_session.isHoldingBytes())
        return;
    const qint64 early = m_session.workLeftMs();
    if (early > 0) {
        m_notBefore->start(static_cast<int>(early));
        return;
    }
    if (m_judging.failOn.isValid() && !m_judging.failOn.pattern().isEmpty()) {
        for (const QString &line : replyLines(m_session.receivedText())) {
            if (m_judging.failOn.match(line).hasMatch()) {
                m_why = QStringLiteral("the programmer said: %1").arg(line.trimmed());
                finish(Failed);
                return;
            }
        }
    }
    finish(Success);
}

void ReplyWatch::finish(int code)
{
    if (m_finished)
        return;
    m_finished = true;
    m_settle->stop();
    m_limit->stop();
    m_notBefore->stop();
    emit finished(code);
}
