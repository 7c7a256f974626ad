// write FILE --repeat: a production run. Each chip is written and compared with the image;
// the tool then waits for the next one: the programmer's key (a key report) or Enter.
// Ctrl+C while a chip is written stops the run after it (a second one stops at once); between
// chips Ctrl+C or the end of input ends the run with a summary. A programmer that goes away
// ends it with NoProgrammer.
#include "chipcycle.h"
#include "commands.h"
#include "exitcode.h"
#include "productionrecord.h"
#include "replyrules.h"
#include "tool.h"
#include "wait.h"

#include "core/session.h"

#include <QSocketNotifier>

#include <unistd.h>

namespace
{

// What ends the wait between two chips: the key, Enter, the end of input, Ctrl+C, or the
// programmer going away.
class NextChip
{
public:
    enum Outcome { Key, Enter, EndOfInput, Interrupted, Gone };

    explicit NextChip(Tool &tool);
    // Whether the key report chose another chip (its command went out).
    bool chipChanged() const { return m_chipChanged; }
    Outcome wait();

private:
    void onInput();
    void onKeyReport(int chip);

    Tool &m_tool;
    QSocketNotifier m_input{STDIN_FILENO, QSocketNotifier::Read};
    Wait *m_wait = nullptr;
    bool m_ended = false;
    bool m_chipChanged = false;
};

NextChip::NextChip(Tool &tool) : m_tool(tool)
{
    QObject::connect(&m_input, &QSocketNotifier::activated, [this] { onInput(); });
}

void NextChip::onInput()
{
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        m_ended = true;
        m_input.setEnabled(false);
    }
    const bool enter = n > 0 && QByteArray(buffer, static_cast<int>(n)).contains('\n');
    if (m_wait && (m_ended || enter))
        m_wait->finish(m_ended ? EndOfInput : Enter);
}

// A run that holds its chip starts the next one only on that chip's key; a report for
// another (announced by the link) is cleared, so that the right key is seen next.
void NextChip::onKeyReport(int chip)
{
    const int held = m_tool.link.pinnedChip();
    if (held >= 0 && chip != held)
        m_tool.link.session().clearReceived();
    else if (m_wait)
        m_wait->finish(Key);
}

NextChip::Outcome NextChip::wait()
{
    ProgrammerSession &session = m_tool.link.session();
    if (m_ended)
        return EndOfInput;
    if (!session.isConnected())
        return Gone;
    Wait wait;
    m_wait = &wait;
    m_chipChanged = false;
    m_tool.interrupt.setHandler([&wait] { wait.finish(Interrupted); });
    QObject::connect(&session, &ProgrammerSession::keyReported, wait.context(),
                     [this](int chip) { onKeyReport(chip); });
    QObject::connect(&session, &ProgrammerSession::chipChosen, wait.context(),
                     [this] { m_chipChanged = true; });
    QObject::connect(&session, &ProgrammerSession::removed, wait.context(),
                     [&wait] { wait.finish(Gone); });
    const auto outcome = static_cast<Outcome>(wait.run());
    m_wait = nullptr;
    m_tool.interrupt.setHandler([this] { m_tool.stopNow(); });
    return outcome;
}

// The running tally after each chip.
void tally(Tool &tool, int number, const ChipResult &result, int passed, int failed)
{
    const bool ok = result.code == Success;
    QString line = QStringLiteral("chip %1: %2").arg(number).arg(ok ? "passed" : "failed");
    QJsonObject details{{"event", "chip"},
                        {"chip", number},
                        {"passed", ok},
                        {"total_passed", passed},
                        {"total_failed", failed}};
    if (result.firstDifference >= 0) {
        const QString at = QStringLiteral("0x") + hexText(result.firstDifference, 4);
        line += QStringLiteral(", first difference at %1").arg(at);
        details.insert(QStringLiteral("first"), at);
    }
    if (result.attempt > 1)
        line += QStringLiteral(", attempt %1").arg(result.attempt);
    details.insert(QStringLiteral("attempts"), result.attempt);
    tool.console.result(line + QStringLiteral(" (%1 passed, %2 failed)").arg(passed).arg(failed),
                        details);
}

