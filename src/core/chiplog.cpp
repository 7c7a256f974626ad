#include "chiplog.h"

#include "core/chiptable.h"
#include "core/settingsfile.h"

#include <QDir>

ChipLog::ChipLog(const QString &directory)
    : m_path(SettingsFile::pathIn(QDir::toNativeSeparators(directory), QStringLiteral("chip.log")))
{
}

bool ChipLog::read(QString *name, FileError *why) const
{
    return SettingsFile::readValue(m_path, name, why) != SettingsFile::ReadResult::Failed;
}

bool ChipLog::write(int chip, FileError *why) const
{
    return SettingsFile::writeValue(m_path, QString::fromLatin1(ChipTable::chip(chip).name), why);
}
