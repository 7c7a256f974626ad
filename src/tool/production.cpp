// write FILE --repeat: a production run. Each chip is written and compared with the image;
// the tool then waits for the next one: the programmer's key (a key report) or Enter.
// Ctrl+C (after the chip under way) or the end of input ends the run with a summary.
#include "commands.h"
#include "exitcode.h"
#include "replyrules.h"
#include "tool.h"
#include "wait.h"

#include "core/chiptable.h"
#include "core/imagefile.h"
#include "core/session.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <unistd.h>

namespace
{

int interruptPipe[2] = {-1, -1};

void onInterrupt(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(interruptPipe[1], &byte, 1);
    std::signal(SIGINT, SIG_DFL); // a second Ctrl+C stops at once
}

// What ends the wait between two chips: the key, Enter, the end of input or Ctrl+C, which
// may also come while a chip is being written.
class NextChip
{
public:
    enum Outcome { Key, Enter, EndOfInput, Interrupted };

    explicit NextChip(ProgrammerSession &session);
    ~NextChip();
    bool interrupted() const { return m_interrupted; }
    // Whether the key report chose another chip (its command went out).
    bool chipChanged() const { return m_chipChanged; }
    Outcome wait();

private:
    void onInput();

    ProgrammerSession &m_session;
    QSocketNotifier m_input{STDIN_FILENO, QSocketNotifier::Read};
    std::unique_ptr<QSocketNotifier> m_interrupt;
    Wait *m_wait = nullptr;
    bool m_interrupted = false;
    bool m_ended = false;
    bool m_chipChanged = false;
};

NextChip::NextChip(ProgrammerSession &session) : m_session(session)
{
    if (::pipe(interruptPipe) == 0) {
        m_interrupt = std::make_unique<QSocketNotifier>(interruptPipe[0], QSocketNotifier::Read);
        QObject::connect(m_interrupt.get(), &QSocketNotifier::activated, [this] {
            char byte = 0;
            [[maybe_unused]] const ssize_t n = ::read(interruptPipe[0], &byte, 1);
            m_interrupted = true;
            if (m_wait)
                m_wait->finish(Interrupted);
        });
        std::signal(SIGINT, onInterrupt);
    }
    QObject::connect(&m_input, &QSocketNotifier::activated, [this] { onInput(); });
}

NextChip::~NextChip()
{
    std::signal(SIGINT, SIG_DFL);
    m_interrupt.reset();
    for (int &fd : interruptPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
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

NextChip::Outcome NextChip::wait()
{
    if (m_interrupted || m_ended)
        return m_interrupted ? Interrupted : EndOfInput;
    Wait wait;
    m_wait = &wait;
    m_chipChanged = false;
    QObject::connect(&m_session, &ProgrammerSession::keyReported, wait.context(),
                     [&] { wait.finish(Key); });
    QObject::connect(&m_session, &ProgrammerSession::chipChosen, wait.context(),
                     [this] { m_chipChanged = true; });
    QObject::connect(&m_session, &ProgrammerSession::removed, wait.context(),
                     [&] { wait.finish(EndOfInput); });
    const auto outcome = static_cast<Outcome>(wait.run());
    m_wait = nullptr;
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
    tool.console.result(line + QStringLiteral(" (%1 passed, %2 failed)").arg(passed).arg(failed),
                        details);
}

ChipResult nextResult(Tool &tool, const QByteArray &image, const QString &path)
{
    if (tool.chipTakes(static_cast<int>(image.size())))
        return writeChip(tool, image, path);
    tool.console.error(QStringLiteral("the image does not fit the chip now chosen"));
    return {Failed, -1};
}

} // namespace

int produce(Tool &tool, const QByteArray &image, const QString &path)
{
    NextChip next(tool.link.session());
    int passed = 0;
    int failed = 0;
    ChipResult result{Success, -1};
    for (;;) {
        result = nextResult(tool, image, path);
        logChip(tool, image, result);
        ++(result.code == Success ? passed : failed);
        tally(tool, passed + failed, result, passed, failed);
        if (result.code == NoProgrammer)
            break;
        tool.console.status(QStringLiteral("next chip: the programmer's key or Enter; Ctrl+C or "
                                           "the end of input ends the run"));
        const NextChip::Outcome outcome = next.wait();
        if (outcome == NextChip::EndOfInput || outcome == NextChip::Interrupted)
            break;
        if (next.chipChanged() && tool.link.awaitReply(ReplyRules::quick(false)) != Success)
            break;
    }
    tool.console.result(
        QStringLiteral("%1 chips: %2 passed, %3 failed")
            .arg(passed + failed)
            .arg(passed)
            .arg(failed),
        {{"event", "summary"}, {"chips", passed + failed}, {"passed", passed}, {"failed", failed}});
    if (result.code == NoProgrammer)
        return NoProgrammer;
    return failed == 0 ? Success : Failed;
}

void logChip(Tool &tool, const QByteArray &image, const ChipResult &result)
{
    if (tool.options.logPath.isEmpty())
        return;
    const int chip = tool.link.session().chip();
    const QDateTime now = QDateTime::currentDateTime();
    const QStringList fields{
        now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate),
        chip >= 0 ? QString::fromLatin1(ChipTable::chip(chip).caption) : QString(),
        hexText(ImageFile::Checksum(image), 4),
        result.code == Success ? QStringLiteral("passed") : QStringLiteral("failed"),
        result.firstDifference >= 0 ? QStringLiteral("0x") + hexText(result.firstDifference, 4)
                                    : QString(),
    };
    QFile log(tool.options.logPath);
    if (!log.open(QIODevice::Append) ||
        log.write(fields.join(QLatin1Char(',')).toUtf8() + '\n') < 0)
        tool.console.error(
            QStringLiteral("%1: cannot write the log: %2")
                .arg(QDir::toNativeSeparators(tool.options.logPath), log.errorString()));
}
