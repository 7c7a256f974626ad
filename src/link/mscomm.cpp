#include "mscomm.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#endif

MSComm::MSComm(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("MSComm1"));
    m_port.setReadBufferSize(0);
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        pull();
        emit received();
    });
    connect(&m_port, &QSerialPort::errorOccurred, this, &MSComm::onError);
}

MSComm::~MSComm()
{
    if (m_port.isOpen())
        m_port.close();
}

bool MSComm::setCommPort(int number)
{
    if (number < 1 || number > 255)
        return false;
    m_commPort = number;
    return true;
}

bool MSComm::setSettings(const QString &settings)
{
    const QStringList parts = settings.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    bool ok = false;
    const int baud = parts.at(0).trimmed().toInt(&ok);
    if (!ok || baud <= 0)
        return false;
    const QString parity = parts.at(1).trimmed().toUpper();
    if (parity != QLatin1String("N") && parity != QLatin1String("E") &&
        parity != QLatin1String("O"))
        return false;
    const int bits = parts.at(2).trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        return false;
    const QString stop = parts.at(3).trimmed();
    if (stop != QLatin1String("1") && stop != QLatin1String("2"))
        return false;
    m_settings = settings;
    return !m_port.isOpen() || applySettings();
}

bool MSComm::applySettings()
{
    const QStringList parts = m_settings.split(QLatin1Char(','));
    const QString parity = parts.at(1).trimmed().toUpper();
    bool ok = m_port.setBaudRate(parts.at(0).trimmed().toInt());
    ok = m_port.setParity(parity == QLatin1String("E")   ? QSerialPort::EvenParity
                          : parity == QLatin1String("O") ? QSerialPort::OddParity
                                                         : QSerialPort::NoParity) &&
         ok;
    ok =
        m_port.setDataBits(static_cast<QSerialPort::DataBits>(parts.at(2).trimmed().toInt())) && ok;
    ok = m_port.setStopBits(parts.at(3).trimmed() == QLatin1String("2") ? QSerialPort::TwoStop
                                                                        : QSerialPort::OneStop) &&
         ok;
    ok = m_port.setFlowControl(QSerialPort::NoFlowControl) && ok;
    return ok;
}

bool MSComm::setPortOpen(bool open)
{
    if (!open) {
        if (m_port.isOpen())
            m_port.close();
        m_rx.clear();
        return true;
    }
    if (m_port.isOpen())
        return false;
    const QString device = m_map.device(m_commPort);
    if (device.isEmpty())
        return false;
    m_device = device;
    m_port.setPortName(device);
    m_rx.clear();
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_port.clearError();
        return false;
    }
    m_removed = false;
    if (!applySettings()) {
        m_port.close();
        return false;
    }
    return true;
}

bool MSComm::Output(const QString &text)
{
    return Output(text.toLatin1());
}

bool MSComm::Output(const QByteArray &bytes)
{
    if (!m_port.isOpen())
        return false;
    if (bytes.isEmpty())
        return true;
    if (m_port.write(bytes) != bytes.size()) {
        if (confirmGone()) {
            closeRemoved();
            return false;
        }
        m_port.clearError();
    }
    if (!m_port.isOpen())
        return false; // the write itself reported the removal
    if (!m_port.flush()) {
        // flush() also fails when the device merely cannot take more right now; the bytes
        // then stay queued in the port and go out as the device drains.
        if (m_port.error() != QSerialPort::NoError && confirmGone()) {
            closeRemoved();
            return false;
        }
        if (m_port.isOpen())
            m_port.clearError();
    }
    return m_port.isOpen();
}

void MSComm::pull()
{
    if (m_port.isOpen())
        m_rx += m_port.readAll();
}

QByteArray MSComm::take()
{
    pull();
    QByteArray out;
    if (m_inputLen > 0 && m_rx.size() > m_inputLen) {
        out = m_rx.left(m_inputLen);
        m_rx.remove(0, m_inputLen);
    } else {
        out.swap(m_rx);
    }
    return out;
}

bool MSComm::Input(QString *text)
{
    if (!m_port.isOpen())
        return false;
    *text = QString::fromLatin1(take());
    return true;
}

bool MSComm::Input(QByteArray *bytes)
{
    if (!m_port.isOpen())
        return false;
    *bytes = take();
    return true;
}

int MSComm::InBufferCount()
{
    if (!m_port.isOpen())
        return -1;
    pull();
    return static_cast<int>(m_rx.size());
}

void MSComm::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || m_inErrorHandler || !m_port.isOpen())
        return;
    m_inErrorHandler = true;
    if (error == QSerialPort::ResourceError || error == QSerialPort::WriteError ||
        error == QSerialPort::ReadError) {
        if (confirmGone()) {
            closeRemoved();
        } else {
            // Transient: clear it and make sure reading goes on (Qt stops its read
            // notifications after a ResourceError; reading the port restarts them).
            m_port.clearError();
            pull();
        }
    } else {
        m_port.clearError();
    }
    m_inErrorHandler = false;
}

bool MSComm::confirmGone()
{
    if (!m_port.isOpen())
        return true;
#ifdef Q_OS_UNIX
    const int fd = static_cast<int>(m_port.handle());
    if (fd < 0)
        return true;
    pollfd p{fd, POLLIN | POLLOUT, 0};
    int r = 0;
    do {
        r = ::poll(&p, 1, 0);
    } while (r < 0 && errno == EINTR);
    if (r < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        return true;
    return !QFileInfo::exists(m_device);
#else
    // Only Qt's Unix backend reports a full transmit queue (EAGAIN) as a resource error.
    // Elsewhere a failed write or flush, or a resource error, is the device gone.
    return true;
#endif
}

void MSComm::closeRemoved()
{
    if (!m_port.isOpen())
        return;
    m_port.close();
    m_rx.clear();
    m_removed = true;
    emit removed();
}
