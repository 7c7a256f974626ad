#include "options.h"

#include "help.h"

#include "core/chiptable.h"

#include <QCommandLineParser>

namespace
{

constexpr int MaxSettleMs = 60000;
constexpr int MaxTimeoutSeconds = 600;
constexpr int MaxRetries = 9;

// The devices named one by one: every --port, then with --all each entry of --ports.
bool readDevices(const QCommandLineParser &parser, Options *options, QString *error)
{
    const QStringList ports = parser.values(QStringLiteral("port"));
    for (const QString &device : ports) {
        if (device.trimmed().isEmpty()) {
            *error = QStringLiteral("--port needs a device");
            return false;
        }
        options->devices << device.trimmed();
    }
    options->allPorts = parser.isSet(QStringLiteral("all"));
    if (options->allPorts && !parser.isSet(QStringLiteral("ports"))) {
        *error = QStringLiteral("--all goes with --ports LIST");
        return false;
    }
    const QStringList entries = parser.value(QStringLiteral("ports")).split(QLatin1Char(','));
    const qsizetype named = options->devices.size();
    for (const QString &entry : entries) {
        if (options->allPorts && !entry.trimmed().isEmpty())
            options->devices << entry.trimmed();
    }
    if (options->allPorts && options->devices.size() == named) {
        *error = QStringLiteral("--ports LIST --all: the list names no device");
        return false;
    }
    for (qsizetype i = 0; i < options->devices.size(); ++i) {
        if (options->devices.indexOf(options->devices.at(i)) < i) {
            *error = QStringLiteral("%1 is named twice").arg(options->devices.at(i));
            return false;
        }
    }
    return true;
}

// The adapters named by what their USB side tells: --usb-serial (each) and --usb.
bool readAdapters(const QCommandLineParser &parser, Options *options, QString *error)
{
    const QStringList serials = parser.values(QStringLiteral("usb-serial"));
    for (const QString &serial : serials) {
        if (serial.trimmed().isEmpty())
            *error = QStringLiteral("--usb-serial needs the adapter's USB serial number");
        else if (options->usbSerials.contains(serial.trimmed(), Qt::CaseInsensitive))
            *error = QStringLiteral("--usb-serial %1 is named twice").arg(serial.trimmed());
        if (!error->isEmpty())
            return false;
        options->usbSerials << serial.trimmed();
    }
    if (parser.values(QStringLiteral("usb")).size() > 1) {
        *error = QStringLiteral("give --usb once");
        return false;
    }
    if (parser.isSet(QStringLiteral("usb"))) {
        options->usb = UsbId::parse(parser.value(QStringLiteral("usb")));
        if (!options->usb) {
            *error = QStringLiteral("--usb takes VID:PID in hex, as vantor-cli ports shows them "
                                    "(0403:6001)");
            return false;
        }
    }
    return true;
}

bool choosePorts(const QCommandLineParser &parser, Options *options, QString *error)
{
    if (!readDevices(parser, options, error) || !readAdapters(parser, options, error))
        return false;
    const bool list = parser.isSet(QStringLiteral("ports")) && !options->allPorts;
    const bool simulate = parser.isSet(QStringLiteral("simulate"));
    const bool named =
        !options->devices.isEmpty() || !options->usbSerials.isEmpty() || options->usb.has_value();
    if (simulate && (named || list))
        *error = QStringLiteral("--simulate is the emulator alone: give no --port, --ports, "
                                "--usb-serial or --usb with it");
    else if (list && named)
        *error = QStringLiteral("--ports without --all is one programmer searched for over the "
                                "list: add --all for a programmer on each entry");
    else if (parser.values(QStringLiteral("ports")).size() > 1)
        *error = QStringLiteral("give --ports once");
    if (!error->isEmpty())
        return false;
    if (simulate)
        options->ports = Options::Ports::Simulate;
    else if (list)
        options->ports = Options::Ports::List;
    else if (named)
        options->ports = Options::Ports::One;
    options->portValue = list ? parser.value(QStringLiteral("ports")) : options->devices.value(0);
    return true;
}

// Several programmers at once are a production run's, write --repeat; one adapter that --usb
// finds works for any command, which the look-up tells (stations.h).
bool checkSeveral(const Options &options, QString *error)
{
    const qsizetype named = options.devices.size() + options.usbSerials.size();
    if (named < 2 || (options.command == QLatin1String("write") && options.repeat))
        return true;
    *error = QStringLiteral("%1 programmers named: only write --repeat drives several at once; %2")
                 .arg(named)
                 .arg(options.command == QLatin1String("write")
                          ? QStringLiteral("add --repeat, or name one")
                          : QStringLiteral("name one for ") + options.command);
    return false;
}

bool readCommandOptions(const QCommandLineParser &parser, Options *options, QString *error)
{
    options->chip = parser.value(QStringLiteral("chip"));
    if (parser.isSet(QStringLiteral("chip")) && ChipTable::byName(options->chip) < 0) {
        *error = QStringLiteral("unknown chip \"%1\": use 2051, 4051 or 1051U").arg(options->chip);
        return false;
    }
    options->size = parser.value(QStringLiteral("size"));
    options->sizeGiven = parser.isSet(QStringLiteral("size"));
    options->quiet = parser.isSet(QStringLiteral("quiet"));
    options->verbose = parser.isSet(QStringLiteral("verbose"));
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        *error = QStringLiteral("no command given");
        return false;
    }
    options->command = positional.first();
    options->args = positional.mid(1);
    const QStringList sized{QStringLiteral("save"), QStringLiteral("read"),
                            QStringLiteral("convert")};
    if (options->sizeGiven && !sized.contains(options->command)) {
        *error = QStringLiteral("--size is for save, read and convert");
        return false;
    }
    return true;
}

