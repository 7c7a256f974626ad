#include "discovery.h"

#include "core/events.h"
#include "core/messages.h"
#include "core/programmer.h"

#include <limits>

void Discovery::muFileComm_Click()
{
    if (p.link.refuseWhileBusy())
        return;
    p.Timer1.setEnabled(false);
    p.Timer2.setEnabled(false);
    if (p.MSComm1.PortOpen())
        p.MSComm1.setPortOpen(false);
    p.setText(1, QString());
    p.setText(2, QString());
    p.RxText.clear();
    p.ProbePort = 0;
    p.Timer3.setEnabled(true);
    p.Timer3.setInterval(ProbeInterval);
}

void Discovery::Timer3_Timer()
{
    p.WaitTicks = 0;
    p.ProbeReply.clear();
    if (p.ProbePort > LastPort - 1) {
        p.view.showForm2();
        p.setText(2, p.startup.withStartupWarning(Msg::notInstalled()));
        p.Timer3.setEnabled(false);
        p.Timer4.setEnabled(false);
        return;
    }

    ++p.ProbePort;
    p.setText(2, Msg::checkCom(p.ProbePort));
    if (!p.MSComm1.setCommPort(p.ProbePort) ||
        !p.MSComm1.setSettings(QStringLiteral("9600,N,8,1"))) {
        probeFailed();
        return;
    }
    p.MSComm1.setInputLen(0);
    if (!p.MSComm1.PortOpen() && !p.MSComm1.setPortOpen(true)) {
        probeFailed();
        return;
    }
    if (!p.MSComm1.Output(QStringLiteral("i"))) {
        probeFailed();
        return;
    }
    p.Timer4.setEnabled(true);
    p.Timer4.setInterval(ClockInterval);

    // Wait for the identification, sleeping between events (Timer4 ticks every 100 ms).
    for (;;) {
        WaitEvents();
        QString received;
        if (p.exiting || !p.MSComm1.Input(&received)) {
            probeFailed();
            return;
        }
        p.ProbeReply += received;
        if (p.ProbeReply.size() >= ReplyLength || p.WaitTicks >= 2)
            break;
    }

    if (p.WaitTicks <= 1) {
        p.setText(2, p.startup.withStartupWarning(Msg::foundOn(p.ProbePort)));
        p.Timer3.setEnabled(false);
        p.Timer4.setEnabled(false);
        p.WaitTicks = 0;
        p.Timer1.setEnabled(true);
        p.Timer4.setEnabled(true);
        p.RxText.clear();
        if (!p.MSComm1.Output(QStringLiteral("i")))
            p.link.reportRemoval();
        return;
    }
    p.MSComm1.setPortOpen(false);
}

void Discovery::probeFailed()
{
    p.setText(2, Msg::checkCom(p.ProbePort));
    // The next probe must not talk to this device: close what this probe opened.
    if (p.MSComm1.PortOpen())
        p.MSComm1.setPortOpen(false);
}

void Discovery::Timer4_Timer()
{
    if (p.WaitTicks < std::numeric_limits<qint16>::max())
        ++p.WaitTicks;
    // The settle step waits while a transfer owns the port, so that the chip command is
    // never refused; it runs on the first tick after the transfer.
    if (p.MSComm1.PortOpen() && p.WaitTicks > 5 && !p.bytesMoving) {
        p.Timer4.setEnabled(false);
        p.WaitTicks = 0;
        // Text2 keeps what the chip choice shows, a settings problem or a removal.
        p.chips.ApplyStartupRule();
    }
}
