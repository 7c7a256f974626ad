#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class RunRecord;
struct StationPort;
struct Programmer;
struct Tool;

// The commands of vantor-cli, one unit each (or a family); each returns the exit code.

// Runs the command of the tool's options, after checking its arguments.
int runCommand(Tool &tool);

int portsCommand(Tool &tool, const QStringList &args);
int chipCommand(Tool &tool, const QStringList &args);
int loadCommand(Tool &tool, const QStringList &args);
int expressCommand(Tool &tool, const QStringList &args);
int saveCommand(Tool &tool, const QStringList &args);
int readCommand(Tool &tool, const QStringList &args);
int writeCommand(Tool &tool, const QStringList &args);
int verifyCommand(Tool &tool, const QStringList &args);
int dumpCommand(Tool &tool, const QStringList &args);
int fillCommand(Tool &tool, const QStringList &args);
int testCommand(Tool &tool, const QStringList &args);
int convertCommand(Tool &tool, const QStringList &args);

// The commands that send one fixed command and show its reply (erase, sig, ...).
bool isFixedCommand(const QString &name);
int fixedCommand(Tool &tool, const QString &name);

// How writing one chip ended: the exit code, the first address where the chip read back
// differs from the image (-1 for none), and which attempt at the chip this was.
struct ChipResult {
    int code;
    int firstDifference;
    int attempt = 1;
};
using ChipDone = std::function<void(const ChipResult &result)>;

// The chip read into the SRAM ("R") and the SRAM read back (bytes of it), over an SRAM
// filled with fill and, when the block is nothing but fill, once more over its complement:
// Failed when the chip could not be read (see ChipReadCheck).
int readChipBlock(Tool &tool, quint8 fill, int bytes, const QString &label, QByteArray *block);
// The SRAM filled (fillRequest), the chip read into it ("R") and bytes of it read back
// into block, which must outlive the step: one try of the above.
void startFilledRead(const Programmer &p, const QByteArray &fillRequest, int bytes,
                     const QString &label, QByteArray *block, std::function<void(int)> done);
// readChipBlock on the event loop; block must outlive the step.
void startChipRead(const Programmer &p, quint8 fill, int bytes, const QString &label,
                   QByteArray *block, std::function<void(int)> done);
// Writes one chip (after the search) and compares it with the image.
void startWriteChip(const Programmer &p, const QByteArray &image, const QString &path,
                    ChipDone done);
// write --repeat: one chip after another on each programmer of ports (the tool's own, found
// already, when there is one), until Ctrl+C or the end of input; each chip gets its image,
// and is written down, through record.
int produce(Tool &tool, RunRecord &record, const QByteArray &image, const QString &path,
            const QList<StationPort> &ports);
// write --watch: the chip written whenever the file at path changes, until Ctrl+C.
int watchFile(Tool &tool, const QString &path);

// Hexadecimal text of up to maxDigits digits, with or without "0x"; -1 when invalid.
int parseHex(QString text, int maxDigits);
// value as digits upper-case hexadecimal digits.
QString hexText(qint64 value, int digits);
