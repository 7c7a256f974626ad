// Writes the program's icon, as the window draws it, to a PNG file for the desktop entry.
#include "window/artwork.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vantor-icon FILE.png\n");
        return 2;
    }
    if (!programIconPixmap().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "vantor-icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
