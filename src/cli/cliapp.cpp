#include "cliapp.h"

#include "core/events.h"
#include "core/messages.h"
#include "core/programmer.h"
#include "core/settingsfile.h"
#include "core/imagefile.h"
#include "core/intelhex.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

namespace
{

// Reply time-outs, counted from the moment the command (or the image) has been handed to
// the port.
constexpr int ReplyMs = 5000;     // most commands
constexpr int ProgramMs = 15000;  // programming a whole AT89C4051 takes about 6 s
constexpr int ExpressMs = 20000;  // erase, program and verify after an express image
constexpr int SramTestMs = 10000; // the 8 KiB SRAM test
constexpr int SearchLimitMs = 30000;
constexpr int ReadHexLimit = 1024 * 1024; // a HEX file for 4999 bytes is about 14 KB

// The time bytes take on the line at 9600 baud, 10 bits a byte: an image's reply can
// only come once the port has passed all of it on.
int lineMs(int bytes)
{
    return bytes * 10 * 1000 / 9600 + 1;
}

struct FixedCommand {
    const char *name;
    void (CommandSet::*handler)();
    int lines;
    int timeoutMs;
};

const FixedCommand FixedCommands[] = {
    {"erase", &CommandSet::muIcErase_Click, 1, ReplyMs},
    {"blank", &CommandSet::muIcBlank_Click, 1, ReplyMs},
    {"sig", &CommandSet::muIcSig_Click, 1, ReplyMs},
    {"lock", &CommandSet::muIcLock_Click, 1, ReplyMs},
    {"program", &CommandSet::muIcProg_Click, 1, ProgramMs},
    {"clear", &CommandSet::muProgClear_Click, 1, ReplyMs},
    {"checksum", &CommandSet::muProgSum_Click, 1, ReplyMs},
    {"version", &CommandSet::muAboutVer_Click, 1, ReplyMs},
};

const FixedCommand TestCommands[] = {
    {"sram", &CommandSet::muDiagRAM_Click, 1, SramTestMs},
    {"led", &CommandSet::muDiagLED_Click, 1, ReplyMs},
    {"buzzer", &CommandSet::muDiagBuz_Click, 1, ReplyMs},
    {"vpp", &CommandSet::muDiagVpp_Click, 1, ReplyMs},
    {"vpp-high", &CommandSet::muDiagHi_Click, 1, ReplyMs},
    {"vpp-low", &CommandSet::muDiagLow_Click, 1, ReplyMs},
    {"firmware", &CommandSet::muDiagFirm_Click, 1, ReplyMs},
};

// A reply line that says no: an error, a failed verify, a chip that is not blank, or the
// programmer not knowing the command.
bool isFailureLine(const QString &line)
{
    const QString t = line.trimmed();
    return t.startsWith(QLatin1String("Error")) || t.startsWith(QLatin1String("Verify failed")) ||
           t.startsWith(QLatin1String("Not blank")) || t == QLatin1String("?");
}

// A path as the user is shown it: with the platform's separators.
QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString hex(qint64 value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

// Hexadecimal text of up to maxDigits digits, with or without "0x"; -1 when invalid.
int parseHex(QString text, int maxDigits)
{
    text = text.trimmed();
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        text = text.mid(2);
    if (text.isEmpty() || text.size() > maxDigits)
        return -1;
    bool ok = false;
    const int value = text.toInt(&ok, 16);
    return ok ? value : -1;
}

const char *const HelpText = R"(Usage: vantor-cli [options] COMMAND [ARGUMENTS]

Drives the USB_Vantor programmer from the command line, with the same link code as the
usb-vantor window.

Commands:
  ports                 list the serial ports searched and which one answers "i"
  chip 2051|4051|1051U  tell the programmer the chip (remembered in ./chip.log)
  load FILE             load an image into the programmer's SRAM ("L")
  express FILE          load, erase, program and verify in one step ("Q")
  write FILE            clear the SRAM, load, erase, program, read the chip back and
                        compare it byte for byte with the image
  verify FILE           read the chip back and compare it with the image
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

Images: *.hex, *.ihx and *.ihex are Intel HEX, anything else raw bytes. S: 1K, 2K or 4K
(default: the chip's size).

Exit codes: 0 success; 1 the programmer or the comparison said no; 2 usage error or bad
file; 3 no programmer (none found, or it went away).
)";

} // namespace

CliApp::CliApp()
{
    m_progressTimer.setInterval(100);
    QObject::connect(&m_progressTimer, &QTimer::timeout, [this] {
        if (m_progressDone)
            m_console.progress(m_progressDone());
    });
}

CliApp::~CliApp()
{
    m_p.reset();
    m_simulator.stop();
}

int CliApp::usageError(const QString &why)
{
    m_console.error(why);
    m_console.error(QStringLiteral("see vantor-cli --help"));
    return Usage;
}

int CliApp::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the program's version."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Use DEVICE as the only port (COM1)."),
                                  QStringLiteral("DEVICE"));
    const QCommandLineOption ports(QStringLiteral("ports"),
                                   QStringLiteral("Devices of COM1, COM2, ... as in the window."),
                                   QStringLiteral("LIST"));
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("Start the emulator vantor-sim and use it."));
    const QCommandLineOption chip(QStringLiteral("chip"),
                                  QStringLiteral("The chip for this run: 2051, 4051 or 1051U."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption size(QStringLiteral("size"),
                                  QStringLiteral("Block size for save, read, convert: 1K, 2K, 4K."),
                                  QStringLiteral("SIZE"));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")},
                                   QStringLiteral("No status lines and no progress."));
    parser.addOptions({help, version, port, ports, simulate, chip, size, quiet});
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        m_console.result(QString::fromUtf8(HelpText).trimmed());
        return Success;
    }
    if (parser.isSet(version)) {
        m_console.result(
            QStringLiteral("vantor-cli %1").arg(QCoreApplication::applicationVersion()));
        return Success;
    }
    m_console.setQuiet(parser.isSet(quiet));

    const int portChoices =
        int(parser.isSet(port)) + int(parser.isSet(ports)) + int(parser.isSet(simulate));
    if (portChoices > 1)
        return usageError(QStringLiteral("give only one of --port, --ports and --simulate"));
    if (parser.isSet(port)) {
        if (parser.value(port).trimmed().isEmpty())
            return usageError(QStringLiteral("--port needs a device"));
        m_ports = PortMap::fromDevices({parser.value(port)});
    } else if (parser.isSet(ports)) {
        m_ports = PortMap::fromList(parser.value(ports));
    } else if (!parser.isSet(simulate)) {
        m_ports = PortMap::systemDefault();
    }
    m_simulate = parser.isSet(simulate);

    if (parser.isSet(chip)) {
        m_chipOverride = parser.value(chip);
        bool known = false;
        for (const ChipInfo &c : ChipSelection::Chips)
            known = known || m_chipOverride == QLatin1String(c.name);
        if (!known)
            return usageError(
                QStringLiteral("unknown chip \"%1\": use 2051, 4051 or 1051U").arg(m_chipOverride));
    }
    m_sizeText = parser.value(size);

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(QStringLiteral("no command given"));
    const QString command = positional.first();
    const QStringList args = positional.mid(1);
    if (parser.isSet(size) && command != QLatin1String("save") &&
        command != QLatin1String("read") && command != QLatin1String("convert"))
        return usageError(QStringLiteral("--size is for save, read and convert"));
    return dispatch(command, args);
}

