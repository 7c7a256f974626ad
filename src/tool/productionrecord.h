#pragma once

#include "commands.h"

#include "core/csvlog.h"
#include "core/serialnumber.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <memory>
#include <optional>

struct Tool;

// What a write run keeps beyond the chips themselves: the serial number each chip gets and
// keeps once it has passed (--serial), and a CSV line for each attempt (--log). Every method
// returns an exit code and has said why when it is not Success.
class RunRecord
{
public:
    // image and path: the image as its file gives it.
    RunRecord(Tool &tool, const QByteArray &image, const QString &path);

    // Before the search: the log opened, the serial numbers' state file locked and read, and
    // the number's place checked against the image and the chip.
    int open();
    // Before each chip, after the search: the image for it, with its serial number in.
    int beginChip(QByteArray *chipImage);
    // A failed attempt at the chip, to be followed by another: its line in the log, the
    // number kept for the next attempt. Failed when the line could not be written.
    int logAttempt(const ChipResult &result);
    // After it: its number used up or kept for the next chip, and the last attempt's line
    // in the log. Failed when either could not be written: the run must not go on.
    int endChip(const ChipResult &result);

private:
    int openSerials();
    int openLog();
    bool numberFits();
    QStringList logLine(const ChipResult &result);

    Tool &m_tool;
    const QByteArray &m_image;
    QString m_path;
    std::unique_ptr<SerialCounter> m_counter;
    std::optional<quint64> m_number; // the chip under way's
    CsvLog m_log;
    QString m_usbSerial; // the programmer's adapter's, learnt at the first chip
    bool m_adapterKnown = false;
    QElapsedTimer m_chipTime;
};
