#pragma once

#include <QObject>
#include <QString>

#include <memory>

class AboutBox;
class ChipOptions;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class Workbench;
struct Notice;

// Shows in the main window what the workbench reports: the programmer's replies in the
// response box (the text it keeps of the bytes received since the last clear), the program's
// notices in the status box, the latest-file line, the chip options' marks and the about box. It
// only writes to the controls; it reads nothing back.
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
    void appendReceived(const QByteArray &bytes);
    void showReceived(const QString &text);
    void showReceivedAgain();
    void showNotice(const Notice &notice);
    void showLatestFile(const QString &path);
    void showAboutBox();

    Controls m_controls;
    QString m_received;
    std::unique_ptr<AboutBox> m_aboutBox;
};
