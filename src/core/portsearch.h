#pragma once

#include "core/portprobe.h"

#include <QByteArray>
#include <QObject>

class Clock;
class ClockTimer;
class Transport;

// The port search: one port every 400 ms from COM1, each sent "i"; a clock ticking every
// 100 ms from the probe times the reply. A port is the programmer when 26 characters have
// come before the clock's second tick; it stays open, and the clock starts again to time
// the settle step on its sixth tick. After the last port the search gives up on the next
// probe tick.
class PortSearch : public QObject
{
    Q_OBJECT
public:
    PortSearch(Transport &transport, Clock &clock, QObject *parent = nullptr);

    // Starts from COM1; gives up after lastPort.
    void start(int lastPort);
    void stop();
    // Probing ports (not yet found, not given up).
    bool isProbing() const { return m_phase == Phase::Probing || m_phase == Phase::Waiting; }
    // The settle step is done: the clock stops.
    void finishSettling();

signals:
    void probing(int port);
    // What the probe of a port found, the programmer's port included (before found()).
    void probed(int port, const PortProbe &probe);
    void found(int port);
    void notFound();
    // The settle clock's sixth tick or a later one, with the port open.
    void settleDue();

private:
    enum class Phase { Idle, Probing, Waiting, Settling };

    void probeTick();
    void probe();
    void clockTick();
    void onReceived();
    void onFound();
    void replyWindowClosed();

    Transport &m_transport;
    ClockTimer *m_probeTimer;
    ClockTimer *m_clock;
    Phase m_phase = Phase::Idle;
    QByteArray m_reply;
    int m_port = 0;
    int m_lastPort = 0;
    int m_ticks = 0;
};
