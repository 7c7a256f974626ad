#pragma once

#include <QList>
#include <QString>

#include <optional>

// A USB adapter's vendor and product ids, as "0403:6001" (hex).
struct UsbId {
    int vendor = 0;
    int product = 0;

    // "VID:PID", each 1 to 4 hex digits of either case; nothing for any other text.
    static std::optional<UsbId> parse(const QString &text);
    // Four lower-case hex digits each: "0403:6001".
    QString text() const;
    bool operator==(const UsbId &other) const
    {
        return vendor == other.vendor && product == other.product;
    }
};

// A serial port as the system lists it, with what its USB adapter tells, when it has one.
struct PortInfo {
    QString device;           // "/dev/ttyUSB0", "COM3"
    QString description;      // the adapter's product text; empty when not known
    QString serialNumber;     // the adapter's USB serial number; empty when not known
    std::optional<UsbId> usb; // its vendor and product ids, when known

    // What is known of the adapter, for a listing: "FT232R USB UART, USB 0403:6001, USB serial
    // A1B2C3"; empty when nothing is.
    QString adapterText() const;
};

// The system's serial ports.
QList<PortInfo> systemPorts();

// The ports whose adapter has this USB serial number (letters of either case) or these ids, in
// the order of ports.
QList<PortInfo> portsWithSerial(const QList<PortInfo> &ports, const QString &serialNumber);
QList<PortInfo> portsWithUsbId(const QList<PortInfo> &ports, UsbId id);

// Whether two names give the same device: the same text, a name without a folder for the
// device of that name in /dev, or links to one file.
bool sameDevice(const QString &a, const QString &b);
