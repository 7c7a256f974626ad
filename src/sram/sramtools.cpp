#include "sramtools.h"

#include "core/messages.h"
#include "core/programmer.h"
#include "core/hex.h"

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
    const FillText fill = CheckFillText(p.text(3));
    if (!fill.ok) {
        p.setText(2, Msg::badFill());
        return;
    }
    QByteArray request;
    request.append(char(0x46));
    request.append(static_cast<char>(fill.value));
    p.link.QueueForPump(request);
    p.setText(2, QString());
}

void SramTools::muProgDump_Click()
{
    if (p.link.refuseWhileBusy())
        return;
    clearReplies();
    const DumpText dump = CheckDumpText(p.text(4));
    switch (dump.verdict) {
    case DumpText::Empty:
        p.setText(2, Msg::noAddress());
        return;
    case DumpText::Invalid:
        p.setText(2, Msg::badAddress());
        return;
    case DumpText::BeyondMemory:
        p.setText(2, Msg::addressTooHigh());
        return;
    case DumpText::Ok:
        break;
    }
    clearReplies();
    QByteArray request;
    request.append(char(0x64));
    request.append(static_cast<char>(dump.address / 256));
    request.append(static_cast<char>(dump.address % 256));
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
