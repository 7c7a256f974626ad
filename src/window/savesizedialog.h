#pragma once

#include "core/chiptable.h"

#include <QWidget>

class QRadioButton;

// "Select Size": the size of the block Save reads back. Shown without blocking; created once
// and afterwards only hidden, so the last choice stays for the run.
class SaveSizeDialog : public QWidget
{
    Q_OBJECT
public:
    explicit SaveSizeDialog(QWidget *parent = nullptr);

    // Shows the window, or brings it to the front when it is up already.
    void ask();

signals:
    // SAVE was clicked with this size chosen: 2048, 4096 or 1024 bytes.
    void sizeChosen(int bytes);
    // The window was closed other than by SAVE (its close box).
    void abandoned();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void chooseSize();

    QRadioButton *m_options[ChipTable::Count] = {};
};
