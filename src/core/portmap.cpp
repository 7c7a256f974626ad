#include "portmap.h"

#include "core/linetiming.h"

#include <QSerialPortInfo>

#include <algorithm>

PortMap PortMap::systemDefault()
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names << info.systemLocation();
#ifdef Q_OS_WIN
    PortMap map;
    for (int n = 1; n <= LineTiming::LastPort; ++n)
        map.m_devices << QStringLiteral("COM%1").arg(n);
    return map;
#else
    return fromDevices(orderDevices(names));
#endif
}

PortMap PortMap::fromList(const QString &commaSeparated)
{
    return fromDevices(commaSeparated.split(QLatin1Char(',')));
}

PortMap PortMap::fromDevices(const QStringList &devices)
{
    PortMap map;
    for (const QString &d : devices)
        map.m_devices << d.trimmed();
    return map;
}

QString PortMap::device(int comNumber) const
{
    if (comNumber < 1 || comNumber > m_devices.size())
        return QString();
    return m_devices.at(comNumber - 1);
}

QStringList PortMap::orderDevices(QStringList names)
{
    auto isUsb = [](const QString &path) {
        const QString base = path.section(QLatin1Char('/'), -1);
        return base.startsWith(QLatin1String("ttyUSB")) || base.startsWith(QLatin1String("ttyACM"));
    };
    // Name order with numbers compared as numbers: ttyUSB2 before ttyUSB10.
    auto lessByName = [](const QString &a, const QString &b) {
        int i = 0;
        while (i < a.size() && i < b.size() && !a.at(i).isDigit() && a.at(i) == b.at(i))
            ++i;
        const QString ra = a.mid(i), rb = b.mid(i);
        bool okA = false, okB = false;
        const long na = ra.toLong(&okA), nb = rb.toLong(&okB);
        if (okA && okB && na != nb)
            return na < nb;
        return a < b;
    };
    std::stable_sort(names.begin(), names.end(), [&](const QString &a, const QString &b) {
        const bool ua = isUsb(a), ub = isUsb(b);
        if (ua != ub)
            return ua;
        return lessByName(a, b);
    });
    return names;
}
