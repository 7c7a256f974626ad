#pragma once

#include "core/portmap.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

// The serial-port control MSComm1: a small, polled layer over QSerialPort.
//
// Operations that fail return false; nothing here shows a message. A device that has
// vanished is detected on the very write that fails (write, flush, check) and also when
// the port reports an error. On Unix (macOS included) a removal is confirmed before the
// port is closed, because QSerialPort there reports transient conditions (EAGAIN) with the
// same error code as a real removal; elsewhere such a failure is a removal. A removal
// closes the port and emits removed() once.
class MSComm : public QObject
{
    Q_OBJECT
public:
    enum InputModeValue { comInputModeText = 0, comInputModeBinary = 1 };

    explicit MSComm(QObject *parent = nullptr);
    ~MSComm() override;

    void setPortMap(const PortMap &map) { m_map = map; }
    const PortMap &portMap() const { return m_map; }

    int CommPort() const { return m_commPort; }
    bool setCommPort(int number);
    QString Settings() const { return m_settings; }
    bool setSettings(const QString &settings);
    int InputLen() const { return m_inputLen; }
    void setInputLen(int length) { m_inputLen = length < 0 ? 0 : length; }
    int InputMode() const { return m_inputMode; }
    void setInputMode(int mode) { m_inputMode = mode == comInputModeBinary ? mode : 0; }

    bool PortOpen() const { return m_port.isOpen(); }
    // true opens the device of CommPort (fails when missing or in use); false closes.
    bool setPortOpen(bool open);

    // A string goes out as its characters, one byte each (Latin-1), nothing appended.
    bool Output(const QString &text);
    bool Output(const QByteArray &bytes);

    // Everything received since the last read (at most InputLen bytes when it is set).
    // Text mode: Latin-1 characters, so no byte is lost or merged. Fails on a closed port.
    bool Input(QString *text);
    bool Input(QByteArray *bytes);

    // Received bytes waiting; -1 when the port is closed.
    int InBufferCount();

    // Bytes handed to the port but not yet taken by the device.
    qint64 pendingOutput() const { return m_port.isOpen() ? m_port.bytesToWrite() : 0; }

    // True when the last close was caused by a confirmed removal of the device.
    bool wasRemoved() const { return m_removed; }

signals:
    void removed();
    // Bytes arrived (for waits that sleep until something happens).
    void received();

private:
    void pull();
    void onError(QSerialPort::SerialPortError error);
    bool confirmGone();
    void closeRemoved();
    bool applySettings();
    QByteArray take();

    QSerialPort m_port;
    PortMap m_map;
    QString m_device;
    QByteArray m_rx;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_commPort = 1;
    int m_inputLen = 0;
    int m_inputMode = comInputModeText;
    bool m_removed = false;
    bool m_inErrorHandler = false;
};
