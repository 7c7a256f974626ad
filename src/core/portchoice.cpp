#include "portchoice.h"

#include "core/simulatedprogrammer.h"

#include <QCoreApplication>
#include <QDir>

bool choosePorts(PortSource source, const QString &value, SimulatedProgrammer &emulator,
                 PortMap *ports, QString *error)
{
    switch (source) {
    case PortSource::System:
        *ports = PortMap::systemDefault();
        return true;
    case PortSource::One:
        *ports = PortMap::fromDevices({value});
        return true;
    case PortSource::List:
        *ports = PortMap::fromList(value);
        return true;
    case PortSource::Simulate:
        break;
    }
    const QString device = emulator.start(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("vantor-sim")), {},
        error);
    *ports = device.isEmpty() ? PortMap() : PortMap::fromDevices({device});
    return !device.isEmpty();
}
