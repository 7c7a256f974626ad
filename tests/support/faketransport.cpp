#include "faketransport.h"

#include "manualclock.h"

namespace
{
// When byte k (from 1) of a burst has fully arrived at 9600 baud, 8N1: 10 bits a byte.
qint64 arrival(qint64 k)
{
    return (k * 10000 + 9599) / 9600;
}
} // namespace

FakeTransport::FakeTransport(ManualClock &clock) : m_clock(clock) {}

void FakeTransport::setDevice(int port, Device device)
{
    m_devices[port] = device;
}

void FakeTransport::answer(int port, const QByteArray &command, const QByteArray &reply,
                           int afterMs, bool paced)
{
    m_rules.append(Rule{port, command, reply, afterMs, paced});
}

void FakeTransport::send(const QByteArray &bytes, int afterMs, bool paced)
{
    const quint64 connection = m_connection;
    if (!paced) {
        m_clock.callAfter(afterMs, [=] { deliver(bytes, connection); });
        return;
    }
    // One delivery for each millisecond in which bytes complete.
    qint64 k = 0;
    while (k < bytes.size()) {
        qint64 end = k + 1;
        while (end < bytes.size() && arrival(end + 1) == arrival(k + 1))
            ++end;
        const QByteArray part = bytes.mid(k, end - k);
        m_clock.callAfter(afterMs + arrival(k + 1), [=] { deliver(part, connection); });
        k = end;
    }
}

void FakeTransport::unplug(bool noticed)
{
    m_gone = true;
    if (noticed)
        closeRemoved();
}

QByteArray FakeTransport::line() const
{
    QByteArray all;
    for (const Write &w : m_writes)
        all += w.bytes;
    return all;
}

qint64 FakeTransport::timeOf(const QByteArray &bytes) const
{
    for (const Write &w : m_writes) {
        if (w.bytes == bytes)
            return w.at;
    }
    return -1;
}

int FakeTransport::lastPort() const
{
    int last = 0;
    for (auto it = m_devices.cbegin(); it != m_devices.cend(); ++it) {
        if (it.value() != Device::Absent)
            last = qMax(last, it.key());
    }
    return last;
}

bool FakeTransport::open(int port)
{
    const Device device = m_devices.value(port, Device::Absent);
    if (m_open != 0 || device == Device::Absent || device == Device::InUse)
        return false;
    m_open = m_last = port;
    ++m_connection;
    m_gone = m_removed = m_batched = false;
    m_inbox.clear();
    m_heard.clear();
    m_pending = 0;
    return true;
}

void FakeTransport::close()
{
    m_open = 0;
    ++m_connection;
    m_inbox.clear();
    m_pending = 0;
}

bool FakeTransport::write(const QByteArray &bytes)
{
    if (m_open == 0)
        return false;
    if (m_gone) {
        closeRemoved();
        return false;
    }
    m_writes.append(Write{m_clock.now(), m_open, bytes});
    if (m_intake != Intake::Stalled)
        intake(bytes.size());
    else
        m_pending += bytes.size();
    if (m_devices.value(m_open) == Device::Answering)
        hear(bytes);
    return true;
}

void FakeTransport::intake(qint64 bytes)
{
    m_pending += bytes;
    const quint64 connection = m_connection;
    qint64 at = m_clock.now();
    if (m_intake == Intake::Paced) {
        at = qMax(at, m_intakeFreeAt) + arrival(bytes);
        m_intakeFreeAt = at;
    }
    m_clock.callAfter(at - m_clock.now(), [=] {
        if (connection != m_connection)
            return;
        m_pending -= bytes;
        if (m_pending == 0)
            emit drained();
    });
}

void FakeTransport::hear(const QByteArray &bytes)
{
    m_heard += bytes;
    bool matched = false;
    for (const Rule &rule : std::as_const(m_rules)) {
        if ((rule.port == 0 || rule.port == m_open) && m_heard.endsWith(rule.command)) {
            send(rule.reply, rule.afterMs, rule.paced);
            matched = true;
        }
    }
    if (matched)
        m_heard.clear();
}

void FakeTransport::deliver(const QByteArray &bytes, quint64 connection)
{
    if (connection != m_connection || m_open == 0 || m_gone)
        return;
    m_inbox += bytes;
    if (!m_batched)
        emit received();
}

QByteArray FakeTransport::take()
{
    if (m_open == 0 || noticeGone())
        return QByteArray();
    QByteArray out;
    out.swap(m_inbox);
    return out;
}

qint64 FakeTransport::available()
{
    ++looks;
    if (m_open == 0 || noticeGone())
        return 0;
    return m_inbox.size();
}

bool FakeTransport::noticeGone()
{
    if (!m_gone || !m_batched)
        return false;
    closeRemoved();
    return true;
}

void FakeTransport::closeRemoved()
{
    if (m_open == 0)
        return;
    close();
    m_removed = true;
    emit removed();
}
