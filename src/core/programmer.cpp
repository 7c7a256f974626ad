#include "programmer.h"

Programmer::Programmer(Form1View *view_, DialogBackend *dialogs, const PortMap &ports,
                       QObject *parent)
    : QObject(parent), view(*view_), CommonDialog1(dialogs), startup(*this), link(*this),
      discovery(*this), chips(*this), commands(*this), transfers(*this), save(*this), sram(*this)
{
    MSComm1.setPortMap(ports);
    connect(&Timer1, &VbTimer::Timer, this, [this] { link.Timer1_Timer(); });
    connect(&Timer2, &VbTimer::Timer, this, [this] { link.Timer2_Timer(); });
    connect(&Timer3, &VbTimer::Timer, this, [this] { discovery.Timer3_Timer(); });
    connect(&Timer4, &VbTimer::Timer, this, [this] { discovery.Timer4_Timer(); });
    connect(&MSComm1, &MSComm::removed, this, [this] { link.onRemoved(); });
}

Programmer::~Programmer()
{
    Timer1.setEnabled(false);
    Timer2.setEnabled(false);
    Timer3.setEnabled(false);
    Timer4.setEnabled(false);
    MSComm1.setPortOpen(false);
}
