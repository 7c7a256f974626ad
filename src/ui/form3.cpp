#include "form3.h"

#include "ui/twips.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

Form3::Form3(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Select Size"));
    setFixedSize(twipsToPixels(this, 2760), twipsToPixels(this, 1608));

    auto *group = new QButtonGroup(this);
    const char *captions[3] = {"2K Bytes", "4K Bytes", "1K Bytes"};
    for (int i = 0; i < 3; ++i) {
        m_options[i] = new QRadioButton(QString::fromLatin1(captions[i]), this);
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

    auto *save = new QPushButton(QStringLiteral("SAVE"), this);
    save->setObjectName(QStringLiteral("Command1"));
    placeInTwips(save, 1440, 960, 1212, 492);
    save->setAutoDefault(true); // Enter clicks it when it has the focus
    connect(save, &QPushButton::clicked, this, &Form3::Command1_Click);

    setTabOrder(m_options[0], m_options[1]);
    setTabOrder(m_options[1], m_options[2]);
    setTabOrder(m_options[2], save);
}

bool Form3::Option(int option) const
{
    return option >= 1 && option <= 3 && m_options[option - 1]->isChecked();
}

void Form3::closeEvent(QCloseEvent *event)
{
    // SAVE only hides the window; a close means the user gave up on the size.
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit QueryUnload();
}
