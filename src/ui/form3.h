#pragma once

#include <QWidget>

class QRadioButton;
class QPushButton;

// "Select Size": the block size for Save. Created on first use, then only hidden, so the
// last choice stays for the run.
class Form3 : public QWidget
{
    Q_OBJECT
public:
    explicit Form3(QWidget *parent = nullptr);

    bool Option(int option) const;

signals:
    // SAVE was clicked.
    void Command1_Click();
    // The window was closed other than by SAVE (its close box).
    void QueryUnload();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QRadioButton *m_options[3];
};