int CliApp::dispatch(const QString &command, const QStringList &args)
{
    auto arity = [&](int n) {
        if (args.size() == n)
            return true;
        usageError(QStringLiteral("%1 takes %2 argument%3, got %4")
                       .arg(command, QString::number(n), n == 1 ? QString() : QStringLiteral("s"),
                            QString::number(args.size())));
        return false;
    };
    const QString c = command;
    if (c == QLatin1String("ports"))
        return arity(0) ? cmdPorts() : Usage;
    if (c == QLatin1String("convert"))
        return arity(2) ? cmdConvert(args.at(0), args.at(1)) : Usage;
    if (c == QLatin1String("chip"))
        return arity(1) ? cmdChip(args.at(0)) : Usage;
    if (c == QLatin1String("load"))
        return arity(1) ? cmdLoad(args.at(0), false) : Usage;
    if (c == QLatin1String("express"))
        return arity(1) ? cmdLoad(args.at(0), true) : Usage;
    if (c == QLatin1String("save"))
        return arity(1) ? cmdSave(args.at(0), false) : Usage;
    if (c == QLatin1String("read"))
        return arity(1) ? cmdSave(args.at(0), true) : Usage;
    if (c == QLatin1String("write"))
        return arity(1) ? cmdWrite(args.at(0), true) : Usage;
    if (c == QLatin1String("verify"))
        return arity(1) ? cmdWrite(args.at(0), false) : Usage;
    if (c == QLatin1String("dump"))
        return arity(1) ? cmdDump(args.at(0)) : Usage;
    if (c == QLatin1String("fill"))
        return arity(1) ? cmdFill(args.at(0)) : Usage;
    for (const FixedCommand &f : FixedCommands) {
        if (c == QLatin1String(f.name)) {
            if (!arity(0))
                return Usage;
            const int rc = connectProgrammer(false);
            return rc != Success ? rc : runFixed(f.handler, f.lines, f.timeoutMs);
        }
    }
    if (c == QLatin1String("test")) {
        if (!arity(1))
            return Usage;
        for (const FixedCommand &f : TestCommands) {
            if (args.at(0) == QLatin1String(f.name)) {
                const int rc = connectProgrammer(false);
                return rc != Success ? rc : runFixed(f.handler, f.lines, f.timeoutMs);
            }
        }
        return usageError(QStringLiteral("unknown test \"%1\": use sram, led, buzzer, vpp, "
                                         "vpp-high, vpp-low or firmware")
                              .arg(args.at(0)));
    }
    return usageError(QStringLiteral("unknown command \"%1\"").arg(command));
}

