// Writes the program's icon, as the window draws it, into an icon theme folder for the
// desktop entry: FOLDER/hicolor/NxN/apps/usb-vantor.png at each size the desktops ask for,
// and FOLDER/hicolor/scalable/apps/usb-vantor.svg.
#include "window/artwork.h"

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

namespace
{

bool writeSvg(const QString &path)
{
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(ProgramIconDesignSize, ProgramIconDesignSize));
    svg.setViewBox(QRect(0, 0, ProgramIconDesignSize, ProgramIconDesignSize));
    svg.setTitle(QStringLiteral("USB_Vantor Programmer"));
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    painter.setRenderHint(QPainter::Antialiasing);
    drawProgramIcon(painter);
    return painter.end();
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vantor-icon FOLDER\n");
        return 2;
    }
    const QDir theme(QString::fromLocal8Bit(argv[1]) + QStringLiteral("/hicolor"));
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString path = theme.filePath(folder + QStringLiteral("/usb-vantor.png"));
        if (!theme.mkpath(folder) || !programIconPixmap(size).save(path, "PNG")) {
            std::fprintf(stderr, "vantor-icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    const QString svg = theme.filePath(QStringLiteral("scalable/apps/usb-vantor.svg"));
    if (!theme.mkpath(QStringLiteral("scalable/apps")) || !writeSvg(svg)) {
        std::fprintf(stderr, "vantor-icon: cannot write %s\n", qPrintable(svg));
        return 1;
    }
    return 0;
}
