#include "savesizedialog.h"

#include "window/twips.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace
{

// The sizes, top to bottom, are the chips' in the order of their options.
int sizeOf(int option)
{
    return ChipTable::chip(option).flashSize;
}

} // namespace

SaveSizeDialog::SaveSizeDialog(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Select Size"));
    setFixedSize(twipsToPixels(this, 2760), twipsToPixels(this, 1608));

    auto *group = new QButtonGroup(this);
    for (int i = 0; i < ChipTable::Count; ++i) {
        m_options[i] = new QRadioButton(QStringLiteral("%1K Bytes").arg(sizeOf(i) / 1024), this);
        m_options[i]->setObjectName(QStringLiteral("Option%1").arg(i + 1));
        placeInTwips(m_options[i], 120, 360 + 360 * i, 2000, 360);
        group->addButton(m_options[i]);
    }
    m_options[0]->setChecked(true);

    auto *label = new QLabel(this);
    label->setObjectName(QStringLiteral("Label1"));
    label->setTextFormat(Qt::PlainText);
    label->setText(QStringLiteral("選擇要儲存的檔案大小"));
    placeInTwips(label, 120, 120, 2412, 372);

    auto *saveButton = new QPushButton(QStringLiteral("SAVE"), this);
    saveButton->setObjectName(QStringLiteral("Command1"));
    placeInTwips(saveButton, 1440, 960, 1212, 492);
    saveButton->setAutoDefault(true); // Enter clicks it when it has the focus
    connect(saveButton, &QPushButton::clicked, this, &SaveSizeDialog::chooseSize);

    setTabOrder(m_options[0], m_options[1]);
    setTabOrder(m_options[1], m_options[2]);
    setTabOrder(m_options[2], saveButton);
}

void SaveSizeDialog::ask()
{
    show();
    raise();
    activateWindow();
}

void SaveSizeDialog::chooseSize()
{
    for (int i = 0; i < ChipTable::Count; ++i) {
        if (m_options[i]->isChecked()) {
            emit sizeChosen(sizeOf(i));
            return;
        }
    }
}

void SaveSizeDialog::closeEvent(QCloseEvent *event)
{
    // SAVE only hides the window; a close means the user gave up on the size.
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit abandoned();
}