// --- The chip -------------------------------------------------------------------------

int CliApp::expectedChipOption() const
{
    // The start-up rule of discovery's settle step: an empty name means the AT89C2051.
    const QString name = m_p ? m_p->ChipName : m_chipOverride;
    if (name.isEmpty())
        return 1;
    for (int i = 0; i < 3; ++i) {
        if (name == QLatin1String(ChipSelection::Chips[i].name))
            return i + 1;
    }
    return 0;
}

int CliApp::chipOptionNow() const
{
    return m_view.selectedChipOption();
}

QString CliApp::chipLimitName(int option) const
{
    const ChipInfo &chip = ChipSelection::Chips[option - 1];
    return QStringLiteral("the %1's %2 bytes of flash")
        .arg(QLatin1String(chip.caption))
        .arg(chip.flashSize);
}

int CliApp::needChip(int *option)
{
    // Before the search: the chip that the settle step is going to choose.
    if (!m_p) {
        const int rc = createProgrammer(true);
        if (rc != Success)
            return rc;
    }
    *option = expectedChipOption();
    if (*option == 0) {
        m_console.error(QStringLiteral("chip.log names \"%1\", which is none of 2051, 4051 and "
                                       "1051U: give --chip or run \"vantor-cli chip NAME\"")
                            .arg(m_p->ChipName));
        return Usage;
    }
    return Success;
}

// --- Image files ------------------------------------------------------------------------

