#include "options.h"

#include "core/chiptable.h"

#include <QCommandLineParser>

namespace
{

constexpr int MaxSettleMs = 60000;
constexpr int MaxTimeoutSeconds = 600;
constexpr int MaxRetries = 9;

const char *const HelpText = R"(Usage: vantor-cli [options] COMMAND [ARGUMENTS]

Drives the USB_Vantor programmer from the command line, with the same link code as the
usb-vantor window.

Commands:
  ports                 list the serial ports searched and which one answers "i"
  chip 2051|4051|1051U  tell the programmer the chip (remembered in ./chip.log)
  load FILE             load an image into the programmer's SRAM ("L")
  express FILE          load, erase, program and verify in one step ("Q")
  write FILE            load the image padded with FF to the chip, erase, program, read
                        the whole chip back and compare it with the image and blank flash
  verify FILE           read the whole chip back and compare it with the image
  read FILE [--size S]  read the chip into the SRAM and save the SRAM to FILE
  save FILE [--size S]  save the SRAM to FILE ("S1", "S2", "S4")
  program               program the chip from the SRAM ("P")
  erase | blank | sig | lock
                        erase the chip, blank check, signature, set the lock bits
  dump ADDR             show 64 bytes of the SRAM from ADDR (0000 to 0FFF)
  fill BYTE             fill the SRAM with BYTE (00 to FF)
  clear | checksum      clear the SRAM, SRAM checksum
  test sram|led|buzzer|vpp|vpp-high|vpp-low|firmware
                        hardware diagnostics
  version               the programmer's identification ("i")
  convert IN OUT [--size S]
                        convert an image: Intel HEX or raw in, raw (.tsk, .bin) or
                        Intel HEX (.hex, .ihx) out; --size pads with FF

Options:
  --port DEVICE | --ports LIST | --simulate
                        the programmer's port, the window's COM1, COM2, ... list, or the
                        emulator vantor-sim; otherwise COM1 to COM11 are searched
  --chip 2051|4051|1051U
                        the chip for this run alone (otherwise the one in ./chip.log);
                        the programmer's key cannot change it
  --size S              the block size of save, read and convert
  --settle MS           a command is done once its reply has started and the line has
                        then been quiet this long (default 100)
  --timeout SECONDS     a chip operation may take this long (a slow firmware); by default
                        the chips' own times at the chip's size (programming a 2051: 4.6 s)
  --fail-on REGEX       a reply line matching REGEX counts as the programmer saying no
  --repeat              write: one chip after another, each after the programmer's key
                        or Enter; Ctrl+C (after the chip under way) or the end of input
                        ends with a summary
  --log FILE            write: append a CSV line for each chip (time, chip, image
                        checksum, result, first differing address, attempt)
  --lock                write: lock each chip once it verifies, then confirm that it can
                        no longer be read; a chip whose lock is not confirmed fails
  --retry N             write: erase and write a failed chip again, up to N more times
  --signal              write: the programmer's LED test ("tL") after a chip that passed,
                        its buzzer test ("tb") after one that failed
  --no-color            PASS and FAIL on a terminal without colour (also NO_COLOR)
  --watch               write: write the chip again whenever FILE changes and has then
                        stayed unchanged for 300 ms; Ctrl+C ends
  --json                standard output as one JSON object a line for each event
  -q, --quiet           no status lines and no progress
  -h, --help            this help;  --version  the tool's version

Images: a file whose content is Intel HEX is read as Intel HEX, anything else as raw
bytes; save writes Intel HEX to *.hex, *.ihx and *.ihex. S: 1K, 2K or 4K (default: the
chip's size).

Exit codes: 0 success; 1 no answer, a transfer cut short, a chip that could not be read
or differs from the image, or a reply line matching --fail-on; 2 usage error or bad file
(an empty image too); 3 no programmer (none found, or it went away); 130 stopped by Ctrl+C.
)";

QCommandLineOption option(const QStringList &names, const char *help, const char *value = nullptr)
{
    return value ? QCommandLineOption(names, QString::fromLatin1(help), QString::fromLatin1(value))
                 : QCommandLineOption(names, QString::fromLatin1(help));
}

bool choosePorts(const QCommandLineParser &parser, Options *options, QString *error)
{
    const bool one = parser.isSet(QStringLiteral("port"));
    const bool list = parser.isSet(QStringLiteral("ports"));
    const bool simulate = parser.isSet(QStringLiteral("simulate"));
    if (int(one) + int(list) + int(simulate) > 1) {
        *error = QStringLiteral("give only one of --port, --ports and --simulate");
        return false;
    }
    if (one) {
        options->ports = Options::Ports::One;
        options->portValue = parser.value(QStringLiteral("port"));
        if (options->portValue.trimmed().isEmpty()) {
            *error = QStringLiteral("--port needs a device");
            return false;
        }
    } else if (list) {
        options->ports = Options::Ports::List;
        options->portValue = parser.value(QStringLiteral("ports"));
    } else if (simulate) {
        options->ports = Options::Ports::Simulate;
    }
    return true;
}

bool readCommand(const QCommandLineParser &parser, Options *options, QString *error)
{
    options->chip = parser.value(QStringLiteral("chip"));
    if (parser.isSet(QStringLiteral("chip")) && ChipTable::byName(options->chip) < 0) {
        *error = QStringLiteral("unknown chip \"%1\": use 2051, 4051 or 1051U").arg(options->chip);
        return false;
    }
    options->size = parser.value(QStringLiteral("size"));
    options->sizeGiven = parser.isSet(QStringLiteral("size"));
    options->quiet = parser.isSet(QStringLiteral("quiet"));
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

bool readProduction(const QCommandLineParser &parser, Options *options, QString *error)
{
    options->repeat = parser.isSet(QStringLiteral("repeat"));
    options->logPath = parser.value(QStringLiteral("log"));
    const bool logged = parser.isSet(QStringLiteral("log"));
    if ((options->repeat || logged) && options->command != QLatin1String("write")) {
        *error = QStringLiteral("--repeat and --log are for write");
        return false;
    }
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
    parser.addOptions({
        option({"h", "help"}, "Show this help."),
        option({"version"}, "Show the program's version."),
        option({"port"}, "Use DEVICE as the only port (COM1).", "DEVICE"),
        option({"ports"}, "Devices of COM1, COM2, ... as in the window.", "LIST"),
        option({"simulate"}, "Start the emulator vantor-sim and use it."),
        option({"chip"}, "The chip for this run: 2051, 4051 or 1051U.", "NAME"),
        option({"size"}, "Block size for save, read, convert: 1K, 2K, 4K.", "SIZE"),
        option({"q", "quiet"}, "No status lines and no progress."),
        option({"settle"}, "Quiet time that ends a reply.", "MS"),
        option({"timeout"}, "The longest a chip operation may take.", "SECONDS"),
        option({"fail-on"}, "Reply lines that say no.", "REGEX"),
        option({"json"}, "JSON events on standard output."),
        option({"log"}, "CSV log of the chips written.", "FILE"),
        option({"repeat"}, "Write one chip after another."),
        option({"lock"}, "Lock each chip after it verifies."),
        option({"retry"}, "Write a failed chip again up to N times.", "N"),
        option({"signal"}, "The programmer's LED or buzzer for each result."),
        option({"no-color"}, "PASS and FAIL without colour."),
        option({"watch"}, "Write the chip whenever the file changes."),
    });
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
        !readCommand(parser, options, error) || !readProduction(parser, options, error) ||
        !readChipCycle(parser, options, error))
        return ParseOutcome::Error;
    return ParseOutcome::Run;
}

QString helpText()
{
    return QString::fromUtf8(HelpText);
}
