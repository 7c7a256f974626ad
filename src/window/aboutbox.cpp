#include "aboutbox.h"

#include "window/artwork.h"
#include "window/twips.h"

#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

AboutBox::AboutBox(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Vantor 燒錄器  --  ") + companyChinese());
    setWindowIcon(programIcon());
    setFixedSize(twipsToPixels(this, 5040), twipsToPixels(this, 6012));

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    placeInTwips(picture, 360, 240, 4350, 3720);
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture->setPixmap(aboutLogo(picture->size()));

    struct Line {
        const char *objectName;
        int left, top, width, height;
        QString text;
    };
    const Line lines[] = {
        {"Label1", 240, 4200, 5172, 252,
         QStringLiteral("如果您對USB介面的Vantor燒錄器有任何的問題")},
        {"Label2", 240, 4440, 5292, 372, QStringLiteral("歡迎上網查詢更多相關資訊")},
        {"Label5", 240, 4920, 5292, 372,
         companyChinese() + QStringLiteral("  ") + companyEnglish()},
        {"Label3", 240, 5280, 5532, 372, QStringLiteral("我們的網址是 ") + webAddress()},
        {"Label4", 240, 5520, 5172, 372,
         QStringLiteral("我們的電話是 ") + phone1() + QStringLiteral(" 或 ") + phone2()},
    };
    for (const Line &line : lines) {
        auto *label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(line.objectName));
        label->setTextFormat(Qt::PlainText);
        label->setText(line.text);
        placeInTwips(label, line.left, line.top, line.width, line.height);
    }
}

void AboutBox::showCentred(const QScreen *screen)
{
    if (isVisible())
        return;
    // Once before showing, and once more when the size of the frame is known.
    centreOn(screen);
    show();
    centreOn(screen);
    activateWindow(); // without a window manager, the keyboard's only way to it
}

// Escape closes the box, as it closes the program's dialogs.
void AboutBox::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Cancel))
        close();
    else
        QWidget::keyPressEvent(event);
}

void AboutBox::centreOn(const QScreen *screen)
{
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}