int CliApp::readImage(const QString &path, int limit, const QString &limitName, QByteArray *image)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        m_console.error(QStringLiteral("%1: no such file").arg(shown(path)));
        return Usage;
    }
    if (!info.isFile()) {
        m_console.error(QStringLiteral("%1: not a file").arg(shown(path)));
        return Usage;
    }
    if (IntelHex::IsHexFileName(path)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            m_console.error(
                QStringLiteral("%1: cannot read: %2").arg(shown(path), file.errorString()));
            return Usage;
        }
        if (file.size() > ReadHexLimit) {
            m_console.error(QStringLiteral("%1: %2 bytes is far too long for a HEX image of "
                                           "this programmer")
                                .arg(shown(path), QString::number(file.size())));
            return Usage;
        }
        const QByteArray text = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            m_console.error(
                QStringLiteral("%1: cannot read: %2").arg(shown(path), file.errorString()));
            return Usage;
        }
        const IntelHex::ParseResult hexImage = IntelHex::Parse(text, limit, limitName);
        if (!hexImage.ok) {
            m_console.error(QStringLiteral("%1: %2").arg(shown(path), hexImage.error));
            return Usage;
        }
        *image = hexImage.image;
        return Success;
    }
    const ImageFile::ReadResult raw = ImageFile::ReadWholeFile(path);
    switch (raw.status) {
    case ImageFile::ReadResult::Ok:
        break;
    case ImageFile::ReadResult::Missing:
        m_console.error(QStringLiteral("%1: no such file").arg(shown(path)));
        return Usage;
    case ImageFile::ReadResult::NotAFile:
        m_console.error(QStringLiteral("%1: not a file").arg(shown(path)));
        return Usage;
    case ImageFile::ReadResult::Unreadable:
        m_console.error(QStringLiteral("%1: cannot read: %2").arg(shown(path), raw.error));
        return Usage;
    case ImageFile::ReadResult::TooLarge:
        m_console.error(QStringLiteral("%1: %2 bytes, more than the programmer's %3-byte buffer")
                            .arg(shown(path), QString::number(raw.ImageSize),
                                 QString::number(ImageFile::MaxImageSize)));
        return Usage;
    }
    if (raw.ImageBytes.size() > limit) {
        m_console.error(QStringLiteral("%1: %2 bytes, more than %3")
                            .arg(shown(path), QString::number(raw.ImageBytes.size()), limitName));
        return Usage;
    }
    *image = raw.ImageBytes;
    return Success;
}

int CliApp::checkOutputPath(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir() || !info.absoluteDir().exists()) {
        m_console.error(QStringLiteral("%1: cannot write there").arg(shown(path)));
        return Usage;
    }
    return Success;
}

int CliApp::writeImage(const QString &path, const QByteArray &image)
{
    const QByteArray content = IntelHex::IsHexFileName(path) ? IntelHex::Format(image) : image;
    QString why;
    if (!ImageFile::WriteWholeFile(path, content, &why)) {
        m_console.error(QStringLiteral("%1: cannot write: %2").arg(shown(path), why));
        return Usage;
    }
    m_console.status(
        QStringLiteral("wrote %1 bytes to %2").arg(QString::number(image.size()), shown(path)));
    return Success;
}

int CliApp::parseSize(int *size, int option)
{
    const QString t = m_sizeText.trimmed().toUpper();
    if (t.isEmpty()) {
        if (option == 0)
            return usageError(QStringLiteral("give --size 1K, 2K or 4K"));
        *size = ChipSelection::Chips[option - 1].flashSize;
        return Success;
    }
    if (t == QLatin1String("1K") || t == QLatin1String("1024"))
        *size = 1024;
    else if (t == QLatin1String("2K") || t == QLatin1String("2048"))
        *size = 2048;
    else if (t == QLatin1String("4K") || t == QLatin1String("4096"))
        *size = 4096;
    else
        return usageError(QStringLiteral("unknown size \"%1\": use 1K, 2K or 4K").arg(m_sizeText));
    return Success;
}

// --- The programmer ----------------------------------------------------------------------

int CliApp::createProgrammer(bool readChipLog)
{
    if (m_simulate && m_ports.devices().isEmpty()) {
        QString error;
        const QString device = m_simulator.start(
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("vantor-sim")), {},
            &error);
        if (device.isEmpty()) {
            m_console.error(QStringLiteral("cannot start vantor-sim: %1").arg(error));
            return NoProgrammer;
        }
        m_ports = PortMap::fromDevices({device});
    }
    m_p = std::make_unique<Programmer>(&m_view, &m_dialogs, m_ports);
    m_lastMappedPort = 0;
    for (int n = 1; n <= Discovery::LastPort; ++n) {
        if (!m_ports.device(n).isEmpty())
            m_lastMappedPort = n;
    }
    if (readChipLog) {
        // The chip is remembered in chip.log in the current directory, as by the window.
        m_p->ChipLogPath = SettingsFile::pathIn(QDir::toNativeSeparators(QDir::currentPath()),
                                                QStringLiteral("chip.log"));
        QString why;
        if (SettingsFile::readValue(m_p->ChipLogPath, &m_p->ChipName, &why) ==
            SettingsFile::ReadResult::Failed)
            m_p->startup.warnAtStartup(Msg::settingsReadFailed(m_p->ChipLogPath, why));
        if (!m_chipOverride.isEmpty())
            m_p->ChipName = m_chipOverride;
    }
    return Success;
}

