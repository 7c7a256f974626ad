#include "station.h"

#include "chipcycle.h"
#include "console.h"
#include "exitcode.h"
#include "link.h"
#include "options.h"
#include "replyrules.h"

#include "core/session.h"

#include <QTimer>

Station::Station(const Programmer &programmer, RunRecord &record, const QByteArray &image,
                 const QString &path)
    : m_p(programmer), m_record(record), m_image(image), m_path(path)
{
    ProgrammerSession &session = m_p.link.session();
    connect(&session, &ProgrammerSession::keyReported, this, &Station::onKeyReport);
    connect(&session, &ProgrammerSession::chipChosen, this, [this] {
        if (m_state == State::Idle)
            m_chipChanged = true;
    });
    connect(&session, &ProgrammerSession::removed, this, &Station::onRemoved);
}

void Station::start()
{
    if (m_p.link.session().isConnected()) {
        writeChip();
        return;
    }
    m_p.link.startConnect(Replies::Status, [this](int rc) { writeChipAfter(rc); });
}

void Station::next()
{
    if (m_state != State::Idle || m_closing)
        return;
    setState(State::Writing);
    if (!m_chipChanged) {
        writeChip();
        return;
    }
    m_chipChanged = false; // the chip's command went out: its reply first
    m_p.link.startReplyWait(ReplyRules::quick(false), [this](int rc) { writeChipAfter(rc); });
}

// The chip after a step that readies the programmer for it; none after one that failed.
void Station::writeChipAfter(int rc)
{
    m_gone = rc == NoProgrammer;
    if (rc == Success)
        writeChip();
    else
        end();
}

void Station::close()
{
    m_closing = true;
    if (m_state != State::Writing)
        end();
}

void Station::setState(State state)
{
    m_state = state;
    emit changed();
}

void Station::writeChip()
{
    if (m_closing) {
        end();
        return;
    }
    setState(State::Writing);
    QByteArray image;
    if ((m_recordCode = m_record.beginChip(m_p, &m_chip, &image)) != Success) {
        end();
        return;
    }
    if (!m_p.link.chipTakes(static_cast<int>(image.size()))) {
        m_p.console.error(QStringLiteral("the image does not fit the chip now chosen"));
        chipWritten({Failed, -1});
        return;
    }
    startAttempts(m_p, image, m_path, &m_record, &m_chip, &m_closing,
                  [this](const ChipResult &result) { chipWritten(result); });
}

void Station::chipWritten(const ChipResult &result)
{
    m_recordCode = m_record.endChip(m_p, &m_chip, result);
    const bool passed = result.code == Success;
    ++(passed ? m_passed : m_failed);
    m_lastPassed = passed;
    startVerdict(m_p, passed, [this, result](int) { chipEnded(result); });
}

void Station::chipEnded(const ChipResult &result)
{
    tally(result);
    m_gone = result.code == NoProgrammer;
    if (m_gone || m_closing || m_recordCode != Success) {
        end();
        return;
    }
    setState(State::Idle);
    m_p.console.status(QStringLiteral("next chip: the programmer's key or Enter; Ctrl+C or "
                                      "the end of input ends the run"));
}

// The running tally after each chip.
void Station::tally(const ChipResult &result)
{
    const bool ok = result.code == Success;
    const int number = m_passed + m_failed;
    QString line = QStringLiteral("chip %1: %2").arg(number).arg(ok ? "passed" : "failed");
    QJsonObject details{{"event", "chip"},
                        {"chip", number},
                        {"passed", ok},
                        {"total_passed", m_passed},
                        {"total_failed", m_failed}};
    if (result.firstDifference >= 0) {
        const QString at = QStringLiteral("0x") + hexText(result.firstDifference, 4);
        line += QStringLiteral(", first difference at %1").arg(at);
        details.insert(QStringLiteral("first"), at);
    }
    if (result.attempt > 1)
        line += QStringLiteral(", attempt %1").arg(result.attempt);
    details.insert(QStringLiteral("attempts"), result.attempt);
    m_p.console.result(line + QStringLiteral(" (%1 passed, %2 failed)").arg(m_passed).arg(m_failed),
                       details);
}

// A run that holds its chip starts the next one only on that chip's key; a report for
// another (announced by the link) is cleared, so that the right key is seen next. The chip
// starts once the session has done with the report (it may choose the chip first).
void Station::onKeyReport(int chip)
{
    if (m_state != State::Idle)
        return;
    const int held = m_p.link.pinnedChip();
    if (held >= 0 && chip != held)
        m_p.link.session().clearReceived();
    else
        QTimer::singleShot(0, this, &Station::next);
}

void Station::onRemoved()
{
    if (m_state != State::Idle)
        return; // a step under way or the search ends with it
    m_gone = true;
    m_p.console.error(QStringLiteral("the programmer went away"));
    end();
}

void Station::end()
{
    if (m_state != State::Ended)
        setState(State::Ended);
}
