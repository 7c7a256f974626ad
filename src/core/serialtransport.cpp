#include "serialtransport.h"

#include "core/clock.h"
#include "core/linetiming.h"
#include "core/logging.h"
#include "core/openfailure.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/ioctl.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

SerialTransport::SerialTransport(const PortMap &ports, QObject *parent)
    : Transport(parent), m_ports(ports)
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialTransport::onReadyRead);
    connect(&m_port, &QSerialPort::bytesWritten, this, &SerialTransport::onBytesWritten);
    // An error is handled once the call that met it has returned (QSerialPort reports it
    // from inside write(), flush() and close() too).
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialTransport::onError,
            Qt::QueuedConnection);
}

SerialTransport::~SerialTransport()
{
    if (m_port.isOpen())
        m_port.close();
}

int SerialTransport::lastPort() const
{
    const QStringList &devices = m_ports.devices();
    for (int n = static_cast<int>(devices.size()); n > 0; --n) {
        if (!devices.at(n - 1).isEmpty())
            return n;
    }
    return 0;
}

bool SerialTransport::open(int port)
{
    m_openFailure = PortProbe();
    if (m_port.isOpen())
        return false;
    const QString device = m_ports.device(port);
    if (device.isEmpty()) {
        m_openFailure.outcome = PortProbe::Outcome::NoDevice;
        return false;
    }
    m_device = device;
    m_number = port;
    m_port.setPortName(device);
    m_port.setReadBufferSize(0);
    m_batched = false;
    if (!m_port.open(QIODevice::ReadWrite))
        return openFailed();
    m_removed = false;
    if (!applySettings()) {
        m_openFailure.systemError = m_port.errorString();
        m_port.close();
        m_port.clearError();
        return false;
    }
    qCDebug(lcTransport, "%lld ms COM%d opened: %s", Clock::system().now(), port,
            qUtf8Printable(device));
    return true;
}

bool SerialTransport::openFailed()
{
    const QSerialPort::SerialPortError error = m_port.error();
    m_openFailure =
        OpenFailure::classify(error, m_port.errorString(), OpenFailure::look(m_device, error));
    m_port.clearError();
    return false;
}

bool SerialTransport::applySettings()
{
    static_assert(LineTiming::Baud == 9600 && LineTiming::BitsPerByte == 10,
                  "the line is 9600 baud, 8N1");
    return m_port.setBaudRate(LineTiming::Baud) && m_port.setDataBits(QSerialPort::Data8) &&
           m_port.setParity(QSerialPort::NoParity) && m_port.setStopBits(QSerialPort::OneStop) &&
           m_port.setFlowControl(QSerialPort::NoFlowControl);
}

void SerialTransport::close()
{
    if (m_port.isOpen())
        m_port.close();
}

bool SerialTransport::write(const QByteArray &bytes)
{
    if (!m_port.isOpen())
        return false;
    if (bytes.isEmpty())
        return true;
    qCDebug(lcTransport).noquote() << WireLog::wire(Clock::system().now(), m_number, "out", bytes);
    const bool handed = m_port.write(bytes) == bytes.size();
    const bool flushed = flushPort();
    // A full line fails them too, with or without an error; the bytes then stay queued and
    // go out as the device drains.
    if (handed && flushed)
        return true;
    if (confirmGone()) {
        closeRemoved();
        return false;
    }
    m_port.clearError();
    return true;
}

bool SerialTransport::flushPort()
{
    return m_port.flush();
}

qint64 SerialTransport::pendingOutput() const
{
    return m_port.isOpen() ? m_port.bytesToWrite() : 0;
}

qint64 SerialTransport::systemQueue()
{
    if (!m_port.isOpen())
        return 0;
#if defined(Q_OS_LINUX)
    int queued = 0;
    if (::ioctl(static_cast<int>(m_port.handle()), TIOCOUTQ, &queued) == 0)
        return queued;
#elif defined(Q_OS_WIN)
    COMSTAT status{};
    DWORD errors = 0;
    if (::ClearCommError(m_port.handle(), &errors, &status))
        return static_cast<qint64>(status.cbOutQue);
#else
    return -1;
#endif
#if defined(Q_OS_LINUX) || defined(Q_OS_WIN)
    // The question failed: a device that has gone, or a port that cannot tell.
    if (confirmGone()) {
        closeRemoved();
        return 0;
    }
    return -1;
#endif
}

QByteArray SerialTransport::take()
{
    if (!m_port.isOpen())
        return QByteArray();
    if (m_batched)
        fetchBatched();
    const QByteArray bytes = m_port.readAll();
    if (!bytes.isEmpty())
        qCDebug(lcTransport).noquote()
            << WireLog::wire(Clock::system().now(), m_number, "in", bytes);
    return bytes;
}

qint64 SerialTransport::available()
{
    if (!m_port.isOpen())
        return 0;
    if (m_batched)
        fetchBatched();
    return m_port.bytesAvailable();
}

void SerialTransport::setBatched(bool batched)
{
    m_batched = batched;
    // With a one-byte limit QSerialPort stops its read notifications as soon as it holds a
    // byte; the system keeps the rest until fetchBatched() reads it in one go.
    m_port.setReadBufferSize(batched ? 1 : 0);
}

void SerialTransport::fetchBatched()
{
    m_port.setReadBufferSize(0);
    const bool read = m_port.waitForReadyRead(0);
#ifdef Q_OS_UNIX
    // With reading paused, a hang-up shows only to poll().
    if (!read && m_port.isOpen() && confirmGone())
        closeRemoved();
#else
    Q_UNUSED(read);
#endif
    if (m_port.isOpen())
        m_port.setReadBufferSize(1);
}

void SerialTransport::onReadyRead()
{
    if (!m_batched)
        emit received();
}

void SerialTransport::onBytesWritten()
{
    if (m_port.isOpen() && m_port.bytesToWrite() == 0)
        emit drained();
}

void SerialTransport::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || !m_port.isOpen())
        return;
    const bool failed = error == QSerialPort::ResourceError || error == QSerialPort::WriteError ||
                        error == QSerialPort::ReadError;
    if (failed && confirmGone()) {
        closeRemoved();
        return;
    }
    m_port.clearError();
    // Transient: Qt stops its read notifications after a resource error; setting the buffer
    // size restarts them.
    if (failed)
        m_port.setReadBufferSize(m_batched ? 1 : 0);
}

bool SerialTransport::confirmGone()
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
    // A full line is a Unix matter: elsewhere a failing port is a removed device.
    return true;
#endif
}

void SerialTransport::closeRemoved()
{
    m_port.close();
    m_removed = true;
    qCDebug(lcTransport, "%lld ms COM%d removed", Clock::system().now(), m_number);
    // Told from the event loop, after the call that found it has returned; not once the
    // port has been opened again.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_removed && !m_port.isOpen())
                emit removed();
        },
        Qt::QueuedConnection);
}