ChipResult nextResult(Tool &tool, const QByteArray &image, const QString &path, RunRecord &record,
                      const bool *stopping)
{
    if (tool.chipTakes(static_cast<int>(image.size())))
        return writeChipAttempts(tool, image, path, &record, stopping);
    tool.console.error(QStringLiteral("the image does not fit the chip now chosen"));
    return {Failed, -1};
}

// One chip after another, with the tally.
class Production
{
public:
    Production(Tool &tool, RunRecord &record, const QString &path)
        : m_tool(tool), m_record(record), m_path(path), m_next(tool)
    {
    }
    int run();

private:
    bool writeNext();
    bool waitNext();
    void onInterruptDuringChip();
    void summary();

    Tool &m_tool;
    RunRecord &m_record;
    const QString &m_path;
    NextChip m_next;
    int m_passed = 0;
    int m_failed = 0;
    bool m_stopping = false; // Ctrl+C came while a chip was written
    bool m_gone = false;     // the programmer went away
    int m_stop = Success;    // the record's exit code when it stops the run
};

int Production::run()
{
    while (writeNext() && waitNext()) {
    }
    m_tool.interrupt.setHandler([this] { m_tool.stopNow(); });
    summary();
    if (m_stop != Success)
        return m_stop;
    if (m_gone)
        return NoProgrammer;
    return m_failed == 0 ? Success : Failed;
}

// One chip; false when the run ends with it.
bool Production::writeNext()
{
    m_tool.interrupt.setHandler([this] { onInterruptDuringChip(); });
    QByteArray image;
    if ((m_stop = m_record.beginChip(&image)) != Success)
        return false;
    const ChipResult result = nextResult(m_tool, image, m_path, m_record, &m_stopping);
    m_stop = m_record.endChip(result);
    ++(result.code == Success ? m_passed : m_failed);
    announceVerdict(m_tool, result.code == Success);
    tally(m_tool, m_passed + m_failed, result, m_passed, m_failed);
    m_gone = result.code == NoProgrammer;
    return !m_gone && !m_stopping && m_stop == Success;
}

// The chip under way is finished first, unless Ctrl+C comes again.
void Production::onInterruptDuringChip()
{
    if (m_stopping) {
        summary();
        m_tool.stopNow();
    }
    m_stopping = true;
    m_tool.console.status(QStringLiteral("stopping after this chip"));
}

// Between chips; false when the run ends here.
bool Production::waitNext()
{
    m_tool.console.status(QStringLiteral("next chip: the programmer's key or Enter; Ctrl+C or "
                                         "the end of input ends the run"));
    const NextChip::Outcome outcome = m_next.wait();
    if (outcome == NextChip::Gone) {
        m_gone = true;
        m_tool.console.error(QStringLiteral("the programmer went away"));
    }
    if (outcome != NextChip::Key && outcome != NextChip::Enter)
        return false;
    if (!m_next.chipChanged())
        return true;
    const int rc = m_tool.link.awaitReply(ReplyRules::quick(false));
    m_gone = rc == NoProgrammer;
    return rc == Success;
}

void Production::summary()
{
    const int chips = m_passed + m_failed;
    m_tool.console.result(
        QStringLiteral("%1 chip%2: %3 passed, %4 failed%5")
            .arg(chips)
            .arg(chips == 1 ? "" : "s")
            .arg(m_passed)
            .arg(m_failed)
            .arg(m_gone ? QStringLiteral("; the programmer went away") : QString()),
        {{"event", "summary"},
         {"chips", chips},
         {"passed", m_passed},
         {"failed", m_failed},
         {"gone", m_gone}});
}

} // namespace

int produce(Tool &tool, RunRecord &record, const QString &path)
{
    return Production(tool, record, path).run();
}
