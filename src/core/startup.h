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

    // A settings problem is shown in Text2 when it happens.
    void warn(const QString &message);
    // A settings problem found at start-up is shown at once and again with the result of
    // the search that start-up runs (which clears Text2): withStartupWarning.
    void warnAtStartup(const QString &message);
    // text followed by the start-up problems not yet shown with a search's result; they
    // are shown with one result only.
    QString withStartupWarning(const QString &text);

private:
    Programmer &p;
    QString m_startupWarning;
};
