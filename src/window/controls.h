#pragma once

#include "window/artwork.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <limits>
#include <type_traits>

// Font sizes of the main window's controls, in points of the window's face.
namespace ControlFont
{
constexpr qreal Control = 10.8;
constexpr qreal Status = 9.0;
constexpr qreal Window = 12.0;
} // namespace ControlFont

// A control of the main window: its object name, the window's face at pointSize, and the
// behaviour every control of its kind shares.
template <typename W> W *makeControl(QWidget *parent, const char *objectName, qreal pointSize)
{
    auto *w = new W(parent);
    w->setObjectName(QString::fromLatin1(objectName));
    w->setFont(kaiFont(pointSize));
    // A label shows its text as written: a file name is never read as markup.
    if constexpr (std::is_base_of_v<QLabel, W>)
        w->setTextFormat(Qt::PlainText);
    // Enter clicks the focused button, as Space does.
    if constexpr (std::is_base_of_v<QPushButton, W>)
        w->setAutoDefault(true);
    // Text boxes take any length (Qt stops at 32,767 characters unless told).
    if constexpr (std::is_base_of_v<QLineEdit, W>)
        w->setMaxLength(std::numeric_limits<int>::max());
    return w;
}

// The latest-file line: a label that wraps a long path onto its second line, between words
// where it can and anywhere where it must, within the part of the label that lies inside
// its window (the label reaches past the window's right edge). The text itself is left
// exactly as set.
class WrappingLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override;
};
