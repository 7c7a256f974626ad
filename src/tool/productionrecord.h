#pragma once

#include "commands.h"

#include "core/csvlog.h"
#include "core/serialnumber.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QString>

#include <memory>
#include <optional>

class Console;
struct Programmer;
struct Tool;

// The chip under way at one programmer: its serial number and when it began.
struct ChipRecord {
    std::optional<quint64> number;
    QElapsedTimer time;
};

// What a write run keeps beyond the chips themselves: the serial number each chip gets and
// keeps once it has passed (--serial), and a CSV line for each attempt (--log), one of each
// for all the run's programmers. Every method returns an exit code and has said why when it
// is not Success (the chip's on its programmer's console).
class RunRecord
{
public:
    // image and path: the image as its file gives it.
    RunRecord(Tool &tool, const QByteArray &image, const QString &path);

    // Before the search: the log opened, the serial numbers' state file locked and read, and
    // the number's place checked against the image and the chip.
    int open();
    // Before each chip at programmer p, after the search: the image for it, with its serial
    // number in.
    int beginChip(const Programmer &p, ChipRecord *chip, QByteArray *chipImage);
    // A failed attempt at the chip, to be followed by another: its line in the log, the
    // number kept for the next attempt. Failed when the line could not be written.
    int logAttempt(const Programmer &p, const ChipRecord &chip, const ChipResult &result);
    // After it: its number used up or handed to the next chip, and the last attempt's line
    // in the log. Failed when either could not be written: the run must not go on.
    int endChip(const Programmer &p, ChipRecord *chip, const ChipResult &result);

private:
    int openSerials();
    int openLog();
    bool numberFits(Console &console);
    QStringList logLine(const Programmer &p, const ChipRecord &chip, const ChipResult &result);

    Tool &m_tool;
    const QByteArray &m_image;
    QString m_path;
    std::unique_ptr<SerialCounter> m_counter;
    CsvLog m_log;
    QMap<QString, QString> m_usbSerials; // of each device's adapter, learnt at its first chip
};