bool readJudging(const QCommandLineParser &parser, Options *options, QString *error)
{
    if (parser.isSet(QStringLiteral("settle"))) {
        bool ok = false;
        options->settleMs = parser.value(QStringLiteral("settle")).toInt(&ok);
        if (!ok || options->settleMs < 0 || options->settleMs > MaxSettleMs) {
            *error = QStringLiteral("--settle takes milliseconds from 0 to %1").arg(MaxSettleMs);
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("timeout"))) {
        bool ok = false;
        const double seconds = parser.value(QStringLiteral("timeout")).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > MaxTimeoutSeconds) {
            *error = QStringLiteral("--timeout takes seconds, more than 0 and at most %1")
                         .arg(MaxTimeoutSeconds);
            return false;
        }
        options->operationMs = static_cast<int>(seconds * 1000 + 0.5);
    }
    if (parser.isSet(QStringLiteral("fail-on"))) {
        options->failOn.setPattern(parser.value(QStringLiteral("fail-on")));
        if (!options->failOn.isValid() || options->failOn.pattern().isEmpty()) {
            *error = QStringLiteral("--fail-on: not a regular expression: %1")
                         .arg(options->failOn.errorString());
            return false;
        }
    }
    options->json = parser.isSet(QStringLiteral("json"));
    return true;
}

// --serial and its companions.
bool readSerial(const QCommandLineParser &parser, Options *options, QString *error)
{
    const QString format = parser.value(QStringLiteral("serial-format"));
    options->serialState = parser.value(QStringLiteral("serial-state"));
    options->serialOverwrite = parser.isSet(QStringLiteral("serial-overwrite"));
    if (!parser.isSet(QStringLiteral("serial"))) {
        if (!format.isEmpty() || !options->serialState.isEmpty() || options->serialOverwrite)
            *error = QStringLiteral("--serial-format, --serial-state and --serial-overwrite go "
                                    "with --serial");
        return error->isEmpty();
    }
    options->serial = SerialField::parse(parser.value(QStringLiteral("serial")));
    if (!format.isEmpty())
        options->serialFormatName = format;
    options->serialFormat = SerialFormat::parse(options->serialFormatName);
    if (!options->serial)
        *error = QStringLiteral("--serial takes ADDR:FIRST[:STEP]: the address in hex, the first "
                                "number and the step in decimal");
    else if (!options->serialFormat)
        *error = QStringLiteral("--serial-format: unknown format \"%1\": use be16, be32, le16, "
                                "le32, bcd4, bcd8, ascii:N (1 to 18) or hex:N (1 to 15)")
                     .arg(format);
    return error->isEmpty();
}

