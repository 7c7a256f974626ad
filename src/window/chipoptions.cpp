#include "chipoptions.h"

#include "core/chiptable.h"
#include "window/controls.h"
#include "window/twips.h"

#include <QButtonGroup>
#include <QRadioButton>

ChipOptions::ChipOptions(QWidget *parent) : QGroupBox(parent), m_group(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("Frame1"));
    setFont(kaiFont(ControlFont::Control));
    setTitle(QStringLiteral("Choose Chip"));
    placeInTwips(this, 240, 3480, 4092, 1212);
    struct Place {
        const char *objectName;
        int left, top, width, height;
    };
    const Place places[3] = {{"Option1", 240, 360, 1692, 180},
                             {"Option2", 2160, 360, 1692, 180},
                             {"Option3", 240, 760, 2412, 204}};
    static_assert(ChipTable::Count == 3, "one option per chip");
    for (int chip = 0; chip < ChipTable::Count; ++chip) {
        const Place &p = places[chip];
        m_options[chip] = makeControl<QRadioButton>(this, p.objectName, ControlFont::Control);
        m_options[chip]->setText(QString::fromLatin1(ChipTable::chip(chip).caption));
        placeInTwips(m_options[chip], p.left, p.top, p.width, p.height);
        m_group->addButton(m_options[chip], chip);
    }
    connect(m_group, &QButtonGroup::idClicked, this, &ChipOptions::onClicked);
    placeTabStop();
}

QRadioButton *ChipOptions::option(int chip) const
{
    return chip >= 0 && chip < ChipTable::Count ? m_options[chip] : nullptr;
}

void ChipOptions::mark(int chip)
{
    if (QRadioButton *chosen = option(chip)) {
        chosen->setChecked(true);
        m_marked = chip;
    } else {
        m_group->setExclusive(false);
        for (QRadioButton *b : m_options)
            b->setChecked(false);
        m_group->setExclusive(true);
        m_marked = -1;
    }
    placeTabStop();
}

void ChipOptions::onClicked(int chip)
{
    // Clicking (or pressing Space on) the chip already chosen changes nothing.
    if (chip != m_marked)
        emit chosen(chip);
}

void ChipOptions::placeTabStop()
{
    // As on Windows, Tab enters the group at the chosen chip (the first when none is
    // chosen) and leaves it from there; the arrow keys move within the group. Qt moves the
    // tab stop itself only when a button is clicked or focused, not when the program
    // chooses one.
    QRadioButton *stop = m_marked >= 0 ? m_options[m_marked] : m_options[0];
    for (QRadioButton *b : m_options)
        b->setFocusPolicy(b == stop ? Qt::StrongFocus : Qt::ClickFocus);
}