int CliApp::connectProgrammer(bool chipReplyIsOutput)
{
    if (!m_p) {
        const int rc = createProgrammer(true);
        if (rc != Success)
            return rc;
    }
    Programmer &p = *m_p;
    if (m_lastMappedPort == 0) {
        m_console.error(QStringLiteral("no serial ports to search"));
        return NoProgrammer;
    }
    // The search gives up once every port of the map with a device has been tried.
    QObject::connect(&p.Timer3, &VbTimer::Timer, &p, [this] {
        if (m_p->Timer3.Enabled() && m_p->ProbePort >= m_lastMappedPort) {
            m_p->Timer3.setEnabled(false);
            m_p->Timer4.setEnabled(false);
        }
    });
    // The settle step sends the chip command; its reply belongs to the chip command.
    QObject::connect(&p.Timer4, &VbTimer::Timer, &p, [this, chipReplyIsOutput] {
        if (!m_p->Timer4.Enabled() && m_p->MSComm1.PortOpen())
            m_view.setReplies(chipReplyIsOutput ? ConsoleView::Replies::ToOutput
                                                : ConsoleView::Replies::ToStatus);
    });

    m_view.setReplies(ConsoleView::Replies::ToStatus);
    p.discovery.muFileComm_Click();
    const QDeadlineTimer deadline(SearchLimitMs);
    QTimer wake;
    wake.start(50);
    while ((p.Timer3.Enabled() || p.Timer4.Enabled()) && !deadline.hasExpired())
        WaitEvents();
    if (!p.MSComm1.PortOpen() || p.Timer3.Enabled()) {
        p.Timer3.setEnabled(false);
        p.Timer4.setEnabled(false);
        QStringList tried;
        for (int n = 1; n <= m_lastMappedPort; ++n) {
            if (!m_ports.device(n).isEmpty())
                tried << QStringLiteral("COM%1 %2").arg(QString::number(n), m_ports.device(n));
        }
        m_console.error(QStringLiteral("no programmer answered (tried %1)")
                            .arg(tried.join(QStringLiteral(", "))));
        return NoProgrammer;
    }
    int rc = Success;
    if (chipOptionNow() != 0)
        rc = awaitReply(1, ReplyMs);
    m_view.setReplies(ConsoleView::Replies::ToOutput);
    return rc;
}

int CliApp::awaitReply(int lines, int timeoutMs, bool report)
{
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer wake;
    wake.start(20);
    for (;;) {
        WaitEvents();
        if (!m_p->MSComm1.PortOpen()) {
            if (report)
                m_console.error(QStringLiteral("the programmer went away"));
            return NoProgrammer;
        }
        const QStringList received = m_view.reply().split(QLatin1Char('\n'));
        const int complete = static_cast<int>(received.size()) - 1; // lines with their end
        QString failure;
        for (int i = 0; i < complete && failure.isEmpty(); ++i) {
            if (isFailureLine(received.at(i)))
                failure = received.at(i).trimmed();
        }
        const bool done = complete >= lines || !failure.isEmpty();
        if ((done && m_view.msSinceReply() >= QuietMs) || elapsed.elapsed() >= timeoutMs) {
            if (!failure.isEmpty()) {
                if (report)
                    m_console.error(QStringLiteral("the programmer said: %1").arg(failure));
                return Refused;
            }
            if (done)
                return Success;
            if (report)
                m_console.error(
                    QStringLiteral("no complete reply within %1 s").arg(timeoutMs / 1000.0));
            return Refused;
        }
    }
}

