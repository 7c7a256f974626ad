#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>

// The program's own pictures, drawn in code: the window icon (32 x 32) and the about
// box logo (286 x 300).
QIcon programIcon();
QPixmap programIconPixmap();
QPixmap aboutLogo();

// The window face: "標楷體" where installed, else "AR PL UKai TW", else any Kai or CJK
// face, else the default.
QFont kaiFont(qreal pointSize);
