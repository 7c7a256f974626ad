// load FILE and express FILE: an image into the SRAM ("L"), or loaded, erased, programmed
// and verified by the programmer in one step ("Q").
#include "commands.h"
#include "exitcode.h"
#include "images.h"
#include "replyrules.h"
#include "tool.h"

#include "core/bufferlimits.h"
#include "core/chiptable.h"
#include "core/session.h"

int loadCommand(Tool &tool, const QStringList &args)
{
    const QString &path = args.at(0);
    QByteArray image;
    int rc = tool.readImage(path, BufferLimits::MaxImageSize, Images::bufferLimitName(), &image);
    if (rc == Success)
        rc = tool.connect();
    return rc != Success
               ? rc
               : tool.link.sendImage(ImageCommand::Load, image, path, ReplyRules::quick(false));
}

int expressCommand(Tool &tool, const QStringList &args)
{
    const QString &path = args.at(0);
    QByteArray image;
    int rc = tool.readChipImage(path, &image);
    if (rc == Success)
        rc = tool.connect();
    if (rc != Success)
        return rc;
    if (!tool.chipTakes(static_cast<int>(image.size()))) {
        tool.console.error(QStringLiteral("the programmer now has another chip; nothing sent"));
        return Usage;
    }
    return tool.link.sendImage(ImageCommand::Express, image, path, ReplyRules::chipOperation());
}
