#include "openfailure.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace OpenFailure
{

namespace
{

#ifdef Q_OS_LINUX

// The name the kernel gives a process, or empty when there is no such process.
QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return pid > 0 && comm.open(QIODevice::ReadOnly)
               ? QString::fromLocal8Bit(comm.readAll()).trimmed()
               : QString();
}

// A lock file of the device: "LCK.." and the device's name below /dev with '/' as '_', in
// the folders that QSerialPort and the uucp tradition use. Its first line is the pid of the
// program holding the device.
bool fromLockFile(const QString &device, Device *seen)
{
    static const char *const Folders[] = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                                          "/var/spool/uucp",   "/tmp",       "/var/tmp",
                                          "/var/lock/lockdev", "/run/lock"};
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *folder : Folders) {
        QFile lock(QString::fromLatin1(folder) + QStringLiteral("/LCK..") + name);
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        const qint64 pid = lock.readLine(64).trimmed().toLongLong();
        const QString program = processName(pid);
        if (!program.isEmpty()) {
            seen->program = program;
            seen->pid = pid;
            return true;
        }
    }
    return false;
}

// A process other than this one with the device open, where /proc lets it be seen.
bool fromProcesses(const QString &device, Device *seen)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    const qint64 self = QCoreApplication::applicationPid();
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : pids) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number || pid == self)
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        const QStringList links = fds.entryList(QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : links) {
            if (QFileInfo(fds.filePath(fd)).symLinkTarget() == target) {
                seen->program = processName(pid);
                seen->pid = seen->program.isEmpty() ? 0 : pid;
                return !seen->program.isEmpty();
            }
        }
    }
    return false;
}

#endif

} // namespace

Device look(const QString &device, QSerialPort::SerialPortError error)
{
    Device seen;
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(device);
    seen.exists = QFileInfo::exists(device);
    seen.permitted = !seen.exists || ::access(path.constData(), R_OK | W_OK) == 0 ||
                     (errno != EACCES && errno != EPERM);
#endif
#ifdef Q_OS_LINUX
    if (seen.exists && seen.permitted && error == QSerialPort::PermissionError &&
        !fromLockFile(device, &seen))
        fromProcesses(device, &seen);
#else
    Q_UNUSED(error);
#endif
    return seen;
}

PortProbe classify(QSerialPort::SerialPortError error, const QString &systemError,
                   const Device &device)
{
    PortProbe probe;
    if (!device.exists || error == QSerialPort::DeviceNotFoundError) {
        probe.outcome = PortProbe::Outcome::NoDevice;
    } else if (!device.permitted) {
        probe.outcome = PortProbe::Outcome::PermissionDenied;
    } else if (error == QSerialPort::PermissionError) {
        probe.outcome = PortProbe::Outcome::Busy;
        probe.program = device.program;
        probe.pid = device.pid;
    } else {
        probe.outcome = PortProbe::Outcome::OpenFailed;
        probe.systemError = systemError;
    }
    return probe;
}

} // namespace OpenFailure
