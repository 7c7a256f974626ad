#include "settingsfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace SettingsFile
{

namespace
{
// A settings file is one short line; anything past this is ignored.
constexpr qint64 MaxValueBytes = 64 * 1024;

QString notRegular()
{
    return QStringLiteral("不是一般檔案");
}

// Only a regular file (or a link to one) holds a setting. A FIFO, a device or a socket is
// refused before anything opens it: opening a FIFO waits for its other end.
bool isUsable(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        *error = QStringLiteral("是一個資料夾");
        return false;
    }
    if (info.exists() && !info.isFile()) {
        *error = notRegular();
        return false;
    }
    return true;
}

// Opens a regular file; create makes a missing one. On Unix the open cannot wait
// (O_NONBLOCK) and the open file's type is checked again, so that a file swapped for a
// FIFO after isUsable is refused as well.
bool openRegular(QFile &file, const QString &path, QIODevice::OpenMode mode, bool create,
                 QString *error)
{
#ifdef Q_OS_UNIX
    int flags = (mode & QIODevice::WriteOnly) ? O_WRONLY : O_RDONLY;
    flags |= O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (create ? O_CREAT : 0);
    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    do {
        fd = ::open(name.constData(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *error = notRegular();
        return false;
    }
    if ((mode & QIODevice::Truncate) && ::ftruncate(fd, 0) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return false;
    }
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        *error = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
#else
    Q_UNUSED(create);
    if (!isUsable(path, error))
        return false;
    file.setFileName(path);
    if (!file.open(mode)) {
        *error = file.errorString();
        return false;
    }
    return true;
#endif
}
} // namespace

QString pathIn(const QString &directory, const QString &name)
{
    return directory + QDir::separator() + name;
}

QString firstLine(const QByteArray &bytes)
{
    qsizetype end = 0;
    while (end < bytes.size() && bytes.at(end) != '\r' && bytes.at(end) != '\n')
        ++end;
    return QString::fromLocal8Bit(bytes.left(end));
}

ReadResult readValue(const QString &path, QString *value, QString *error)
{
    value->clear();
    QFile file(path);
    if (!isUsable(path, error))
        return ReadResult::Failed;
    ReadResult result = ReadResult::Ok;
    if (!file.exists()) {
        if (!openRegular(file, path, QIODevice::WriteOnly, true, error))
            return ReadResult::Failed;
        file.close();
        result = ReadResult::CreatedEmpty;
    }
    if (!openRegular(file, path, QIODevice::ReadOnly, false, error))
        return ReadResult::Failed;
    const QByteArray bytes = file.read(MaxValueBytes);
    file.close();
    *value = firstLine(bytes);
    return result;
}

bool writeValue(const QString &path, const QString &value, QString *error)
{
    QFile file(path);
    if (!file.exists()) {
        *error = QStringLiteral("檔案不存在");
        return false;
    }
    if (!isUsable(path, error) ||
        !openRegular(file, path, QIODevice::WriteOnly | QIODevice::Truncate, false, error))
        return false;
    const QByteArray bytes = value.toLocal8Bit();
    const bool ok = file.write(bytes) == bytes.size() && file.flush();
    if (!ok)
        *error = file.errorString();
    file.close();
    return ok;
}

} // namespace SettingsFile
