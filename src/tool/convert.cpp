// convert IN OUT: an image from Intel HEX or raw bytes into raw bytes or Intel HEX, by the
// names; no programmer involved.
#include "commands.h"
#include "exitcode.h"
#include "images.h"
#include "tool.h"

#include "core/imagefile.h"

int convertCommand(Tool &tool, const QStringList &args)
{
    int size = 0;
    if (tool.options.sizeGiven) {
        if (const int rc = Images::size(tool.console, tool.options.size, -1, &size); rc != Success)
            return rc;
    }
    const int limit = size > 0 ? size : static_cast<int>(ImageFile::MaxImageSize);
    const QString limitName = size > 0 ? QStringLiteral("the %1-byte size asked for").arg(size)
                                       : Images::bufferLimitName();
    QByteArray image;
    int rc = Images::read(tool.console, args.at(0), limit, limitName, &image);
    if (rc != Success)
        return rc;
    if (size > 0)
        image += QByteArray(size - static_cast<int>(image.size()), char(0xFF));
    rc = Images::checkOutput(tool.console, args.at(1));
    return rc != Success ? rc : Images::write(tool.console, args.at(1), image);
}
