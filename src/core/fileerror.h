#pragma once

#include <QIODevice>
#include <QString>

class QFile;

// Why a file could not be read or written, worded from one table: in Traditional Chinese
// for the window, in English for the command-line tool. The cause comes from the system's
// error number (errno), or from what the path turns out to be.
class FileError
{
public:
    enum class Cause {
        None,
        PermissionDenied,
        NoSuchFile,
        NoSuchFolder, // the folder the file would be in
        IsAFolder,    // a folder where a file was expected
        NotAFolder,   // a file (not a folder) on the way to the path
        NotRegular,   // a FIFO, a device or a socket
        DiskFull,
        ReadOnlyFileSystem,
        FileTooLarge,
        Other, // number: the system's error number, 0 when there is none
    };

    FileError() = default;
    explicit FileError(Cause cause, int number = 0) : m_cause(cause), m_number(number) {}

    // The cause of an error number. With a path, a missing file tells a missing folder
    // from a missing file.
    static FileError fromErrno(int number, const QString &path = QString());
    // What keeps a file at path from being created or replaced, found by looking at the
    // path and asking the system; number is the error the write itself met, the cause
    // when the path shows none.
    static FileError ofWrite(const QString &path, int number);

    Cause cause() const { return m_cause; }
    int number() const { return m_number; }
    bool isNone() const { return m_cause == Cause::None; }
    QString chinese() const;
    QString english() const;

private:
    Cause m_cause = Cause::None;
    int m_number = 0;
};

// Opens path, which must be a regular file (or a link to one), for mode; create makes a
// missing one. The open never waits (a FIFO's other end, a device's carrier), and the
// opened file's type is checked, so a file swapped for a FIFO after a check is refused
// too. On failure *error says why.
bool openRegularFile(QFile &file, const QString &path, QIODevice::OpenMode mode, bool create,
                     FileError *error);
