#include "twips.h"

#include <QWidget>
#include <QtMath>

int twipsToPixels(const QWidget *widget, int twips)
{
    const int dpi = widget ? widget->logicalDpiX() : 96;
    return qRound(twips * dpi / 1440.0);
}

QRect twipsRect(const QWidget *widget, int left, int top, int width, int height)
{
    return QRect(twipsToPixels(widget, left), twipsToPixels(widget, top),
                 twipsToPixels(widget, width), twipsToPixels(widget, height));
}

void placeInTwips(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsRect(widget, left, top, width, height));
}
