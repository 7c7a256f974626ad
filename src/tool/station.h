#pragma once

#include "commands.h"
#include "productionrecord.h"
#include "programmer.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

// One programmer of a production run (write --repeat): its chips one after another on the
// event loop. The first chip starts once the programmer is found; each next one on its key
// (a key report for the chip the run holds, when it holds one) or on next() (Enter). The run
// decides when it ends: close() lets the chip under way finish and starts no more.
class Station : public QObject
{
    Q_OBJECT
public:
    enum class State { Searching, Writing, Idle, Ended };

    Station(const Programmer &programmer, RunRecord &record, const QByteArray &image,
            const QString &path);

    // Searches for the programmer first unless it is connected.
    void start();
    // The next chip, when the station is waiting for one.
    void next();
    // No more chips: an idle station ends now, a writing one after its chip.
    void close();

    State state() const { return m_state; }
    const Programmer &programmer() const { return m_p; }
    int passed() const { return m_passed; }
    int failed() const { return m_failed; }
    // The programmer was not found or went away.
    bool gone() const { return m_gone; }
    // The record's exit code when it could not keep a chip (the run must stop), else Success.
    int recordCode() const { return m_recordCode; }
    // Whether the last chip passed; nothing before the first.
    std::optional<bool> lastPassed() const { return m_lastPassed; }

signals:
    // The state, the tally or the last result changed.
    void changed();

private:
    void setState(State state);
    void writeChip();
    void writeChipAfter(int rc);
    void chipWritten(const ChipResult &result);
    void chipEnded(const ChipResult &result);
    void tally(const ChipResult &result);
    void onKeyReport(int chip);
    void onRemoved();
    void end();

    Programmer m_p;
    RunRecord &m_record;
    QByteArray m_image;
    QString m_path;
    ChipRecord m_chip;
    State m_state = State::Searching;
    bool m_closing = false;
    bool m_chipChanged = false; // a key report chose another chip while waiting
    int m_passed = 0;
    int m_failed = 0;
    bool m_gone = false;
    int m_recordCode = 0;
    std::optional<bool> m_lastPassed;
};
