#include "blockreader.h"

#include "core/chiptable.h"
#include "core/clock.h"
#include "core/linetiming.h"
#include "core/transport.h"

BlockReader::BlockReader(Transport &transport, Clock &clock, QObject *parent)
    : QObject(parent), m_transport(transport), m_clock(clock), m_step(clock.createTimer(this)),
      m_limit(clock.createTimer(this))
{
    m_step->setSingleShot(true);
    m_limit->setSingleShot(true);
    connect(m_step, &ClockTimer::timeout, this, &BlockReader::onStep);
    connect(m_limit, &ClockTimer::timeout, this, &BlockReader::onLimit);
    connect(&m_transport, &Transport::received, this, &BlockReader::onReceived);
    connect(&m_transport, &Transport::removed, this, &BlockReader::onRemoved);
}

void BlockReader::read(int bytes, qint64 readyAt, qint64 answerBy)
{
    m_bytes = bytes;
    m_data.clear();
    m_skipped.clear();
    m_overrun = false;
    m_told = 0;
    if (!m_transport.isOpen()) {
        finish(BlockResult::NotConnected);
        return;
    }
    m_readyAt = readyAt;
    m_answerBy = answerBy;
    m_phase = Phase::Wait;
    if (drop())
        m_answerBy = -1; // the answer has begun
    await();
}

void BlockReader::abort()
{
    m_step->stop();
    m_limit->stop();
    if (m_phase != Phase::Idle)
        m_transport.setBatched(false);
    m_phase = Phase::Idle;
}

void BlockReader::onReceived()
{
    switch (m_phase) {
    case Phase::Wait:
        if (drop())
            m_answerBy = -1;
        await();
        break;
    case Phase::Quiet:
        drop();
        m_step->start(LineTiming::QuietMs);
        break;
    case Phase::Settle:
        overrun();
        break;
    case Phase::Discard: {
        const QByteArray rest = m_transport.take();
        if (m_overrun && !rest.isEmpty())
            skip(rest); // after the block; the rest of a short one is the block's
        m_step->start(LineTiming::DiscardQuietMs);
        break;
    }
    case Phase::Idle:
    case Phase::Collect:
        break;
    }
}

void BlockReader::onRemoved()
{
    if (m_phase != Phase::Idle)
        finish(BlockResult::Removed);
}

void BlockReader::onStep()
{
    switch (m_phase) {
    case Phase::Wait:
        settle();
        break;
    case Phase::Quiet:
        ask();
        break;
    case Phase::Collect:
        check();
        break;
    case Phase::Settle:
        m_data = m_transport.take();
        if (m_data.size() == m_bytes)
            finish(BlockResult::Complete);
        else
            overrun();
        break;
    case Phase::Discard:
        finish(m_overrun ? BlockResult::Overrun : BlockResult::Short);
        break;
    case Phase::Idle:
        break;
    }
}

void BlockReader::onLimit()
{
    if (m_phase == Phase::Quiet)
        ask();
    else if (m_phase == Phase::Discard)
        finish(m_overrun ? BlockResult::Overrun : BlockResult::Short);
}

bool BlockReader::drop()
{
    const QByteArray bytes = m_transport.take();
    if (bytes.isEmpty())
        return false;
    skip(bytes);
    return true;
}

// Bytes dropped outside the block: replies, whose key reports count. The last five stay for
// a report split between two drops.
void BlockReader::skip(const QByteArray &bytes)
{
    m_skipped += bytes;
    const int chip = ChipTable::keyReportIn(m_skipped);
    m_skipped = m_skipped.right(5);
    if (chip >= 0)
        emit keyReport(chip);
}

void BlockReader::await()
{
    const qint64 due = qMax(m_readyAt, m_answerBy);
    const qint64 wait = due - m_clock.now();
    if (wait > 0)
        m_step->start(static_cast<int>(wait));
    else
        settle();
}

void BlockReader::settle()
{
    m_phase = Phase::Quiet;
    drop();
    m_step->start(LineTiming::QuietMs);
    m_limit->start(LineTiming::QuietLimitMs);
}

void BlockReader::ask()
{
    m_limit->stop();
    m_skipped.clear(); // what comes next is the block's
    emit asking();
    m_phase = Phase::Collect;
    if (!m_transport.write(ChipTable::readBackCommand(m_bytes))) {
        finish(m_transport.wasRemoved() ? BlockResult::Removed : BlockResult::NotConnected);
        return;
    }
    m_transport.setBatched(true);
    m_deadline = m_clock.now() + LineTiming::blockLimitMs(m_bytes);
    m_step->start(qMin(LineTiming::BlockCheckMs, LineTiming::blockLimitMs(m_bytes)));
}

void BlockReader::check()
{
    const qint64 have = m_transport.available(); // a removal found here follows as removed()
    if (have > m_bytes) {
        overrun();
        return;
    }
    if (have != m_told)
        emit progress(static_cast<int>(m_told = have), m_bytes);
    if (have == m_bytes) {
        // Exactly the block: it is good once the line has stayed quiet after it.
        m_transport.setBatched(false);
        m_phase = Phase::Settle;
        m_step->start(LineTiming::BlockSettleMs);
        return;
    }
    const qint64 left = m_deadline - m_clock.now();
    if (left <= 0) {
        m_data = m_transport.take();
        discardRest();
        return;
    }
    // Wake when the rest can first be there at the line's speed, at most 50 ms from now.
    const int due = LineTiming::lineMs(m_bytes - static_cast<int>(have));
    m_step->start(static_cast<int>(qMin<qint64>(left, qMin(due, LineTiming::BlockCheckMs))));
}

void BlockReader::overrun()
{
    const QByteArray all = m_data + m_transport.take();
    if (all.size() > m_bytes)
        skip(all.mid(m_bytes));
    m_data.clear(); // nothing of it can be trusted
    m_overrun = true;
    discardRest();
}

void BlockReader::discardRest()
{
    m_transport.setBatched(false);
    m_phase = Phase::Discard;
    m_step->start(LineTiming::DiscardQuietMs);
    const int rest = m_overrun ? m_bytes : m_bytes - static_cast<int>(m_data.size());
    m_limit->start(LineTiming::blockLimitMs(rest));
}

void BlockReader::finish(BlockResult result)
{
    abort();
    emit finished(result, m_data);
}