bool readProduction(const QCommandLineParser &parser, Options *options, QString *error)
{
    options->repeat = parser.isSet(QStringLiteral("repeat"));
    options->logPath = parser.value(QStringLiteral("log"));
    options->lot = parser.value(QStringLiteral("lot"));
    options->operatorName = parser.value(QStringLiteral("operator"));
    const bool logged = parser.isSet(QStringLiteral("log"));
    const QStringList forWrite{"repeat", "log",           "lot",          "operator",
                               "serial", "serial-format", "serial-state", "serial-overwrite"};
    for (const QString &name : forWrite) {
        if (parser.isSet(name) && options->command != QLatin1String("write")) {
            *error = QStringLiteral("--%1 is for write").arg(name);
            return false;
        }
    }
    if (!readSerial(parser, options, error))
        return false;
    if (logged && options->logPath.trimmed().isEmpty()) {
        *error = QStringLiteral("--log needs a file");
        return false;
    }
    return true;
}

// What each chip of write goes through: the lock, the retries, the verdict, the watch.
bool readChipCycle(const QCommandLineParser &parser, Options *options, QString *error)
{
    options->lock = parser.isSet(QStringLiteral("lock"));
    options->signal = parser.isSet(QStringLiteral("signal"));
    options->noColor = parser.isSet(QStringLiteral("no-color"));
    options->watch = parser.isSet(QStringLiteral("watch"));
    const bool retry = parser.isSet(QStringLiteral("retry"));
    const bool any = options->lock || options->signal || options->watch || retry;
    if (any && options->command != QLatin1String("write")) {
        *error = QStringLiteral("--lock, --retry, --signal and --watch are for write");
        return false;
    }
    if (options->watch && options->repeat) {
        *error = QStringLiteral("give only one of --repeat and --watch");
        return false;
    }
    if (options->watch && (!options->logPath.isEmpty() || options->serial)) {
        *error = QStringLiteral("--watch keeps no log and gives no serial numbers: use --repeat");
        return false;
    }
    bool ok = true;
    options->retries = retry ? parser.value(QStringLiteral("retry")).toInt(&ok) : 0;
    if (!ok || options->retries < 0 || options->retries > MaxRetries) {
        *error = QStringLiteral("--retry takes a number of times from 0 to %1").arg(MaxRetries);
        return false;
    }
    return true;
}

// "fill -1" and "dump -10" look like options to the parser: their value is refused as a
// value, not as an unknown option.
QString signedValueError(const QCommandLineParser &parser, const QStringList &arguments)
{
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return QString();
    const qsizetype at = arguments.lastIndexOf(positional.first());
    const QString value = arguments.value(at + 1);
    if (at < 1 || !value.startsWith(QLatin1Char('-')) || value.startsWith(QLatin1String("--")) ||
        parser.optionNames().contains(value.mid(1)))
        return QString();
    if (positional.first() == QLatin1String("fill"))
        return fillValueError(value);
    if (positional.first() == QLatin1String("dump"))
        return dumpAddressError(value);
    return QString();
}

} // namespace

QString fillValueError(const QString &value)
{
    return QStringLiteral("fill value \"%1\": give two hex digits, 00 to FF").arg(value);
}

QString dumpAddressError(const QString &value)
{
    return QStringLiteral("dump address \"%1\": give hex digits, 0000 to 0FFF").arg(value);
}

ParseOutcome parseOptions(const QStringList &arguments, Options *options, QString *error)
{
    QCommandLineParser parser;
    parser.addOptions(toolOptions());
    if (!parser.parse(arguments)) {
        *error = signedValueError(parser, arguments);
        if (error->isEmpty())
            *error = parser.errorText();
        return ParseOutcome::Error;
    }
    if (parser.isSet(QStringLiteral("help")))
        return ParseOutcome::Help;
    if (parser.isSet(QStringLiteral("version")))
        return ParseOutcome::Version;
    if (!choosePorts(parser, options, error) || !readJudging(parser, options, error) ||
        !readCommandOptions(parser, options, error) || !readProduction(parser, options, error) ||
        !readChipCycle(parser, options, error) || !checkSeveral(*options, error))
        return ParseOutcome::Error;
    return ParseOutcome::Run;
}
