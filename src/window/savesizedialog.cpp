#include "savesizedialog.h"

#include "window/twips.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace
{

struct SizeOption {
    const char *caption;
    int bytes;
};
// In the window's order, top to bottom.
constexpr SizeOption Sizes[3] = {{"2K Bytes", 2048}, {"4K Bytes", 4096}, {"1K Bytes", 1024}};

} // namespace

SaveSizeDialog::SaveSizeDialog(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Select Size"));
    setFixedSize(twipsToPixels(this, 2760), twipsToPixels(this, 1608));

    auto *group = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        m_options[i] = new QRadioButton(QString::fromLatin1(Sizes[i].caption), this);
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
    for (int i = 0; i < 3; ++i) {
        if (m_options[i]->isChecked()) {
            emit sizeChosen(Sizes[i].bytes);
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
