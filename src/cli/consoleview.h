#pragma once

#include "core/form1view.h"

#include <QElapsedTimer>
#include <QString>

class Console;

// The main window's part for vantor-cli: the four text boxes kept in memory, the chip
// options as a number, no secondary windows. What the receive poller adds to the
// response box (Text1) is the firmware's reply and is passed on as it comes; what the
// status box (Text2) shows becomes a status line.
class ConsoleView : public Form1View
{
public:
    enum class Replies { ToOutput, ToStatus, Hidden };

    explicit ConsoleView(Console &console) : m_console(console) { m_sinceReply.start(); }

    // Where replies go from now on.
    void setReplies(Replies replies);
    // Whether the status box becomes status lines.
    void setStatusShown(bool shown) { m_statusShown = shown; }
    // The reply text added since the response box was last cleared (every command clears
    // it) or clearReply(), and how long ago the last piece came.
    QString reply() const { return m_reply; }
    void clearReply() { m_reply.clear(); }
    qint64 msSinceReply() const { return m_sinceReply.elapsed(); }

    QString text(int box) const override;
    void setText(int box, const QString &text) override;
    void setLabel3(const QString &) override {}
    int selectedChipOption() const override { return m_chipOption; }
    void markChipOption(int option) override { m_chipOption = option; }
    void showForm2() override {}
    void showForm3() override {}
    void hideForm3() override {}
    bool form3Visible() const override { return false; }
    bool form3Option(int) const override { return false; }
    void endProgram() override {}

private:
    Console &m_console;
    Replies m_replies = Replies::ToStatus;
    QString m_texts[5];
    QString m_reply;
    QString m_partial; // the start of a status line still arriving
    QElapsedTimer m_sinceReply;
    int m_chipOption = 0;
    bool m_statusShown = true;
};