int CliApp::runFixed(Handler handler, int lines, int timeoutMs)
{
    m_view.clearReply();
    (m_p->commands.*handler)();
    return awaitReply(lines, timeoutMs);
}

void CliApp::startProgress(const QString &label, int total, std::function<int()> done)
{
    m_progressDone = std::move(done);
    m_console.progressStart(label, total);
    m_progressTimer.start();
}

void CliApp::stopProgress(int done)
{
    m_progressTimer.stop();
    m_progressDone = nullptr;
    m_console.progressEnd(done);
}

int CliApp::sendImage(char letter, const QByteArray &image, const QString &path, int lines,
                      int timeoutMs)
{
    Programmer &p = *m_p;
    p.LatestFile = path;
    m_dialogs.fileName = path;
    m_view.clearReply();
    ImageTransfer::SendResult result;
    {
        TransferScope scope(p);
        p.setText(1, QString());
        startProgress(letter == 'Q' ? QStringLiteral("express") : QStringLiteral("load"),
                      static_cast<int>(image.size()),
                      [this] { return m_p->bytesMoving ? qMax(0, m_p->TxIndex - 2) : 0; });
        result = p.transfers.SendImage(letter, image);
        stopProgress(result == ImageTransfer::SendResult::Sent ? static_cast<int>(image.size())
                                                               : qMax(0, p.TxIndex - 2));
    }
    if (result != ImageTransfer::SendResult::Sent) {
        m_console.error(p.MSComm1.PortOpen()
                            ? QStringLiteral("the image was not sent")
                            : QStringLiteral("the programmer went away; the image was not "
                                             "sent whole"));
        return NoProgrammer;
    }
    p.setText(2, letter == 'Q' ? Msg::expressCompleted(ImageFile::Checksum(image))
                               : Msg::loadCompleted());
    return awaitReply(lines, timeoutMs + lineMs(static_cast<int>(image.size()) + 2));
}

int CliApp::receiveBlock(int size, QByteArray *block, const QString &label)
{
    Programmer &p = *m_p;
    const QString command = size == 1024   ? QStringLiteral("S1")
                            : size == 2048 ? QStringLiteral("S2")
                                           : QStringLiteral("S4");
    SaveBuffer::BlockResult result;
    {
        TransferScope scope(p);
        startProgress(label, size, [this] {
            return m_p->bytesMoving ? qMax(0, m_p->MSComm1.InBufferCount()) : 0;
        });
        result = p.save.ReceiveBlock(command, size, block);
        stopProgress(static_cast<int>(block->size()));
    }
    if (result == SaveBuffer::BlockResult::Complete) {
        if (block->size() > size)
            m_console.status(QStringLiteral("the programmer sent %1 bytes, %2 more than asked")
                                 .arg(block->size())
                                 .arg(block->size() - size));
        return Success;
    }
    if (result == SaveBuffer::BlockResult::Short) {
        m_console.error(
            QStringLiteral("the programmer sent %1 of %2 bytes").arg(block->size()).arg(size));
        return Refused;
    }
    m_console.error(QStringLiteral("the programmer went away; the block did not arrive"));
    return NoProgrammer;
}

int CliApp::compareWithChip(const QByteArray &image)
{
    int rc = runFixed(&CommandSet::muIcRead_Click, 1, ReplyMs);
    if (rc != Success)
        return rc;
    const int n = static_cast<int>(image.size());
    if (n == 0) {
        m_console.result(QStringLiteral("verify: the image is empty, nothing to compare"));
        return Success;
    }
    const int size = n <= 1024 ? 1024 : n <= 2048 ? 2048 : 4096;
    QByteArray back;
    rc = receiveBlock(size, &back, QStringLiteral("read back"));
    if (rc != Success)
        return rc;
    int differ = 0;
    int first = -1;
    for (int i = 0; i < n; ++i) {
        if (back.at(i) != image.at(i)) {
            if (first < 0)
                first = i;
            ++differ;
        }
    }
    if (differ == 0) {
        m_console.result(QStringLiteral("verify: %1 bytes match").arg(n));
        return Success;
    }
    m_console.result(QStringLiteral("verify: %1 byte%2 of %3 differ%4, the first at 0x%5 (chip "
                                    "0x%6, file 0x%7)")
                         .arg(differ)
                         .arg(differ == 1 ? "" : "s")
                         .arg(n)
                         .arg(differ == 1 ? "s" : "")
                         .arg(hex(first, 4), hex(static_cast<quint8>(back.at(first)), 2),
                              hex(static_cast<quint8>(image.at(first)), 2)));
    return Refused;
}

