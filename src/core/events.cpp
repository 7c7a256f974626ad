#include "events.h"

#include <QCoreApplication>
#include <QEventLoop>

void DoEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}
