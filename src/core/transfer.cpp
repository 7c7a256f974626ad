#include "transfer.h"

#include "core/clock.h"
#include "core/logging.h"
#include "core/session.h"

Transfer::Transfer(Kind kind, int size, QObject *parent)
    : QObject(parent), m_kind(kind), m_size(size), m_refusal(Refusal::None),
      m_sent(SendResult::NotConnected), m_block(BlockResult::NotConnected)
{
}

Transfer *Transfer::finishedNow(QObject *parent, Kind kind, int size, Refusal refusal)
{
    auto *transfer = new Transfer(kind, size, parent);
    transfer->m_refusal = refusal;
    transfer->m_finished = true;
    transfer->deleteLater();
    return transfer;
}

void Transfer::start()
{
    m_started = true;
    qCDebug(lcSession, "%lld ms %s of %d bytes starts", Clock::system().now(),
            WireLog::name(m_kind), m_size);
    emit started();
}

void Transfer::finishSending(SendResult result)
{
    m_sent = result;
    finish();
}

void Transfer::finishBlock(BlockResult result, const QByteArray &bytes)
{
    m_block = result;
    m_bytes = bytes;
    finish();
}

void Transfer::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    qCDebug(lcSession, "%lld ms %s of %d bytes ends: %s", Clock::system().now(),
            WireLog::name(m_kind), m_size,
            m_kind == Kind::ReadBack ? WireLog::name(m_block) : WireLog::name(m_sent));
    emit finished();
    deleteLater();
}
