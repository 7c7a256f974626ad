#include "settingsfile.h"

#include "core/fileerror.h"

#include <QDir>
#include <QFile>

#include <cerrno>

namespace SettingsFile
{

namespace
{
// A settings file is one short line; anything past this is ignored.
constexpr qint64 MaxValueBytes = 64 * 1024;
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

ReadResult readValue(const QString &path, QString *value, FileError *error)
{
    value->clear();
    QFile file(path);
    ReadResult result = ReadResult::Ok;
    if (!file.exists()) {
        if (!openRegularFile(file, path, QIODevice::WriteOnly, true, error))
            return ReadResult::Failed;
        file.close();
        result = ReadResult::CreatedEmpty;
    }
    if (!openRegularFile(file, path, QIODevice::ReadOnly, false, error))
        return ReadResult::Failed;
    const QByteArray bytes = file.read(MaxValueBytes);
    file.close();
    *value = firstLine(bytes);
    return result;
}

bool writeValue(const QString &path, const QString &value, FileError *error)
{
    QFile file(path);
    if (!openRegularFile(file, path, QIODevice::WriteOnly | QIODevice::Truncate, false, error))
        return false;
    const QByteArray bytes = value.toLocal8Bit();
    errno = 0;
    const bool ok = file.write(bytes) == bytes.size() && file.flush();
    if (!ok)
        *error = FileError::fromErrno(errno, path);
    file.close();
    return ok;
}

} // namespace SettingsFile
