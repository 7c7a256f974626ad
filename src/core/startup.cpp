#include "startup.h"

#include "core/messages.h"
#include "core/programmer.h"
#include "core/settingsfile.h"

#include <QDir>

void Startup::Form_Load(const QString &startDirectory)
{
    const QString dir = QDir::toNativeSeparators(startDirectory);
    p.TskLogPath = SettingsFile::pathIn(dir, QStringLiteral("tsk.log"));
    p.ChipLogPath = SettingsFile::pathIn(dir, QStringLiteral("chip.log"));

    QString why;
    if (SettingsFile::readValue(p.TskLogPath, &p.LatestFile, &why) ==
        SettingsFile::ReadResult::Failed)
        warnAtStartup(Msg::settingsReadFailed(p.TskLogPath, why));
    ApplyLatestFileLabel();
    if (SettingsFile::readValue(p.ChipLogPath, &p.ChipName, &why) ==
        SettingsFile::ReadResult::Failed)
        warnAtStartup(Msg::settingsReadFailed(p.ChipLogPath, why));

    p.discovery.muFileComm_Click();
}

void Startup::WriteChipLog(const QString &chip)
{
    p.ChipName = chip;
    QString why;
    if (!SettingsFile::writeValue(p.ChipLogPath, p.ChipName, &why))
        warn(Msg::settingsWriteFailed(p.ChipLogPath, why));
}

void Startup::WriteTskLog()
{
    QString why;
    if (!SettingsFile::writeValue(p.TskLogPath, p.LatestFile, &why))
        warn(Msg::settingsWriteFailed(p.TskLogPath, why));
}

void Startup::ApplyLatestFileLabel()
{
    p.view.setLabel3(p.LatestFile.isEmpty() ? Msg::noLatestFile() : Msg::latestFile(p.LatestFile));
}

void Startup::muFileExit_Click()
{
    if (p.MSComm1.PortOpen())
        p.MSComm1.setPortOpen(false);
    p.exiting = true;
    p.view.endProgram();
}

void Startup::warn(const QString &message)
{
    p.setText(2, message);
}

void Startup::warnAtStartup(const QString &message)
{
    if (!m_startupWarning.isEmpty())
        m_startupWarning += QStringLiteral("  ");
    m_startupWarning += message;
    warn(message);
}

QString Startup::withStartupWarning(const QString &text)
{
    if (m_startupWarning.isEmpty())
        return text;
    const QString out = text + QStringLiteral("  ") + m_startupWarning;
    m_startupWarning.clear();
    return out;
}
