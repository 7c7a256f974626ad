#pragma once

#include <QGroupBox>

class QButtonGroup;
class QRadioButton;

// The "Choose Chip" frame: one option per chip of the chip table. The options show the chip
// the session reports as chosen; a click on another option is the user's choice.
class ChipOptions : public QGroupBox
{
    Q_OBJECT
public:
    explicit ChipOptions(QWidget *parent = nullptr);

    // Shows chip (0 to 2) as chosen; -1 shows none.
    void mark(int chip);
    QRadioButton *option(int chip) const;

signals:
    // The user clicked (or pressed Space or an arrow on) a chip other than the one shown.
    void chosen(int chip);

private:
    void onClicked(int chip);
    void placeTabStop();

    QButtonGroup *m_group;
    QRadioButton *m_options[3] = {};
    int m_marked = -1;
};
