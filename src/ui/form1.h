#pragma once

#include "core/form1view.h"
#include "core/portmap.h"
#include "ui/form2.h"
#include "ui/form3.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

class DialogBackend;
class Programmer;
class QAction;
class QButtonGroup;
class QLineEdit;
class QPlainTextEdit;
class QLabel;
class QRadioButton;

// The main window "USB_Vantor Programmer": controls, layout, menus and the wiring of
// their events to the handlers. All behaviour lives in Programmer.
class Form1 : public QMainWindow, public Form1View
{
    Q_OBJECT
public:
    // dialogs: who answers the file dialogs and message boxes (the real ones when null).
    explicit Form1(const PortMap &ports, DialogBackend *dialogs = nullptr,
                   QWidget *parent = nullptr);
    ~Form1() override;

    // The load event: reads the settings in startDirectory and starts discovery.
    void Form_Load(const QString &startDirectory);

    Programmer &programmer() { return *m_programmer; }
    Form2 *form2() const { return m_form2; }
    Form3 *form3() const { return m_form3; }

    // Form1View
    QString text(int box) const override;
    void setText(int box, const QString &text) override;
    void setLabel3(const QString &caption) override;
    int selectedChipOption() const override;
    void markChipOption(int option) override;
    void showForm2() override;
    void showForm3() override;
    void hideForm3() override;
    bool form3Visible() const override;
    bool form3Option(int option) const override;
    void endProgram() override;

signals:
    // Exit ran: the program should end now.
    void programEnded();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls(QWidget *client);
    void buildMenus();
    QAction *addItem(class QMenu *menu, const char *name, const QString &caption);
    void chipOptionClicked(int option);
    void fixChipTabStop();
    void centreOnScreen(QWidget *window) const;

    // The buttons that run a menu item's handler.
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();

    std::unique_ptr<DialogBackend> m_ownDialogs;
    std::unique_ptr<Programmer> m_programmer;
    QPlainTextEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QLineEdit *Text4 = nullptr;
    QLabel *Label3 = nullptr;
    QRadioButton *Options[3] = {};
    QButtonGroup *m_chipGroup = nullptr;
    int m_markedChip = 0; // the chip option the program last marked chosen
    QPointer<Form2> m_form2;
    QPointer<Form3> m_form3;
    bool m_ended = false;
};
