#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>

class QPainter;

// The program's own pictures, drawn in code: the window icon (32 x 32) and the about
// box logo (286 x 300).
QIcon programIcon();
// The icon is designed on a 32 x 32 grid; drawProgramIcon() paints it there, for any
// paint device (the installed icons, the scalable one included, are drawn through it).
constexpr int ProgramIconDesignSize = 32;
void drawProgramIcon(QPainter &painter);
QPixmap programIconPixmap(int size = ProgramIconDesignSize);
// The logo is a 286 x 300 picture; everything in it is drawn within the top-left part
// of that size that a box of size visible shows, and the rest is left transparent.
QPixmap aboutLogo(const QSize &visible);

// The window face: "標楷體" where installed, else "AR PL UKai TW", else any Kai or CJK
// face, else the default.
QFont kaiFont(qreal pointSize);
