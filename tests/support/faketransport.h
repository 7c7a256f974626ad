#pragma once

#include "core/transport.h"

#include <QList>
#include <QMap>

class ManualClock;

// The serial line in the test's hands, on its manual clock: a device per port number that
// is absent, in use, silent or answering; replies that arrive at chosen times, at once or at
// the 9600-baud pace; a device that takes written bytes at once, at the line's pace or not
// at all; unplugging. Every write is recorded with its time.
class FakeTransport : public Transport
{
    Q_OBJECT
public:
    enum class Device { Absent, InUse, Silent, Answering };
    enum class Intake { Instant, Paced, Stalled };
    // Where written bytes wait until the device takes them: in the port (drained() when it
    // has none left), or in the system, which has them at once and tells how many it holds,
    // or cannot tell.
    enum class Queue { Port, System, Untold };
    struct Write {
        qint64 at;
        int port;
        QByteArray bytes;
    };

    explicit FakeTransport(ManualClock &clock) : m_clock(clock) {}

    void setDevice(int port, Device device) { m_devices[port] = device; }
    // An answering device on port (0: any) replies to a write that ends its command: the
    // reply starts afterMs later, at the line's pace when paced. Every rule that matches
    // the write replies.
    void answer(int port, const QByteArray &command, const QByteArray &reply, int afterMs = 0,
                bool paced = false)
    {
        m_rules.append({port, afterMs, paced, command, reply});
    }
    // The device on the open port sends bytes, starting afterMs from now.
    void send(const QByteArray &bytes, int afterMs = 0, bool paced = false);
    // The device takes what is written from fromMs on, as intake says.
    void setIntake(Intake intake, int fromMs = 0);
    void setQueue(Queue queue) { m_queue = queue; }
    // The device goes away. Noticed: the port reports it at once (closed, removed()).
    // Otherwise the next write or batched look finds it. Either way the port closes then,
    // and removed() follows at the same time from the clock, as from the event loop.
    void unplug(bool noticed = true);

    const QList<Write> &writes() const { return m_writes; }
    // How often the code looked at what has arrived (available()).
    int looks = 0;
    // Everything written, in order.
    QByteArray line() const;
    // When bytes were first written as one write (-1 when never).
    qint64 timeOf(const QByteArray &bytes) const;

    int lastPort() const override { return m_devices.isEmpty() ? 0 : m_devices.lastKey(); }
    bool open(int port) override;
    // Absent: no such device; in use: busy.
    PortProbe openFailure() const override { return m_openFailure; }
    void close() override;
    bool isOpen() const override { return m_open != 0; }
    bool write(const QByteArray &bytes) override;
    qint64 pendingOutput() const override { return m_queue == Queue::Port ? waiting() : 0; }
    qint64 systemQueue() override;
    QByteArray take() override;
    qint64 available() override;
    void setBatched(bool batched) override { m_batched = batched; }
    bool wasRemoved() const override { return m_removed; }

private:
    struct Rule {
        int port, afterMs;
        bool paced;
        QByteArray command, reply;
    };

    // False once the device has gone; the port is then closed and removed() told.
    bool present();
    // Bytes written that the device has not taken yet.
    qint64 waiting() const;

    ManualClock &m_clock;
    QMap<int, Device> m_devices;
    QList<Rule> m_rules;
    QList<Write> m_writes;
    QByteArray m_heard, m_inbox;
    PortProbe m_openFailure;
    Intake m_intake = Intake::Instant;
    Queue m_queue = Queue::Port;
    QList<qint64> m_takenAt; // when the device takes each byte not yet taken
    qint64 m_intakeFrom = 0, m_intakeFreeAt = 0;
    quint64 m_connection = 0; // what is on its way belongs to one connection
    int m_open = 0;
    bool m_gone = false, m_removed = false, m_batched = false;
};