// --- Commands ---------------------------------------------------------------------------

int CliApp::cmdPorts()
{
    int rc = createProgrammer(false);
    if (rc != Success)
        return rc;
    Programmer &p = *m_p;
    if (m_lastMappedPort == 0) {
        m_console.error(QStringLiteral("no serial ports to search"));
        return NoProgrammer;
    }
    m_view.setStatusShown(false);
    m_view.setReplies(ConsoleView::Replies::Hidden);
    // Discovery's own probe step, one port at a time, without its pace or its settle step.
    p.discovery.muFileComm_Click();
    p.Timer3.setEnabled(false);
    int answered = 0;
    for (int n = 1; n <= m_lastMappedPort; ++n) {
        p.discovery.Timer3_Timer();
        const bool found = p.MSComm1.PortOpen() && p.text(2) == Msg::foundOn(n);
        p.Timer4.setEnabled(false);
        const QString device = m_ports.device(n);
        QString reply = p.ProbeReply;
        reply.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
        QString what;
        if (found) {
            ++answered;
            // The probe stops reading at 26 characters; the identification asked for once
            // more after it comes whole.
            awaitReply(1, 1000, false);
            const QStringList lines = m_view.reply().split(QLatin1Char('\n'));
            for (const QString &line : lines) {
                if (line.trimmed().size() >= Discovery::ReplyLength)
                    reply = line;
            }
            what = reply.trimmed();
        } else if (p.WaitTicks >= 2) {
            what = reply.isEmpty()
                       ? QStringLiteral("no answer")
                       : QStringLiteral("no programmer (answered \"%1\")").arg(reply.trimmed());
        } else {
            what = QStringLiteral("cannot open");
        }
        p.Timer1.setEnabled(false);
        if (p.MSComm1.PortOpen())
            p.MSComm1.setPortOpen(false);
        if (!device.isEmpty())
            m_console.result(QStringLiteral("COM%1  %2  %3").arg(QString::number(n), device, what));
    }
    if (answered == 0) {
        m_console.error(QStringLiteral("no programmer answered"));
        return NoProgrammer;
    }
    return Success;
}

int CliApp::cmdConvert(const QString &in, const QString &out)
{
    int size = 0;
    if (!m_sizeText.isEmpty()) {
        const int rc = parseSize(&size, 0);
        if (rc != Success)
            return rc;
    }
    QByteArray image;
    const int limit = size > 0 ? size : static_cast<int>(ImageFile::MaxImageSize);
    const QString limitName =
        size > 0 ? QStringLiteral("the %1-byte size asked for").arg(size)
                 : QStringLiteral("the programmer's %1-byte buffer").arg(ImageFile::MaxImageSize);
    int rc = readImage(in, limit, limitName, &image);
    if (rc != Success)
        return rc;
    if (size > 0)
        image += QByteArray(size - static_cast<int>(image.size()), char(0xFF));
    rc = checkOutputPath(out);
    return rc != Success ? rc : writeImage(out, image);
}

int CliApp::cmdChip(const QString &name)
{
    bool known = false;
    for (const ChipInfo &c : ChipSelection::Chips)
        known = known || name == QLatin1String(c.name);
    if (!known)
        return usageError(QStringLiteral("unknown chip \"%1\": use 2051, 4051 or 1051U").arg(name));
    m_chipOverride = name;
    return connectProgrammer(true);
}

