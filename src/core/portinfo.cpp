#include "portinfo.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QStringList>

std::optional<UsbId> UsbId::parse(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9A-Fa-f]{1,4}):([0-9A-Fa-f]{1,4})$"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    return UsbId{match.captured(1).toInt(nullptr, 16), match.captured(2).toInt(nullptr, 16)};
}

QString UsbId::text() const
{
    return QStringLiteral("%1:%2")
        .arg(vendor, 4, 16, QLatin1Char('0'))
        .arg(product, 4, 16, QLatin1Char('0'));
}

QString PortInfo::adapterText() const
{
    QStringList known;
    if (!description.isEmpty())
        known << description;
    if (usb)
        known << QStringLiteral("USB ") + usb->text();
    if (!serialNumber.isEmpty())
        known << QStringLiteral("USB serial ") + serialNumber;
    return known.join(QStringLiteral(", "));
}

QList<PortInfo> systemPorts()
{
    QList<PortInfo> ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        PortInfo port{info.systemLocation(), info.description(), info.serialNumber(), {}};
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            port.usb = UsbId{info.vendorIdentifier(), info.productIdentifier()};
        ports << port;
    }
    return ports;
}

QList<PortInfo> portsWithSerial(const QList<PortInfo> &ports, const QString &serialNumber)
{
    QList<PortInfo> found;
    for (const PortInfo &port : ports) {
        if (!port.serialNumber.isEmpty() &&
            port.serialNumber.compare(serialNumber.trimmed(), Qt::CaseInsensitive) == 0)
            found << port;
    }
    return found;
}

QList<PortInfo> portsWithUsbId(const QList<PortInfo> &ports, UsbId id)
{
    QList<PortInfo> found;
    for (const PortInfo &port : ports) {
        if (port.usb == id)
            found << port;
    }
    return found;
}

namespace
{

// The file a device name stands for: a name without a folder is one in /dev (as the serial
// port takes it), and links are followed where they lead.
QString deviceFile(const QString &name)
{
    const QString path = name.trimmed();
#ifdef Q_OS_WIN
    return path.toUpper();
#else
    const QString full = path.contains(QLatin1Char('/')) ? path : QStringLiteral("/dev/") + path;
    const QString canonical = QFileInfo(full).canonicalFilePath();
    return canonical.isEmpty() ? full : canonical;
#endif
}

} // namespace

bool sameDevice(const QString &a, const QString &b)
{
    return deviceFile(a) == deviceFile(b);
}
