#include "images.h"

#include "console.h"
#include "exitcode.h"

#include "core/chiptable.h"
#include "core/imagefile.h"
#include "core/intelhex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace
{

constexpr qint64 ReadHexLimit = 1024 * 1024; // a HEX file for 4999 bytes is about 14 KB

// A path as the user is shown it: with the platform's separators.
QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

int readHex(Console &console, const QString &path, int limit, const QString &limitName,
            QByteArray *image)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        console.error(QStringLiteral("%1: cannot read: %2").arg(shown(path), file.errorString()));
        return Usage;
    }
    if (file.size() > ReadHexLimit) {
        console.error(QStringLiteral("%1: %2 bytes is far too long for a HEX image of this "
                                     "programmer")
                          .arg(shown(path), QString::number(file.size())));
        return Usage;
    }
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        console.error(QStringLiteral("%1: cannot read: %2").arg(shown(path), file.errorString()));
        return Usage;
    }
    const IntelHex::ParseResult hex = IntelHex::Parse(text, limit, limitName);
    if (!hex.ok) {
        console.error(QStringLiteral("%1: %2").arg(shown(path), hex.error));
        return Usage;
    }
    *image = hex.image;
    return Success;
}

int readRaw(Console &console, const QString &path, int limit, const QString &limitName,
            QByteArray *image)
{
    const ImageFile::ReadResult raw = ImageFile::ReadWholeFile(path);
    QString why;
    switch (raw.status) {
    case ImageFile::ReadResult::Ok:
        break;
    case ImageFile::ReadResult::Missing:
        why = QStringLiteral("no such file");
        break;
    case ImageFile::ReadResult::NotAFile:
        why = QStringLiteral("not a file");
        break;
    case ImageFile::ReadResult::Unreadable:
        why = QStringLiteral("cannot read: %1").arg(raw.error);
        break;
    case ImageFile::ReadResult::TooLarge:
        why = QStringLiteral("%1 bytes, more than %2")
                  .arg(raw.ImageSize)
                  .arg(Images::bufferLimitName());
        break;
    }
    if (why.isEmpty() && raw.ImageBytes.size() > limit)
        why = QStringLiteral("%1 bytes, more than %2").arg(raw.ImageBytes.size()).arg(limitName);
    if (!why.isEmpty()) {
        console.error(QStringLiteral("%1: %2").arg(shown(path), why));
        return Usage;
    }
    *image = raw.ImageBytes;
    return Success;
}

} // namespace

namespace Images
{

int read(Console &console, const QString &path, int limit, const QString &limitName,
         QByteArray *image)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        console.error(QStringLiteral("%1: no such file").arg(shown(path)));
        return Usage;
    }
    if (!info.isFile()) {
        console.error(QStringLiteral("%1: not a file").arg(shown(path)));
        return Usage;
    }
    return IntelHex::IsHexFileName(path) ? readHex(console, path, limit, limitName, image)
                                         : readRaw(console, path, limit, limitName, image);
}

int checkOutput(Console &console, const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        console.error(QStringLiteral("%1: is a directory").arg(shown(path)));
        return Usage;
    }
    if (!info.absoluteDir().exists()) {
        console.error(QStringLiteral("%1: cannot write there").arg(shown(path)));
        return Usage;
    }
    return Success;
}

int write(Console &console, const QString &path, const QByteArray &image)
{
    const QByteArray content = IntelHex::IsHexFileName(path) ? IntelHex::Format(image) : image;
    QString why;
    if (!ImageFile::WriteWholeFile(path, content, &why)) {
        console.error(QStringLiteral("%1: cannot write: %2").arg(shown(path), why));
        return Usage;
    }
    console.status(QStringLiteral("wrote %1 byte%2 to %3")
                       .arg(image.size())
                       .arg(image.size() == 1 ? "" : "s", shown(path)));
    return Success;
}

QString chipLimitName(int chip)
{
    const Chip &c = ChipTable::chip(chip);
    return QStringLiteral("the %1's %2 bytes of flash")
        .arg(QLatin1String(c.caption))
        .arg(c.flashSize);
}

QString bufferLimitName()
{
    return QStringLiteral("the programmer's %1-byte buffer").arg(ImageFile::MaxImageSize);
}

int size(Console &console, const QString &text, int chip, int *bytes)
{
    const QString t = text.trimmed().toUpper();
    if (t.isEmpty()) {
        if (chip < 0) {
            console.error(QStringLiteral("give --size 1K, 2K or 4K"));
            console.error(QStringLiteral("see vantor-cli --help"));
            return Usage;
        }
        *bytes = ChipTable::chip(chip).flashSize;
        return Success;
    }
    for (const int n : {1024, 2048, 4096}) {
        if (t == QStringLiteral("%1K").arg(n / 1024) || t == QString::number(n)) {
            *bytes = n;
            return Success;
        }
    }
    console.error(QStringLiteral("unknown size \"%1\": use 1K, 2K or 4K").arg(text));
    console.error(QStringLiteral("see vantor-cli --help"));
    return Usage;
}

} // namespace Images
