#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>

// The program's own pictures, drawn in code: the window icon (32 x 32) and the about
// box logo (286 x 300).
QIcon programIcon();
QPixmap programIconPixmap();
// The logo is a 286 x 300 picture; everything in it is drawn within the top-left part
// of that size that a box of size visible shows, and the rest is left transparent.
QPixmap aboutLogo(const QSize &visible);

// The window face: "標楷體" where installed, else "AR PL UKai TW", else any Kai or CJK
// face, else the default.
QFont kaiFont(qreal pointSize);
