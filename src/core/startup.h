#pragma once

#include <QString>

class Programmer;

// Start-up (Form_Load), the settings files, the latest-file label and Exit.
class Startup
{
public:
    explicit Startup(Programmer &p) : p(p) {}

    // Reads tsk.log and chip.log from the start-up directory, words Label3 and runs the
    // ComPort check.
    void Form_Load(const QString &startDirectory);
    void WriteChipLog(const QString &chip);
    void WriteTskLog();
    // The latest-file label rule.
    void ApplyLatestFileLabel();
    void muFileExit_Click();

    // A settings problem is shown in Text2 at once and again at the end of the next
    // operation that writes its own final text, so that it is not lost under it.
    void warn(const QString &message);
    bool hasWarning() const { return !m_warning.isEmpty(); }
    QString withWarning(const QString &text);

private:
    Programmer &p;
    QString m_warning;
};
