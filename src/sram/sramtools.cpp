#include "sramtools.h"

#include "core/messages.h"
#include "core/programmer.h"
#include "sram/hex.h"

void SramTools::clearReplies()
{
    p.setText(1, QString());
    p.setText(2, QString());
    p.RxText.clear();
}

void SramTools::muProgFill_Click()
{
    if (p.link.refuseWhileBusy())
        return;
    clearReplies();
    const QString text = p.text(3);
    if (text.size() != 2) {
        p.setText(2, Msg::badFill());
        return;
    }
    const qint32 value = HexPairToByte(text);
    if (value > 255) {
        p.setText(2, Msg::badFill());
        return;
    }
    QByteArray request;
    request.append(char(0x46));
    request.append(static_cast<char>(value));
    p.link.QueueForPump(request);
    p.setText(2, QString());
}

void SramTools::muProgDump_Click()
{
    if (p.link.refuseWhileBusy())
        return;
    clearReplies();
    const QString text = p.text(4);
    if (text.isEmpty()) {
        p.setText(2, Msg::noAddress());
        return;
    }
    if (text.size() != 4) {
        p.setText(2, Msg::badAddress());
        return;
    }
    const int d1 = HexDigitValue(text.mid(0, 1));
    const int d2 = HexDigitValue(text.mid(1, 1));
    const int d3 = HexDigitValue(text.mid(2, 1));
    const int d4 = HexDigitValue(text.mid(3, 1));
    if (d1 > 1 || d2 > 15 || d3 > 15 || d4 > 15) {
        p.setText(2, Msg::badAddress());
        return;
    }
    const int address = d1 * 4096 + d2 * 256 + d3 * 16 + d4;
    if (address > MemoryLength - 1) {
        p.setText(2, Msg::addressTooHigh());
        return;
    }
    clearReplies();
    QByteArray request;
    request.append(char(0x64));
    request.append(static_cast<char>(address / 256));
    request.append(static_cast<char>(address % 256));
    p.link.QueueForPump(request);
}

void SramTools::Text3_KeyDown(qint16 keyCode, qint16 shift)
{
    Q_UNUSED(shift);
    if (keyCode == 13)
        muProgFill_Click();
}

void SramTools::Text4_KeyDown(qint16 keyCode, qint16 shift)
{
    Q_UNUSED(shift);
    if (keyCode == 13)
        muProgDump_Click();
}
