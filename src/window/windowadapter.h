#pragma once

#include <QObject>

#include <memory>

class AboutBox;
class ChipOptions;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class Workbench;
struct Notice;

// Shows in the main window what the workbench and its session report: the programmer's
// replies in the response box, the program's notices in the status box, the latest-file
// line, the chip options' marks and the about box. It only writes to the controls; it
// reads nothing back.
class WindowAdapter : public QObject
{
    Q_OBJECT
public:
    struct Controls {
        QPlainTextEdit *responseBox;
        QLineEdit *statusBox;
        QLabel *latestFileLine;
        ChipOptions *chipOptions;
    };

    WindowAdapter(Workbench &workbench, const Controls &controls, QObject *parent = nullptr);
    ~WindowAdapter() override;

    // The about box, once the search has given up (null before).
    AboutBox *aboutBox() const { return m_aboutBox.get(); }

private:
    void showReceived(const QString &text);
    void showReceivedAgain(const QString &text);
    void showNotice(const Notice &notice);
    void showLatestFile(const QString &path);
    void showAboutBox();

    Controls m_controls;
    std::unique_ptr<AboutBox> m_aboutBox;
};