int CliApp::cmdLoad(const QString &path, bool express)
{
    int option = 0;
    int limit = static_cast<int>(ImageFile::MaxImageSize);
    QString limitName =
        QStringLiteral("the programmer's %1-byte buffer").arg(ImageFile::MaxImageSize);
    int rc = Success;
    if (express) {
        rc = needChip(&option);
        if (rc != Success)
            return rc;
        limit = ChipSelection::Chips[option - 1].flashSize;
        limitName = chipLimitName(option);
    }
    QByteArray image;
    rc = readImage(path, limit, limitName, &image);
    if (rc != Success)
        return rc;
    rc = connectProgrammer(false);
    if (rc != Success)
        return rc;
    if (express) {
        option = chipOptionNow();
        if (option == 0 || image.size() > ChipSelection::Chips[option - 1].flashSize) {
            m_console.error(QStringLiteral("the programmer now has another chip; nothing sent"));
            return Usage;
        }
        return sendImage('Q', image, path, 4, ExpressMs);
    }
    return sendImage('L', image, path, 1, ReplyMs);
}

int CliApp::cmdSave(const QString &path, bool readChipFirst)
{
    int rc = createProgrammer(true);
    if (rc != Success)
        return rc;
    int size = 0;
    rc = parseSize(&size, expectedChipOption());
    if (rc != Success)
        return rc;
    rc = checkOutputPath(path);
    if (rc != Success)
        return rc;
    rc = connectProgrammer(false);
    if (rc != Success)
        return rc;
    if (readChipFirst) {
        rc = runFixed(&CommandSet::muIcRead_Click, 1, ReplyMs);
        if (rc != Success)
            return rc;
    }
    QByteArray block;
    rc =
        receiveBlock(size, &block, readChipFirst ? QStringLiteral("read") : QStringLiteral("save"));
    if (rc != Success)
        return rc;
    m_p->LatestFile = path;
    m_dialogs.fileName = path;
    return writeImage(path, block);
}

int CliApp::cmdWrite(const QString &path, bool program)
{
    int option = 0;
    int rc = needChip(&option);
    if (rc != Success)
        return rc;
    QByteArray image;
    rc = readImage(path, ChipSelection::Chips[option - 1].flashSize, chipLimitName(option), &image);
    if (rc != Success)
        return rc;
    rc = connectProgrammer(false);
    if (rc != Success)
        return rc;
    option = chipOptionNow();
    if (option == 0 || image.size() > ChipSelection::Chips[option - 1].flashSize) {
        m_console.error(QStringLiteral("the programmer now has another chip; nothing done"));
        return Usage;
    }
    if (program) {
        // The SRAM is cleared first, so that the flash past the image is programmed with
        // FF (left erased) rather than with what an earlier image left in the SRAM.
        rc = runFixed(&CommandSet::muProgClear_Click, 1, ReplyMs);
        if (rc == Success)
            rc = sendImage('L', image, path, 1, ReplyMs);
        if (rc == Success)
            rc = runFixed(&CommandSet::muIcErase_Click, 1, ReplyMs);
        if (rc == Success)
            rc = runFixed(&CommandSet::muIcProg_Click, 1, ProgramMs);
        if (rc != Success)
            return rc;
    }
    return compareWithChip(image);
}

int CliApp::cmdDump(const QString &address)
{
    const int value = parseHex(address, 4);
    if (value < 0 || value > 0x0FFF)
        return usageError(QStringLiteral("dump address \"%1\": give 0000 to 0FFF").arg(address));
    int rc = connectProgrammer(false);
    if (rc != Success)
        return rc;
    m_view.clearReply();
    m_p->setText(4, hex(value, 4));
    m_p->sram.muProgDump_Click();
    if (!m_p->Timer2.Enabled())
        return Usage; // refused; the status line says why
    return awaitReply(4, ReplyMs);
}

int CliApp::cmdFill(const QString &value)
{
    const int byte = parseHex(value, 2);
    if (byte < 0)
        return usageError(QStringLiteral("fill value \"%1\": give 00 to FF").arg(value));
    int rc = connectProgrammer(false);
    if (rc != Success)
        return rc;
    m_view.clearReply();
    m_p->setText(3, hex(byte, 2));
    m_p->sram.muProgFill_Click();
    if (!m_p->Timer2.Enabled())
        return Usage;
    return awaitReply(1, ReplyMs);
}
