#include "settingsfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

ReadResult readValue(const QString &path, QString *value, QString *error)
{
    value->clear();
    QFile file(path);
    if (QFileInfo(path).isDir()) {
        *error = QStringLiteral("是一個資料夾");
        return ReadResult::Failed;
    }
    ReadResult result = ReadResult::Ok;
    if (!file.exists()) {
        if (!file.open(QIODevice::WriteOnly)) {
            *error = file.errorString();
            return ReadResult::Failed;
        }
        file.close();
        result = ReadResult::CreatedEmpty;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return ReadResult::Failed;
    }
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
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = file.errorString();
        return false;
    }
    const QByteArray bytes = value.toLocal8Bit();
    const bool ok = file.write(bytes) == bytes.size() && file.flush();
    if (!ok)
        *error = file.errorString();
    file.close();
    return ok;
}

} // namespace SettingsFile
