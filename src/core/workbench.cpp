#include "workbench.h"
#include "workbenchprivate.h"

#include "core/fileerror.h"
#include "core/imagefile.h"
#include "core/requests.h"
#include "core/settingsfile.h"

#include <QDir>

Workbench::Workbench(Transport *transport, DialogBackend *dialogs, Clock *clock, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(transport, dialogs, clock, this))
{
    connectSession();
}

Workbench::~Workbench() = default;

void Workbench::connectSession()
{
    ProgrammerSession *s = &d->session;
    connect(s, &ProgrammerSession::searchStarted, this, [this] { show(Notice::Cleared); });
    connect(s, &ProgrammerSession::probing, this, [this](int n) { show(Notice::Probing, n); });
    connect(s, &ProgrammerSession::found, this, [this](int port) {
        Notice n(Notice::Found);
        n.number = port;
        n.appended = takeStartupWarning();
        emit notice(n);
    });
    connect(s, &ProgrammerSession::notFound, this, [this] {
        emit aboutRequested();
        Notice n(Notice::NotInstalled);
        n.appended = takeStartupWarning();
        emit notice(n);
    });
    connect(s, &ProgrammerSession::chipChosen, this, &Workbench::writeChipLog);
    connect(s, &ProgrammerSession::removed, this, [this] { show(Notice::Removed); });
    connect(s, &ProgrammerSession::imageStarted, this, [this](int bytes) {
        Notice n(Notice::Progress, d->latestFile);
        n.number = bytes;
        emit notice(n);
    });
    connect(s, &ProgrammerSession::imageFinished, this, &Workbench::onImageFinished);
    connect(s, &ProgrammerSession::blockFinished, this, &Workbench::onBlockFinished);
}

ProgrammerSession &Workbench::session()
{
    return d->session;
}

QString Workbench::latestFile() const
{
    return d->latestFile;
}

// --- Start-up, settings, exit --------------------------------------------------------------

void Workbench::start(const QString &directory)
{
    const QString dir = QDir::toNativeSeparators(directory);
    d->tskLog = SettingsFile::pathIn(dir, QStringLiteral("tsk.log"));
    d->chipLog = ChipLog(dir);
    FileError why;
    if (SettingsFile::readValue(d->tskLog, &d->latestFile, &why) ==
        SettingsFile::ReadResult::Failed)
        warnAtStartup(d->tskLog, why.chinese());
    emit latestFileChanged(d->latestFile);
    QString chip;
    if (!d->chipLog.read(&chip, &why))
        warnAtStartup(d->chipLog.path(), why.chinese());
    d->session.setRememberedChip(chip);
    search();
}

void Workbench::warnAtStartup(const QString &path, const QString &why)
{
    const Notice n(Notice::SettingsRead, path, why);
    // Shown now, and again with the search's result, which comes after the search has
    // cleared the status box.
    if (!d->startupWarning.isEmpty())
        d->startupWarning += QStringLiteral("  ");
    d->startupWarning += Messages::text(n);
    emit notice(n);
}

QString Workbench::takeStartupWarning()
{
    QString warning;
    warning.swap(d->startupWarning);
    return warning;
}

void Workbench::writeTskLog()
{
    FileError why;
    if (!SettingsFile::writeValue(d->tskLog, d->latestFile, &why))
        emit notice(Notice(Notice::SettingsWrite, d->tskLog, why.chinese()));
}

void Workbench::writeChipLog(int chip)
{
    FileError why;
    if (!d->chipLog.write(chip, &why))
        emit notice(Notice(Notice::SettingsWrite, d->chipLog.path(), why.chinese()));
}

void Workbench::exit()
{
    d->session.closePort();
    d->transfer = 0;
    emit exitRequested();
}

// --- Search, commands, chips, fill and dump ------------------------------------------------

void Workbench::show(Notice::Kind kind, qint64 number)
{
    emit notice(Notice(kind, number));
}

void Workbench::showRefusal(Refusal refusal)
{
    if (refusal == Refusal::Busy)
        show(Notice::Busy);
    else if (refusal == Refusal::Searching)
        show(Notice::Searching);
}

void Workbench::search()
{
    showRefusal(d->session.search());
}

void Workbench::command(const QByteArray &command)
{
    showRefusal(d->session.sendCommand(command));
}

void Workbench::chooseChip(int chip)
{
    showRefusal(d->session.chooseChip(chip));
}

// The fill and dump boxes: refused while busy; otherwise the replies and the status box are
// emptied before the box's text is checked.
bool Workbench::clearForSramRequest()
{
    if (d->session.isBusy()) {
        show(Notice::Busy);
        return false;
    }
    d->session.clearReceived();
    show(Notice::Cleared);
    return true;
}

void Workbench::fill(const QString &text)
{
    if (!clearForSramRequest())
        return;
    const FillText fill = checkFillText(text);
    if (!fill.ok) {
        show(Notice::BadFill);
        return;
    }
    d->session.queueRequest(fillRequest(fill.value));
}

void Workbench::dump(const QString &text)
{
    if (!clearForSramRequest())
        return;
    const DumpText dump = checkDumpText(text);
    switch (dump.verdict) {
    case DumpText::Empty:
        show(Notice::NoAddress);
        return;
    case DumpText::Invalid:
        show(Notice::BadAddress);
        return;
    case DumpText::BeyondMemory:
        show(Notice::AddressTooHigh);
        return;
    case DumpText::Ok:
        break;
    }
    d->session.queueRequest(dumpRequest(dump.address));
}
