#include "link.h"

#include "console.h"
#include "exitcode.h"
#include "interrupt.h"
#include "options.h"
#include "probewords.h"
#include "replyrules.h"

#include "core/chiplog.h"
#include "core/chiptable.h"
#include "core/fileerror.h"
#include "core/linetiming.h"
#include "core/messages.h"
#include "core/notice.h"
#include "core/portchoice.h"
#include "core/receivedtext.h"
#include "core/serialtransport.h"
#include "core/session.h"

#include <QDir>
#include <QTimer>

#include <memory>

namespace
{

// The search of eleven ports and its settle step take about five seconds.
constexpr int SearchLimitMs = 30000;

// chip.log could not be read, created or written: the cause in the tool's words.
QString settingsProblem(const QString &path, const char *what, const FileError &why)
{
    return QStringLiteral("%1: %2 (%3); the chip will not be remembered")
        .arg(QDir::toNativeSeparators(path), QLatin1String(what), why.english());
}

QString caption(int chip)
{
    return QString::fromLatin1(ChipTable::chip(chip).caption);
}

} // namespace

Link::Link(const Options &options, Console &console)
    : m_options(options), m_console(console), m_judging{options.settleMs, options.failOn}
{
}

void Link::setPort(PortSource source, const QString &value)
{
    m_port = StationPort{source, value, QString()};
}

Link::~Link()
{
    close();
    m_session.reset();
    m_transport.reset();
}

void Link::close()
{
    if (m_session)
        m_session->closePort();
    m_emulator.stop();
}

int Link::prepare(bool remember)
{
    QString error;
    if (!choosePorts(port().source, port().value, m_emulator, &m_ports, &error)) {
        m_console.error(QStringLiteral("cannot start vantor-sim: %1").arg(error));
        return NoProgrammer;
    }
    m_transport = std::make_unique<SerialTransport>(m_ports);
    m_session = std::make_unique<ProgrammerSession>(m_transport.get());
    m_session->setLastPort(m_transport->lastPort());
    QObject::connect(m_session.get(), &ProgrammerSession::received, &m_context,
                     [this](const QByteArray &bytes) { onReceived(bytes); });
    QObject::connect(m_session.get(), &ProgrammerSession::receivedCleared, &m_context,
                     [this] { m_lineEnds.reset(); });
    QObject::connect(m_session.get(), &ProgrammerSession::chipChosen, &m_context,
                     [this](int chip) { writeChipLog(chip); });
    QObject::connect(m_session.get(), &ProgrammerSession::keyReported, &m_context,
                     [this](int chip) { announceKey(chip); });
    m_pinned = remember && !m_options.chip.isEmpty();
    if (m_pinned)
        m_remembered = m_options.chip;
    else if (remember)
        readChipLog();
    m_session->setRememberedChip(m_remembered);
    m_session->setOperationTimeMs(m_options.operationMs);
    m_session->setChipPinned(m_pinned);
    return Success;
}

void Link::remember(const QString &chipName)
{
    if (m_pinned) {
        m_pinned = false;
        m_session->setChipPinned(false);
        readChipLog();
    }
    m_remembered = chipName;
    m_session->setRememberedChip(chipName);
}

// The chip is remembered in chip.log in the current directory, as by the window; a file
// that is missing is created empty. One that cannot be read or created is not written.
void Link::readChipLog()
{
    const ChipLog log(QDir::currentPath());
    FileError why;
    if (!log.read(&m_remembered, &why)) {
        m_console.status(settingsProblem(log.path(), "cannot read or create it", why));
        return;
    }
    m_chipLog = log;
}

void Link::writeChipLog(int chip)
{
    if (m_pinned)
        return;
    m_remembered = QString::fromLatin1(ChipTable::chip(chip).name);
    FileError why;
    if (!m_chipLog.path().isEmpty() && !m_chipLog.write(chip, &why))
        m_console.status(settingsProblem(m_chipLog.path(), "cannot write it", why));
}

// A run that holds its chip says so when the programmer's key asks for another.
void Link::announceKey(int chip)
{
    const int held = pinnedChip();
    if (held >= 0 && chip != held)
        m_console.status(QStringLiteral("the programmer's key asks for %1; this run is for %2")
                             .arg(caption(chip), caption(held)));
}

StationPort Link::port() const
{
    return m_port ? *m_port : StationPort{m_options.ports, m_options.portValue, QString()};
}

QString Link::portName() const
{
    const QString device = m_session ? m_ports.device(m_session->port()) : QString();
    return device.isEmpty() ? port().value : device;
}

int Link::expectedChip() const
{
    return ChipTable::forRemembered(m_remembered);
}

int Link::pinnedChip() const
{
    return m_pinned ? ChipTable::byName(m_remembered) : -1;
}

QString Link::whatWasInterrupted() const
{
    return interruptedText(m_underWay, m_programmed);
}

void Link::begin(const QByteArray &step)
{
    m_underWay = step;
    m_programmed = m_programmed || step == "P" || step == "Q";
}

