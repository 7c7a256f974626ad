#include "help.h"

#include "options.h"

namespace
{

// An option and its entry in --help. Options that share an entry follow its first one
// without a synopsis of their own.
struct OptionEntry {
    const char *names;    // "q,quiet": the names, comma-separated
    const char *value;    // the value's name, "MS"; nullptr for an option without one
    const char *synopsis; // the entry's left column; nullptr: the entry before's
    const char *text;     // the entry's right column, its lines apart by "\n"
};

const OptionEntry OptionRows[] = {
    {"port", "DEVICE", "--port DEVICE | --ports LIST | --simulate",
     "the programmer's port, the window's COM1, COM2, ... list, or the\n"
     "emulator vantor-sim; otherwise COM1 to COM11 are searched"},
    {"ports", "LIST", nullptr, nullptr},
    {"simulate", nullptr, nullptr, nullptr},
    {"usb-serial", "SERIAL", "--usb-serial SERIAL",
     "the programmer on the USB adapter with this serial number"},
    {"usb", "VID:PID", "--usb VID:PID",
     "the programmer on the USB adapter with these ids (hex); ports\n"
     "shows both for each adapter"},
    {"all", nullptr, "--port A --port B ..., --ports LIST --all",
     "write --repeat: a programmer on each port named, on each entry\n"
     "of LIST, on each adapter of --usb-serial (given again) or --usb;\n"
     "each goes on its own, the serial numbers from one counter"},
    {"chip", "NAME", "--chip 2051|4051|1051U",
     "the chip for this run alone (otherwise the one in ./chip.log);\n"
     "the programmer's key cannot change it"},
    {"size", "SIZE", "--size S", "the block size of save, read and convert"},
    {"settle", "MS", "--settle MS",
     "a command is done once its reply has started and the line has\n"
     "then been quiet this long (default 100)"},
    {"timeout", "SECONDS", "--timeout SECONDS",
     "a chip operation may take this long (a slow firmware); by default\n"
     "the chips' own times at the chip's size (programming a 2051: 4.6 s)"},
    {"fail-on", "REGEX", "--fail-on REGEX",
     "a reply line matching REGEX counts as the programmer saying no"},
    {"repeat", nullptr, "--repeat",
     "write: one chip after another, each after the programmer's key\n"
     "or Enter; Ctrl+C (after the chip under way) or the end of input\n"
     "ends with a summary"},
    {"log", "FILE", "--log FILE",
     "write: append a CSV line for each chip (a header line first when\n"
     "the file is new): time, station, port, programmer, USB serial,\n"
     "chip, image, its SHA-256 and sum, serial number, attempt,\n"
     "result, first differing address, duration, lot, operator"},
    {"lot", "TEXT", "--lot TEXT, --operator NAME", "write: the lot and the operator, for the log"},
    {"operator", "NAME", nullptr, nullptr},
    {"serial", "ADDR:FIRST[:STEP]", "--serial ADDR:FIRST[:STEP]",
     "write: a serial number of its own in each chip at ADDR (hex),\n"
     "from FIRST by STEP (default 1); a number is used up only by a\n"
     "chip that passed; where the number lies inside the image, the\n"
     "image must hold FF there"},
    {"serial-format", "FORMAT", "--serial-format be16|be32|le16|le32|bcd4|bcd8|ascii:N|hex:N",
     "binary, packed BCD, or N decimal or hex digits (default be16)"},
    {"serial-state", "FILE", "--serial-state FILE",
     "the next number, kept after every chip that passed and locked\n"
     "while a run uses it (default: the image's path with \".serial\")"},
    {"serial-overwrite", nullptr, "--serial-overwrite",
     "the number may replace bytes of the image that are not FF"},
    {"lock", nullptr, "--lock",
     "write: lock each chip once it verifies, then confirm that it can\n"
     "no longer be read; a chip whose lock is not confirmed fails"},
    {"retry", "N", "--retry N", "write: erase and write a failed chip again, up to N more times"},
    {"signal", nullptr, "--signal",
     "write: the programmer's LED test (\"tL\") after a chip that passed,\n"
     "its buzzer test (\"tb\") after one that failed"},
    {"no-color", nullptr, "--no-color",
     "PASS and FAIL on a terminal without colour (also NO_COLOR)"},
    {"watch", nullptr, "--watch",
     "write: write the chip again whenever FILE changes and has then\n"
     "stayed unchanged for 300 ms; Ctrl+C ends"},
    {"json", nullptr, "--json", "standard output as one JSON object a line for each event"},
    {"q,quiet", nullptr, "-q, --quiet", "no status lines and no progress"},
    {"v,verbose", nullptr, "-v, --verbose",
     "every byte on the line and the link's steps, on standard error"},
    {"h,help", nullptr, "-h, --help", "this help;  --version  the tool's version"},
    {"version", nullptr, nullptr, nullptr},
};

const char *const UsageText = R"(Usage: vantor-cli [options] COMMAND [ARGUMENTS]

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
)";

const char *const Notes = R"(
Images: a file whose content is Intel HEX is read as Intel HEX, anything else as raw
bytes; save writes Intel HEX to *.hex, *.ihx and *.ihex. S: 1K, 2K or 4K (default: the
chip's size).

Exit codes: 0 success; 1 no answer, a transfer cut short, a chip that could not be read
or differs from the image, or a reply line matching --fail-on; 2 usage error or bad file
(an empty image too); 3 no programmer (none found, or it went away); 130 stopped by Ctrl+C.
)";

// The right column of --help starts here; a longer synopsis has a line of its own.
constexpr int TextColumn = 24;

QString entry(const OptionEntry &e)
{
    const QString indent(TextColumn, QLatin1Char(' '));
    QString out = QStringLiteral("  ") + QLatin1String(e.synopsis);
    out += out.size() < TextColumn ? QString(TextColumn - out.size(), QLatin1Char(' '))
                                   : QLatin1Char('\n') + indent;
    return out + QString::fromUtf8(e.text).replace(QLatin1Char('\n'), QLatin1Char('\n') + indent) +
           QLatin1Char('\n');
}

} // namespace

QList<QCommandLineOption> toolOptions()
{
    QList<QCommandLineOption> options;
    const char *text = nullptr;
    for (const OptionEntry &e : OptionRows) {
        text = e.text ? e.text : text;
        const QStringList names = QString::fromLatin1(e.names).split(QLatin1Char(','));
        const QString description = QString::fromUtf8(text).replace(QLatin1Char('\n'), ' ');
        options << (e.value ? QCommandLineOption(names, description, QString::fromLatin1(e.value))
                            : QCommandLineOption(names, description));
    }
    return options;
}

QString helpText()
{
    QString out = QString::fromUtf8(UsageText);
    for (const OptionEntry &e : OptionRows) {
        if (e.synopsis)
            out += entry(e);
    }
    return out + QString::fromUtf8(Notes);
}
