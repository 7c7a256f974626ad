#pragma once

#include <QString>

// Where vantor-cli writes: the firmware's replies and results on standard output, status
// lines and the progress of transfers on standard error (not when quiet), errors on
// standard error always.
//
// Progress: a bar redrawn in place when standard error is a terminal; otherwise plain
// lines at 0, 25, 50, 75 and 100 percent, so that logs stay readable.
class Console
{
public:
    Console();

    void setQuiet(bool quiet) { m_quiet = quiet; }

    // Reply text as it comes, its line ends as LF.
    void reply(const QString &text);
    // The reply is over: a last line without its end is ended.
    void endReply();
    // A line of the command's result.
    void result(const QString &line);
    // A line about what is going on.
    void status(const QString &line);
    // A line saying why the command failed.
    void error(const QString &line);

    void progressStart(const QString &label, int total);
    void progress(int done);
    // Ends the bar or the lines with the final count.
    void progressEnd(int done);

private:
    void breakBar();
    void drawBar(int done);

    bool m_quiet = false;
    bool m_tty;
    bool m_barShown = false;
    bool m_active = false;
    QString m_label;
    int m_total = 0;
    int m_lastShown = -1;     // percent (terminal) or quarter (lines) last shown
    bool m_replyOpen = false; // the last reply text did not end its line
};
