#include "faketransport.h"

#include "manualclock.h"

#include <algorithm>
#include <limits>

constexpr qint64 Never = std::numeric_limits<qint64>::max();

// When byte k (from 1) of a burst has fully arrived at 9600 baud, 8N1: 10 bits a byte.
static qint64 arrival(qint64 k)
{
    return (k * 10000 + 9599) / 9600;
}

void FakeTransport::send(const QByteArray &bytes, int afterMs, bool paced)
{
    const auto deliver = [this, connection = m_connection](const QByteArray &part) {
        if (connection != m_connection || m_gone)
            return;
        m_inbox += part;
        if (!m_batched)
            emit received();
    };
    if (!paced)
        m_clock.callAfter(afterMs, [=] { deliver(bytes); });
    for (qint64 k = 0; paced && k < bytes.size(); ++k)
        m_clock.callAfter(afterMs + arrival(k + 1), [=] { deliver(bytes.mid(k, 1)); });
}

void FakeTransport::setIntake(Intake intake, int fromMs)
{
    m_intake = intake;
    m_intakeFrom = m_clock.now() + fromMs;
}

void FakeTransport::unplug(bool noticed)
{
    m_gone = true;
    if (noticed)
        present();
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
    const auto w = std::find_if(m_writes.begin(), m_writes.end(),
                                [&](const Write &w) { return w.bytes == bytes; });
    return w == m_writes.end() ? -1 : w->at;
}

bool FakeTransport::open(int port)
{
    const Device device = m_devices.value(port, Device::Absent);
    m_openFailure.outcome =
        device == Device::InUse ? PortProbe::Outcome::Busy : PortProbe::Outcome::NoDevice;
    if (m_open != 0 || device == Device::Absent || device == Device::InUse)
        return false;
    close();
    m_open = port;
    m_gone = m_removed = m_batched = false;
    m_heard.clear();
    return true;
}

void FakeTransport::close()
{
    m_open = 0;
    ++m_connection; // what is still on its way is lost
    m_inbox.clear();
    m_takenAt.clear();
}

bool FakeTransport::write(const QByteArray &bytes)
{
    if (m_open == 0 || !present())
        return false;
    const qint64 now = m_clock.now();
    m_writes.append({now, m_open, bytes});
    m_takenAt.removeIf([now](qint64 at) { return at <= now; });
    const qint64 from = std::max({now, m_intakeFrom, m_intakeFreeAt});
    const auto takenAt = [&](qint64 k) {
        return m_intake == Intake::Stalled ? Never
               : m_intake == Intake::Paced ? from + arrival(k)
                                           : from;
    };
    for (qint64 k = 1; k <= bytes.size(); ++k)
        m_takenAt.append(takenAt(k));
    const qint64 last = takenAt(bytes.size());
    if (m_intake != Intake::Stalled)
        m_intakeFreeAt = last;
    const qint64 drainAt = m_queue == Queue::Port ? last : now;
    if (drainAt != Never) {
        m_clock.callAfter(drainAt - now, [this, c = m_connection] {
            if (c == m_connection && pendingOutput() == 0)
                emit drained();
        });
    }
    if (m_devices.value(m_open) != Device::Answering)
        return true;
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
    return true;
}

QByteArray FakeTransport::take()
{
    QByteArray out;
    if (m_open != 0 && (!m_batched || present()))
        out.swap(m_inbox);
    return out;
}

qint64 FakeTransport::available()
{
    ++looks;
    return m_open != 0 && (!m_batched || present()) ? m_inbox.size() : 0;
}

qint64 FakeTransport::systemQueue()
{
    if (m_open == 0 || !present())
        return 0;
    return m_queue == Queue::System ? waiting() : m_queue == Queue::Untold ? -1 : 0;
}

qint64 FakeTransport::waiting() const
{
    const qint64 now = m_clock.now();
    return std::count_if(m_takenAt.begin(), m_takenAt.end(), [now](qint64 at) { return at > now; });
}

bool FakeTransport::present()
{
    if (m_gone && m_open != 0) {
        close();
        m_removed = true;
        // Told once the call that found it has returned, and not after the port is opened
        // again.
        m_clock.callAfter(0, [this] {
            if (m_removed && m_open == 0)
                emit removed();
        });
    }
    return !m_gone;
}
