#include "controls.h"

#include <QPainter>
#include <QTextOption>

void WrappingLabel::paintEvent(QPaintEvent *)
{
    QRect area = contentsRect();
    if (const QWidget *parent = parentWidget())
        area.setRight(qMin(area.right(), parent->width() - x() - 1));
    QTextOption option(alignment() & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(QRectF(area), text(), option);
}
