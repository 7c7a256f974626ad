#include "images.h"

#include "console.h"
#include "exitcode.h"

#include "core/chiptable.h"
#include "core/imagefile.h"
#include "core/intelhex.h"

#include <QDir>
#include <QFileInfo>

namespace
{

// A path as the user is shown it: with the platform's separators.
QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString refusal(const ImageFile::ReadResult &r, const QString &limitName)
{
    switch (r.status) {
    case ImageFile::ReadResult::Ok:
        break;
    case ImageFile::ReadResult::Unreadable:
        return r.error.english();
    case ImageFile::ReadResult::TooLarge:
        return QStringLiteral("%1%2 bytes, more than %3")
            .arg(r.hex ? QStringLiteral("an Intel HEX image of ") : QString(),
                 QString::number(r.imageSize), limitName);
    case ImageFile::ReadResult::HexError:
        return r.hexFile.error;
    }
    return QString();
}

} // namespace

namespace Images
{

int read(Console &console, const QString &path, int limit, const QString &limitName,
         QByteArray *image)
{
    const ImageFile::ReadResult r = ImageFile::readImage(path, limit);
    if (r.status != ImageFile::ReadResult::Ok) {
        console.error(QStringLiteral("%1: %2").arg(shown(path), refusal(r, limitName)));
        return Usage;
    }
    *image = r.imageBytes;
    return Success;
}

int checkOutput(Console &console, const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        console.error(QStringLiteral("%1: is a directory").arg(shown(path)));
        return Usage;
    }
    if (!info.absoluteDir().exists()) {
        console.error(QStringLiteral("%1: cannot write: %2")
                          .arg(shown(path), FileError::ofWrite(path, 0).english()));
        return Usage;
    }
    return Success;
}

int write(Console &console, const QString &path, const QByteArray &image)
{
    const QByteArray content = IntelHex::isHexFileName(path) ? IntelHex::format(image) : image;
    FileError why;
    if (!ImageFile::writeWholeFile(path, content, &why)) {
        console.error(QStringLiteral("%1: cannot write: %2").arg(shown(path), why.english()));
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
    for (const Chip &c : ChipTable::chips()) {
        const int n = c.flashSize;
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
