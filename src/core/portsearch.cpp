#include "portsearch.h"

#include "core/clock.h"
#include "core/linetiming.h"
#include "core/transport.h"

PortSearch::PortSearch(Transport &transport, Clock &clock, QObject *parent)
    : QObject(parent), m_transport(transport), m_probeTimer(clock.createTimer(this)),
      m_clock(clock.createTimer(this))
{
    connect(m_probeTimer, &ClockTimer::timeout, this, &PortSearch::probeTick);
    connect(m_clock, &ClockTimer::timeout, this, &PortSearch::clockTick);
    connect(&m_transport, &Transport::received, this, &PortSearch::onReceived);
}

void PortSearch::start(int lastPort)
{
    stop();
    m_lastPort = lastPort;
    m_port = 0;
    m_phase = Phase::Probing;
    m_probeTimer->start(LineTiming::ProbeMs);
}

void PortSearch::stop()
{
    m_probeTimer->stop();
    m_clock->stop();
    m_phase = Phase::Idle;
}

void PortSearch::finishSettling()
{
    m_clock->stop();
    m_phase = Phase::Idle;
}

void PortSearch::probeTick()
{
    if (m_phase == Phase::Waiting) {
        // The clock's second tick ends a wait before the next probe; this is a safeguard.
        replyWindowClosed();
    }
    m_ticks = 0;
    m_reply.clear();
    if (m_port >= m_lastPort) {
        stop();
        emit notFound();
        return;
    }
    ++m_port;
    emit probing(m_port);
    probe();
}

void PortSearch::probe()
{
    if (!m_transport.isOpen() && !m_transport.open(m_port)) {
        emit probed(m_port, m_transport.openFailure()); // the next tick tries the next port
        return;
    }
    if (!m_transport.write(QByteArrayLiteral("i"))) {
        m_transport.close(); // the next probe must not talk to this device
        emit probed(m_port, PortProbe{PortProbe::Outcome::NoAnswer, {}, 0, {}, {}});
        return;
    }
    m_phase = Phase::Waiting;
    m_clock->start(LineTiming::ClockMs);
}

void PortSearch::onReceived()
{
    if (m_phase != Phase::Waiting)
        return;
    m_reply += m_transport.take();
    if (m_reply.size() >= LineTiming::IdentityLength)
        onFound();
}

void PortSearch::onFound()
{
    m_probeTimer->stop();
    m_ticks = 0;
    m_phase = Phase::Settling;
    m_clock->start(LineTiming::ClockMs);
    emit probed(m_port, PortProbe{PortProbe::Outcome::Programmer, {}, 0, {}, m_reply});
    emit found(m_port);
}

// No identification came in time: the port is closed, and the next tick tries the next one.
void PortSearch::replyWindowClosed()
{
    m_clock->stop();
    m_transport.close();
    m_phase = Phase::Probing;
    const auto outcome =
        m_reply.isEmpty() ? PortProbe::Outcome::NoAnswer : PortProbe::Outcome::NotProgrammer;
    emit probed(m_port, PortProbe{outcome, {}, 0, {}, m_reply});
}

void PortSearch::clockTick()
{
    m_ticks = qMin(m_ticks + 1, int(LineTiming::SettleTicks)); // it may tick on while busy
    if (m_phase == Phase::Waiting) {
        if (m_ticks >= LineTiming::ReplyWindowTicks)
            replyWindowClosed();
        return;
    }
    if (m_phase != Phase::Settling)
        return;
    if (!m_transport.isOpen()) {
        finishSettling(); // the link went away: only a new search can bring it back
        return;
    }
    if (m_ticks >= LineTiming::SettleTicks)
        emit settleDue();
}
