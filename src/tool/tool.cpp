#include "tool.h"

#include "exitcode.h"
#include "images.h"
#include "stations.h"

#include "core/chiptable.h"
#include "core/logging.h"
#include "core/session.h"

#include <QDir>
#include <cstdlib>

Tool::Tool(const Options &given) : options(given)
{
    console.setQuiet(options.quiet);
    console.setJson(options.json);
    if (options.verbose)
        WireLog::enable();
    interrupt.setHandler([this] { stopNow(); });
}

void Tool::stopNow()
{
    console.error(link.whatWasInterrupted());
    link.close();
    console.done(Interrupted);
    std::exit(Interrupted);
}

int Tool::usage(const QString &why)
{
    console.error(why);
    console.error(QStringLiteral("see vantor-cli --help"));
    return Usage;
}

int Tool::prepare(bool remember)
{
    if (m_prepared)
        return Success;
    m_prepared = true;
    if (const int rc = findAdapter(); rc != Success)
        return rc;
    return link.prepare(remember);
}

int Tool::findAdapter()
{
    if (options.usbSerials.isEmpty() && !options.usb)
        return Success;
    StationPort station;
    QString why;
    const int rc = chooseOneStation(options, systemPorts(), &station, &why);
    if (rc == Usage)
        return usage(why);
    if (rc != Success) {
        console.error(why);
        return rc;
    }
    usePort(station);
    return Success;
}

void Tool::usePort(const StationPort &port)
{
    options.ports = port.source;
    options.portValue = port.value;
    options.usbSerials.clear();
    options.usb.reset();
}

int Tool::connect(Replies chipReplies)
{
    const int rc = prepare(true);
    return rc != Success ? rc : link.connect(chipReplies);
}

int Tool::needChip(int *chip)
{
    if (const int rc = prepare(true); rc != Success)
        return rc;
    *chip = link.expectedChip();
    if (*chip >= 0)
        return Success;
    console.error(QStringLiteral("chip.log names \"%1\", which is none of 2051, 4051 and "
                                 "1051U: give --chip or run \"vantor-cli chip NAME\"")
                      .arg(link.rememberedChip()));
    return Usage;
}

int Tool::readImage(const QString &path, int limit, const QString &limitName, QByteArray *image)
{
    if (const int rc = Images::read(console, path, limit, limitName, image); rc != Success)
        return rc;
    if (!image->isEmpty())
        return Success;
    console.error(QStringLiteral("%1: the image is empty").arg(QDir::toNativeSeparators(path)));
    return Usage;
}

int Tool::readChipImage(const QString &path, QByteArray *image)
{
    int chip = -1;
    const int rc = needChip(&chip);
    return rc != Success ? rc
                         : readImage(path, ChipTable::chip(chip).flashSize,
                                     Images::chipLimitName(chip), image);
}

bool Tool::chipTakes(int bytes)
{
    return link.chipTakes(bytes);
}
