#include "seriallink.h"

#include "core/events.h"
#include "core/messages.h"
#include "core/programmer.h"

#include <QDeadlineTimer>

SerialLink::SerialLink(Programmer &p) : p(p)
{
    // Whoever reads them, received bytes mean the programmer has begun to answer.
    QObject::connect(&p.MSComm1, &MSComm::received, &p.MSComm1,
                     [this] { m_awaitingReply = false; });
}

void SerialLink::noteSent()
{
    m_awaitingReply = true;
    m_sinceSent.start();
}

bool SerialLink::replyPending() const
{
    return m_awaitingReply && m_sinceSent.isValid() && m_sinceSent.elapsed() < ReplyLimitMs;
}

int SerialLink::msUntilReplyLimit() const
{
    return replyPending() ? int(ReplyLimitMs - m_sinceSent.elapsed()) : 0;
}

bool SerialLink::refuseWhileBusy()
{
    if (!p.bytesMoving)
        return false;
    p.setText(2, Msg::busy());
    return true;
}

bool SerialLink::refuseWhileSearching()
{
    if (!p.Timer3.Enabled())
        return false;
    p.setText(2, Msg::searching());
    return true;
}

bool SerialLink::refuseTransferStart()
{
    if (p.transferActive) {
        p.setText(2, Msg::busy());
        return true;
    }
    return refuseWhileSearching();
}

void SerialLink::SendCommand(const QString &command)
{
    if (refuseWhileBusy())
        return;
    sendOwn(command);
}

bool SerialLink::sendOwn(const QString &command)
{
    if (!p.MSComm1.PortOpen())
        return false;
    if (!p.MSComm1.Output(command)) {
        reportRemoval();
        return false;
    }
    noteSent();
    p.setText(1, QString());
    p.RxText.clear();
    return true;
}

void SerialLink::Timer1_Timer()
{
    QString received;
    if (!p.MSComm1.Input(&received)) {
        p.Timer1.setEnabled(false);
        return;
    }
    p.RxText += received;
    p.chips.ApplyKeyReports();
    // Replacing the text on every tick would reset the box's cursor ten times a second;
    // it is replaced when RxText changed or the user typed into the box.
    if (p.RxText != m_shownRx || p.text(1) != m_shownText) {
        p.setText(1, p.RxText);
        m_shownRx = p.RxText;
        m_shownText = p.text(1);
    }
}

void SerialLink::Timer2_Timer()
{
    if (p.bytesMoving && !m_draining)
        return; // a transfer owns the port; it stopped the pump before it began
    if (p.TxIndex >= p.TxCount)
        return;
    if (p.TxIndex < 0 || p.TxIndex >= Programmer::TxBufferSize) {
        reportRemoval();
        p.Timer2.setEnabled(false);
        return;
    }
    p.TxByte[0] = static_cast<char>(p.TxBuffer[static_cast<size_t>(p.TxIndex)]);
    if (p.MSComm1.PortOpen()) {
        if (!p.MSComm1.Output(p.TxByte)) {
            reportRemoval();
            p.Timer2.setEnabled(false);
            return;
        }
        noteSent();
    }
    ++p.TxIndex;
    if (p.TxIndex >= p.TxCount)
        p.Timer2.setEnabled(false);
}

void SerialLink::QueueForPump(const QByteArray &bytes)
{
    const int n = static_cast<int>(qMin<qsizetype>(bytes.size(), Programmer::TxBufferSize));
    for (int i = 0; i < n; ++i)
        p.TxBuffer[static_cast<size_t>(i)] = static_cast<quint8>(bytes.at(i));
    p.TxIndex = 0;
    p.TxCount = static_cast<qint16>(n);
    p.Timer2.setEnabled(true);
}

void SerialLink::drainPump()
{
    // A request is at most three bytes, one per tick; allow generously for slow timers.
    const QDeadlineTimer deadline(1000);
    m_draining = true;
    while (p.Timer2.Enabled() && p.TxIndex < p.TxCount && p.MSComm1.PortOpen() &&
           !deadline.hasExpired())
        WaitEvents();
    m_draining = false;
    p.Timer2.setEnabled(false);
}

void SerialLink::reportRemoval()
{
    m_awaitingReply = false;
    p.setText(2, Msg::removed());
    p.MSComm1.setPortOpen(false);
}

void SerialLink::onRemoved()
{
    m_awaitingReply = false;
    // While discovery probes, a vanished candidate is only a port that did not answer.
    if (!p.Timer3.Enabled())
        p.setText(2, Msg::removed());
}
