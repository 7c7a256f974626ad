#include "commandset.h"

#include "core/programmer.h"

void CommandSet::send(const char *command)
{
    p.link.SendCommand(QString::fromLatin1(command));
}
