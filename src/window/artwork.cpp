#include "artwork.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace
{

// A DIP chip seen from above, in the 16-colour palette's blue, grey and yellow.
void drawChip(QPainter &painter, const QRectF &body, int pinsPerSide)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xC0, 0xC0, 0xC0));
    const qreal pitch = body.width() / pinsPerSide;
    const qreal pinLength = body.height() * 0.18;
    for (int i = 0; i < pinsPerSide; ++i) {
        const qreal x = body.left() + pitch * (i + 0.25);
        painter.drawRect(QRectF(x, body.top() - pinLength, pitch * 0.5, pinLength));
        painter.drawRect(QRectF(x, body.bottom(), pitch * 0.5, pinLength));
    }
    painter.setBrush(QColor(0x00, 0x00, 0x80));
    painter.drawRect(body);
    painter.setBrush(QColor(0xFF, 0xFF, 0x00));
    const qreal notch = body.height() * 0.22;
    painter.drawEllipse(QPointF(body.left() + notch, body.center().y()), notch * 0.5, notch * 0.5);
}

// One line centred in box, in font made smaller where needed so that it fits the box
// with a margin on either side.
void drawFittedText(QPainter &painter, const QRectF &box, QFont font, const QString &text)
{
    const qreal room = box.width() - 16;
    for (;;) {
        const QFontMetricsF metrics(font);
        if ((metrics.horizontalAdvance(text) <= room && metrics.height() <= box.height()) ||
            font.pointSizeF() <= 4)
            break;
        font.setPointSizeF(font.pointSizeF() * 0.9);
    }
    painter.setFont(font);
    painter.drawText(box, Qt::AlignCenter, text);
}

} // namespace

void drawProgramIcon(QPainter &painter)
{
    drawChip(painter, QRectF(3, 9, 26, 14), 5);
    // A lightning stroke: programming.
    QPainterPath bolt;
    bolt.moveTo(19, 4);
    bolt.lineTo(12, 17);
    bolt.lineTo(17, 17);
    bolt.lineTo(13, 29);
    bolt.lineTo(22, 14);
    bolt.lineTo(17, 14);
    bolt.closeSubpath();
    painter.setPen(QPen(QColor(0x80, 0x00, 0x00), 1));
    painter.setBrush(QColor(0xFF, 0x00, 0x00));
    painter.drawPath(bolt);
}

QPixmap programIconPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    // The design's own size is drawn pixel for pixel; other sizes are smoothed.
    if (size != ProgramIconDesignSize) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(qreal(size) / ProgramIconDesignSize, qreal(size) / ProgramIconDesignSize);
    }
    drawProgramIcon(painter);
    return pixmap;
}

QIcon programIcon()
{
    return QIcon(programIconPixmap());
}

QPixmap aboutLogo(const QSize &visible)
{
    // The design: 286 x 240, scaled down only where the box shows less than that.
    constexpr qreal DesignWidth = 286;
    constexpr qreal DesignHeight = 240;
    QPixmap pixmap(286, 300);
    pixmap.fill(Qt::transparent);
    const qreal scale =
        qMin<qreal>(1.0, qMin(visible.width() / DesignWidth, visible.height() / DesignHeight));
    if (scale <= 0)
        return pixmap;
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // Whole pixels only, so that nothing spills past the design's last row and column.
    const QSize drawn(qFloor(DesignWidth * scale), qFloor(DesignHeight * scale));
    painter.setClipRect(QRect(QPoint(0, 0), drawn));
    painter.scale(scale, scale);
    QLinearGradient sky(0, 0, 0, DesignHeight);
    sky.setColorAt(0, QColor(0x00, 0x33, 0x99));
    sky.setColorAt(1, QColor(0x66, 0x99, 0xFF));
    painter.fillRect(QRectF(0, 0, DesignWidth, DesignHeight), sky);
    drawChip(painter, QRectF(43, 40, 200, 80), 10);
    painter.setPen(Qt::white);
    QFont title = kaiFont(30);
    title.setBold(true);
    drawFittedText(painter, QRectF(0, 138, DesignWidth, 46), title, QStringLiteral("Vantor"));
    drawFittedText(painter, QRectF(0, 184, DesignWidth, 26), kaiFont(14),
                   QStringLiteral("USB 燒錄器"));
    drawFittedText(painter, QRectF(0, 210, DesignWidth, 24), kaiFont(9),
                   QStringLiteral("AT89C2051 / AT89C4051 / AT89C1051U"));
    return pixmap;
}

QFont kaiFont(qreal pointSize)
{
    static const QString family = [] {
        const QStringList families = QFontDatabase::families();
        for (const QString &wanted : {QStringLiteral("標楷體"), QStringLiteral("DFKai-SB"),
                                      QStringLiteral("AR PL UKai TW")}) {
            if (families.contains(wanted))
                return wanted;
        }
        for (const QString &f : families) {
            if (f.contains(QLatin1String("Kai"), Qt::CaseInsensitive))
                return f;
        }
        for (const QString &f : families) {
            if (QFontDatabase::writingSystems(f).contains(QFontDatabase::TraditionalChinese))
                return f;
        }
        return QString();
    }();
    QFont font;
    if (!family.isEmpty())
        font.setFamily(family);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    return font;
}
