#pragma once

#include <QMainWindow>

#include <functional>
#include <initializer_list>
#include <memory>

class AboutBox;
class ChipOptions;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class SaveSizeDialog;
class WindowAdapter;
class Workbench;

// The main window "USB_Vantor Programmer": its controls, fixed layout and menus, each wired
// to what the workbench does for it. What it shows comes from its adapter.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(Workbench &workbench, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The secondary windows, once they have been shown (null before).
    AboutBox *aboutBox() const;
    SaveSizeDialog *sizeDialog() const { return m_sizeDialog.get(); }

signals:
    // Exit ran: the program should end now.
    void programEnded();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct MenuItem {
        const char *objectName;
        const char *caption; // null for a separator
        std::function<void()> run;
    };

    void buildTextBoxes(QWidget *client);
    void buildSramFrame(QWidget *client);
    void buildButtons(QWidget *client);
    void buildMenus();
    QMenu *addMenu(const char *objectName, const QString &caption,
                   std::initializer_list<MenuItem> items);
    std::function<void()> sending(const char *command);

    void fill();
    void dump();
    void offerSave();
    void saveChosenSize(int bytes);
    void endProgram();

    Workbench &m_workbench;
    QPlainTextEdit *m_responseBox = nullptr;
    QLineEdit *m_statusBox = nullptr;
    ChipOptions *m_chipOptions = nullptr;
    QLineEdit *m_fillBox = nullptr;
    QLineEdit *m_dumpBox = nullptr;
    QPushButton *m_fillButton = nullptr;
    QPushButton *m_dumpButton = nullptr;
    QLabel *m_latestFileLine = nullptr;
    std::unique_ptr<SaveSizeDialog> m_sizeDialog;
    WindowAdapter *m_adapter = nullptr;
    bool m_ended = false;
};