void Link::setReplies(Replies replies)
{
    if (m_replies == Replies::Status && !m_partial.trimmed().isEmpty())
        m_console.status(m_partial.trimmed());
    if (m_replies == Replies::Output)
        m_console.endReply();
    m_partial.clear();
    m_replies = replies;
}

// The bytes received since the last command, piece by piece; a clear starts a new reply.
void Link::onReceived(const QByteArray &bytes)
{
    const QString added = m_lineEnds.feed(ReceivedText::decode(bytes));
    if (added.isEmpty())
        return;
    if (m_replies == Replies::Output)
        m_console.reply(added);
    else if (m_replies == Replies::Status)
        statusLines(added);
}

// Status lines are whole lines: a piece without its line end waits for the rest.
void Link::statusLines(const QString &added)
{
    m_partial += added;
    const qsizetype end = m_partial.lastIndexOf(QLatin1Char('\n'));
    if (end < 0)
        return;
    const QStringList lines = m_partial.left(end).split(QLatin1Char('\n'));
    m_partial.remove(0, end + 1);
    for (const QString &line : lines) {
        if (!line.trimmed().isEmpty())
            m_console.status(line.trimmed());
    }
}

int Link::lastSearchedPort() const
{
    return qMin(m_transport->lastPort(), int(LineTiming::LastPort));
}

int Link::connect(Replies chipReplies)
{
    return waitFor([&](Done done) { startConnect(chipReplies, std::move(done)); });
}

void Link::startConnect(Replies chipReplies, Done done)
{
    if (lastSearchedPort() == 0) {
        m_console.error(QStringLiteral("no serial ports to search"));
        done(NoProgrammer);
        return;
    }
    setReplies(Replies::Hidden); // the identification is shown once, whole, after the search
    auto chipSent = std::make_shared<bool>(false);
    startSearch(chipSent.get(), [this, chipReplies, chipSent, done](int rc) {
        if (rc != Success || !*chipSent) {
            setReplies(Replies::Output);
            done(rc);
            return;
        }
        setReplies(chipReplies);
        // A chip may be chosen silently.
        startReplyWait(ReplyRules::quick(false), [this, done](int code) {
            setReplies(Replies::Output);
            done(code);
        });
    });
}

// The search and its settle step; *chipSent tells whether the chip's command went out.
void Link::startSearch(bool *chipSent, const Done &done)
{
    enum { Gone = NoProgrammer + 1 };
    ProgrammerSession *s = m_session.get();
    begin({});
    m_probes.clear();
    m_identityShown = false;
    auto *search = new QObject(&m_context); // the search's connections end with it
    auto *limit = new QTimer(search);
    limit->setSingleShot(true);
    auto end = [this, search, limit, done](int rc) {
        limit->stop();
        QObject::disconnect(m_session.get(), nullptr, search, nullptr);
        search->deleteLater();
        searchEnded(rc == Gone ? NoProgrammer : rc, rc == Gone, done);
    };
    QObject::connect(limit, &QTimer::timeout, search, [end] { end(NoProgrammer); });
    QObject::connect(s, &ProgrammerSession::probing, search, [this](int port) {
        m_console.status(Messages::text(Notice(Notice::Probing, port)));
    });
    QObject::connect(s, &ProgrammerSession::probed, search,
                     [this](int port, const PortProbe &probe) { m_probes.insert(port, probe); });
    QObject::connect(s, &ProgrammerSession::found, search, [this](int port) {
        m_console.status(Messages::text(Notice(Notice::Found, port)));
    });
    // Before the chip's command clears the received text.
    QObject::connect(s, &ProgrammerSession::chipChosen, search, [this, chipSent] {
        showIdentification();
        *chipSent = true;
    });
    QObject::connect(s, &ProgrammerSession::settled, search, [this, end] {
        showIdentification();
        end(Success);
    });
    QObject::connect(s, &ProgrammerSession::notFound, search, [end] { end(NoProgrammer); });
    QObject::connect(s, &ProgrammerSession::removed, search, [end] { end(Gone); });
    limit->start(SearchLimitMs);
    m_session->search();
}

void Link::searchEnded(int rc, bool gone, const Done &done)
{
    if (rc != Success) {
        m_session->closePort();
        if (gone)
            m_console.error(QStringLiteral("the programmer went away"));
        else
            reportNotFound();
    }
    done(rc);
}

void Link::showIdentification()
{
    if (m_identityShown)
        return;
    m_identityShown = true;
    const QString text =
        identification(m_probes.value(m_session->port()).answer, m_session->receivedText());
    m_identity = text;
    for (const QString &line : replyLines(text)) {
        if (!line.trimmed().isEmpty())
            m_console.status(line.trimmed());
    }
}

// Each port with a device, and why it was not the programmer.
void Link::reportNotFound()
{
    m_console.error(QStringLiteral("no programmer found"));
    for (auto p = m_probes.cbegin(); p != m_probes.cend(); ++p) {
        const QString device = m_ports.device(p.key());
        if (!device.isEmpty())
            m_console.error(
                QStringLiteral("COM%1 %2: %3").arg(p.key()).arg(device, probeText(p.value())));
    }
}
