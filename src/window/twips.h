#pragma once

#include <QRect>

class QWidget;

// Positions and sizes are designed in twips (1440 to the inch) and drawn at the screen's
// logical resolution.
int twipsToPixels(const QWidget *widget, int twips);
QRect twipsRect(const QWidget *widget, int left, int top, int width, int height);
void placeInTwips(QWidget *widget, int left, int top, int width, int height);
