#pragma once

#include <QJsonObject>
#include <QString>

#include <functional>

// Where vantor-cli writes: the firmware's replies and results on standard output, status
// lines and the progress of transfers on standard error (not when quiet), errors on
// standard error always.
//
// Progress: a bar redrawn in place when standard error is a terminal; otherwise plain
// lines at 0, 25, 50, 75 and 100 percent, so that logs stay readable.
//
// With JSON on, standard output carries one JSON object a line for each event instead:
// "reply" (a line of a reply), "result", "progress" (at 0, 25, 50, 75 and 100 percent),
// "error", and "done" with the exit code last. Standard error stays as it is.
class Console
{
public:
    Console();

    static bool stderrTerminal();
    // Something kept under all that is written (a status board on the terminal): erase is
    // called before every write of every console, draw after it; null for nothing.
    static void setFooter(std::function<void()> erase, std::function<void()> draw);

    void setQuiet(bool quiet) { m_quiet = quiet; }
    void setJson(bool json) { m_json = json; }
    // One of several programmers' (station 1, 2, ...): each line it writes starts with
    // "station N: ", each JSON event carries "station", and its progress is not drawn but
    // told by progressText().
    void setStation(int number) { m_station = number; }
    // The transfer under way and how far it is ("load 45%"); empty when none is.
    QString progressText() const;

    // Reply text as it comes, its line ends as LF.
    void reply(const QString &text);
    // The reply is over: a last line without its end is ended.
    void endReply();
    // A line of the command's result, with its details for JSON (an "event" among them
    // names the event; "result" otherwise).
    void result(const QString &line, const QJsonObject &details = {});
    // An event of its own (JSON only), e.g. {"event": "chip", ...}.
    void event(const QJsonObject &event);
    // A line about what is going on.
    void status(const QString &line);
    // A line saying why the command failed.
    void error(const QString &line);
    // The run ends with this exit code.
    void done(int code);

    void progressStart(const QString &label, int total);
    void progress(int done);
    // Ends the bar or the lines with the final count.
    void progressEnd(int done);

private:
    void json(QJsonObject object) const;
    QString prefixed(const QString &line) const;
    void stationReply(const QString &text);
    void breakBar();
    void drawBar(int done);
    void progressLine(int done);
    void progressEvent(int done);

    bool m_quiet = false;
    bool m_json = false;
    bool m_tty;
    bool m_barShown = false;
    bool m_active = false;
    QString m_label;
    int m_total = 0;
    int m_done = 0;
    int m_station = 0;
    int m_lastShown = -1;     // percent (terminal) or quarter (lines) last shown
    int m_lastEvent = -1;     // quarter last sent as an event
    QString m_replyLine;      // JSON: the reply line not yet ended
    bool m_replyOpen = false; // text: the last reply text did not end its line
};
