#pragma once

#include <QString>

class FileError;

// chip.log, the chip chosen last, kept between runs: its name ("2051") alone in a settings
// file (SettingsFile) in the folder the program keeps its settings in. The window and the
// tool both remember the chip through it.
class ChipLog
{
public:
    // No file: path() is empty.
    ChipLog() = default;
    // The chip.log in directory.
    explicit ChipLog(const QString &directory);

    // With the platform's separators; empty for none.
    QString path() const { return m_path; }
    // The name remembered, empty for a new or empty file; a missing file is created empty.
    // False, with *why, when it cannot be read or created.
    bool read(QString *name, FileError *why) const;
    // Remembers chip 0 to 2 by its name. False, with *why, when it could not be written.
    bool write(int chip, FileError *why) const;

private:
    QString m_path;
};
