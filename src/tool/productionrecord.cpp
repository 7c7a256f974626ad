#include "productionrecord.h"

#include "exitcode.h"
#include "tool.h"

#include "core/chiptable.h"
#include "core/imagefile.h"
#include "core/portinfo.h"
#include "core/session.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace
{

const QStringList LogHeader{"time",
                            "station",
                            "port",
                            "programmer",
                            "usb_serial",
                            "chip",
                            "image",
                            "sha256",
                            "sum",
                            "serial",
                            "attempt",
                            "result",
                            "first_difference",
                            "duration_ms",
                            "lot",
                            "operator"};

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The USB serial number of the adapter behind device, when the system knows one.
QString usbSerial(const QString &device)
{
    const auto ports = systemPorts();
    for (const PortInfo &port : ports) {
        if (sameDevice(port.device, device))
            return port.serialNumber;
    }
    return QString();
}

} // namespace

RunRecord::RunRecord(Tool &tool, const QByteArray &image, const QString &path)
    : m_tool(tool), m_image(image), m_path(path)
{
}

int RunRecord::open()
{
    const int rc = openLog();
    return rc != Success ? rc : openSerials();
}

int RunRecord::openLog()
{
    const QString &path = m_tool.options.logPath;
    if (path.isEmpty() || m_log.open(path, LogHeader))
        return Success;
    m_tool.console.error(
        QStringLiteral("%1: cannot write the log: %2").arg(native(path), m_log.errorString()));
    return m_log.isOpen() ? Failed : Usage; // a full disk, or no such file to be had
}

int RunRecord::openSerials()
{
    const Options &o = m_tool.options;
    if (!o.serial)
        return Success;
    const Chip &chip = ChipTable::chip(m_tool.link.expectedChip());
    const SerialPlace place = SerialPlace::check(m_image, chip.flashSize, o.serial->address,
                                                 o.serialFormat->width(), !o.serialOverwrite);
    if (place.problem == SerialPlace::OutsideChip)
        return m_tool.usage(QStringLiteral("--serial: %1 bytes at 0x%2 lie outside the %3's %4")
                                .arg(o.serialFormat->width())
                                .arg(hexText(o.serial->address, 4), chip.caption)
                                .arg(chip.flashSize));
    if (place.problem == SerialPlace::NotBlank)
        return m_tool.usage(QStringLiteral("--serial: the image holds 0x%1 at 0x%2, not FF, where "
                                           "the serial number goes; --serial-overwrite writes "
                                           "over it")
                                .arg(hexText(place.value, 2), hexText(place.address, 4)));
    const QString state =
        o.serialState.isEmpty() ? m_path + QStringLiteral(".serial") : o.serialState;
    m_counter = std::make_unique<SerialCounter>(state);
    const SerialCounter::Status status = m_counter->open(o.serial->first, o.serial->step);
    if (status == SerialCounter::Status::Held) {
        const SerialCounter::Holder h = m_counter->holder();
        m_tool.console.error(QStringLiteral("%1: in use by another run (pid %2 on %3, %4); its "
                                            "numbers are handed out by one run at a time")
                                 .arg(native(state))
                                 .arg(h.pid)
                                 .arg(h.host, h.application));
        return Usage;
    }
    if (status == SerialCounter::Status::Failed) {
        m_tool.console.error(QStringLiteral("%1: cannot keep serial numbers in it: %2")
                                 .arg(native(state), m_counter->errorString()));
        return Usage;
    }
    m_tool.console.status(QStringLiteral("serial numbers from %1%2")
                              .arg(m_counter->peek())
                              .arg(m_counter->resumed()
                                       ? QStringLiteral(", as %1 keeps").arg(native(state))
                                       : QString()));
    return numberFits(m_tool.console) ? Success : Usage;
}

bool RunRecord::numberFits(Console &console)
{
    const quint64 number = m_counter->peek();
    if (number <= m_tool.options.serialFormat->largest())
        return true;
    console.error(QStringLiteral("serial number %1 does not fit %2 (at most %3); no chip "
                                 "was programmed with it")
                      .arg(number)
                      .arg(m_tool.options.serialFormatName)
                      .arg(m_tool.options.serialFormat->largest()));
    return false;
}

int RunRecord::beginChip(const Programmer &p, ChipRecord *chip, QByteArray *chipImage)
{
    chip->time.start();
    chip->number.reset();
    *chipImage = m_image;
    if (!m_counter)
        return Success;
    if (!numberFits(p.console))
        return Usage;
    chip->number = m_counter->take();
    const Options &o = m_tool.options;
    *chipImage = withSerial(m_image, o.serial->address, o.serialFormat->bytes(*chip->number));
    p.console.status(QStringLiteral("serial number %1").arg(*chip->number));
    return Success;
}

int RunRecord::logAttempt(const Programmer &p, const ChipRecord &chip, const ChipResult &result)
{
    if (m_tool.options.logPath.isEmpty() || m_log.append(logLine(p, chip, result)))
        return Success;
    p.console.error(QStringLiteral("%1: cannot write the log: %2")
                        .arg(native(m_tool.options.logPath), m_log.errorString()));
    return Failed;
}

int RunRecord::endChip(const Programmer &p, ChipRecord *chip, const ChipResult &result)
{
    int rc = Success;
    if (chip->number && result.code != Success) {
        m_counter->failed(*chip->number);
    } else if (chip->number && !m_counter->passed(*chip->number)) {
        p.console.error(
            QStringLiteral("cannot keep the next serial number: %1").arg(m_counter->errorString()));
        rc = Failed;
    }
    if (logAttempt(p, *chip, result) != Success)
        rc = Failed;
    chip->number.reset();
    return rc;
}

QStringList RunRecord::logLine(const Programmer &p, const ChipRecord &chip,
                               const ChipResult &result)
{
    ProgrammerSession &session = p.link.session();
    const QString device = p.link.ports().device(session.port());
    if (!m_usbSerials.contains(device))
        m_usbSerials.insert(device, usbSerial(device));
    const int chipType = session.chip();
    const QDateTime now = QDateTime::currentDateTime();
    return {
        now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate),
        QString::number(qMax(1, p.station)),
        device,
        p.link.identity().simplified(),
        m_usbSerials.value(device),
        chipType >= 0 ? QString::fromLatin1(ChipTable::chip(chipType).caption) : QString(),
        QFileInfo(m_path).fileName(),
        QString::fromLatin1(QCryptographicHash::hash(m_image, QCryptographicHash::Sha256).toHex()),
        hexText(ImageFile::checksum(m_image), 4),
        chip.number ? QString::number(*chip.number) : QString(),
        QString::number(result.attempt),
        result.code == Success ? QStringLiteral("passed") : QStringLiteral("failed"),
        result.firstDifference >= 0 ? QStringLiteral("0x") + hexText(result.firstDifference, 4)
                                    : QString(),
        QString::number(chip.time.elapsed()),
        m_tool.options.lot,
        m_tool.options.operatorName};
}
