#include "fileerror.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <iterator>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{

using Cause = FileError::Cause;

struct Wording {
    Cause cause;
    const char *chinese; // UTF-8
    const char *english;
};

// Other's words take the error number; with no number the cause is unknown.
const Wording Words[] = {
    {Cause::PermissionDenied, "沒有存取權限", "permission denied"},
    {Cause::NoSuchFile, "檔案不存在", "no such file"},
    {Cause::NoSuchFolder, "資料夾不存在", "no such folder"},
    {Cause::IsAFolder, "這是資料夾，不是檔案", "a folder, not a file"},
    {Cause::NotAFolder, "路徑中有一層不是資料夾", "a part of the path is not a folder"},
    {Cause::NotRegular, "不是一般檔案", "not a regular file"},
    {Cause::DiskFull, "磁碟已滿", "disk full"},
    {Cause::ReadOnlyFileSystem, "唯讀的檔案系統", "read-only file system"},
    {Cause::FileTooLarge, "檔案太大", "file too large"},
    {Cause::Other, "系統錯誤 %1", "system error %1"},
};

struct Number {
    int number;
    Cause cause;
};

const Number Numbers[] = {
    {EACCES, Cause::PermissionDenied},
    {EPERM, Cause::PermissionDenied},
    {ENOENT, Cause::NoSuchFile},
    {EISDIR, Cause::IsAFolder},
    {ENOTDIR, Cause::NotAFolder},
    {ENXIO, Cause::NotRegular}, // a FIFO without a reader, a device without its hardware
    {ENOSPC, Cause::DiskFull},
#ifdef EDQUOT
    {EDQUOT, Cause::DiskFull}, // the user's share of the disk
#endif
    {EROFS, Cause::ReadOnlyFileSystem},
    {EFBIG, Cause::FileTooLarge},
};

const Wording &wordingOf(Cause cause)
{
    for (const Wording &w : Words) {
        if (w.cause == cause)
            return w;
    }
    return Words[std::size(Words) - 1];
}

// The words for cause in one language (a member of Wording), with Other's number.
QString wordsFor(Cause cause, int number, const char *Wording::*language)
{
    static const Wording Unknown = {Cause::Other, "未知的錯誤", "unknown error"};
    if (cause == Cause::None)
        return QString();
    if (cause == Cause::Other && number == 0)
        return QString::fromUtf8(Unknown.*language);
    const QString words = QString::fromUtf8(wordingOf(cause).*language);
    return cause == Cause::Other ? words.arg(number) : words;
}

// The folder that a file at path would be in, when it is missing or is not a folder.
FileError folderProblem(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (QFileInfo(folder).isDir())
        return FileError();
    // The nearest part of the path that exists decides: a file there, or a folder below
    // which a part is missing.
    for (QString part = folder;;) {
        const QFileInfo info(part);
        if (info.exists())
            return FileError(info.isDir() ? Cause::NoSuchFolder : Cause::NotAFolder);
        const QString up = info.absolutePath();
        if (up == part)
            return FileError(Cause::NoSuchFolder);
        part = up;
    }
}

} // namespace

FileError FileError::fromErrno(int number, const QString &path)
{
    for (const Number &n : Numbers) {
        if (n.number != number)
            continue;
        if (n.cause == Cause::NoSuchFile && !path.isEmpty()) {
            const FileError folder = folderProblem(path);
            if (!folder.isNone())
                return folder;
        }
        return FileError(n.cause);
    }
    return FileError(Cause::Other, number);
}

FileError FileError::ofWrite(const QString &path, int number)
{
    const QFileInfo info(path);
    if (info.isDir())
        return FileError(Cause::IsAFolder);
    const FileError folder = folderProblem(path);
    if (!folder.isNone())
        return folder;
#ifdef Q_OS_UNIX
    // An existing file, or else its folder, that may not be written: the writer refuses
    // these after its own check, without an error number that says so.
    const QString target = info.exists() ? path : info.absolutePath();
    if (::access(QFile::encodeName(target).constData(), W_OK) != 0)
        return fromErrno(errno, path);
#endif
    return fromErrno(number, path);
}

QString FileError::chinese() const
{
    return wordsFor(m_cause, m_number, &Wording::chinese);
}

QString FileError::english() const
{
    return wordsFor(m_cause, m_number, &Wording::english);
}

#ifdef Q_OS_UNIX
bool openRegularFile(QFile &file, const QString &path, QIODevice::OpenMode mode, bool create,
                     FileError *error)
{
    int flags = (mode & QIODevice::WriteOnly) ? O_WRONLY : O_RDONLY;
    flags |= O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (create ? O_CREAT : 0);
    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    do {
        fd = ::open(name.constData(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *error = FileError::fromErrno(errno, path);
        return false;
    }
    struct stat st {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = FileError(S_ISDIR(st.st_mode) ? Cause::IsAFolder : Cause::NotRegular);
        ::close(fd);
        return false;
    }
    if ((mode & QIODevice::Truncate) && ::ftruncate(fd, 0) != 0) {
        *error = FileError::fromErrno(errno, path);
        ::close(fd);
        return false;
    }
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        *error = FileError(Cause::Other);
        ::close(fd);
        return false;
    }
    return true;
}
#else
bool openRegularFile(QFile &file, const QString &path, QIODevice::OpenMode mode, bool create,
                     FileError *error)
{
    const QFileInfo info(path);
    if (info.isDir() || (info.exists() && !info.isFile())) {
        *error = FileError(info.isDir() ? Cause::IsAFolder : Cause::NotRegular);
        return false;
    }
    if (!info.exists() && !create) {
        *error = FileError::fromErrno(ENOENT, path);
        return false;
    }
    file.setFileName(path);
    if (!file.open(mode)) {
        *error = FileError(Cause::Other);
        return false;
    }
    return true;
}
#endif
