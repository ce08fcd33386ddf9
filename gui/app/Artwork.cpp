#include "app/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QtMath>

namespace Artwork {

QPixmap background()
{
    QPixmap pixmap(256, 56);
    QPainter painter(&pixmap);
    QLinearGradient gradient(0, 0, 0, 56);
    gradient.setColorAt(0.0, QColor(0xE8, 0xEE, 0xF8));
    gradient.setColorAt(1.0, QColor(0xB8, 0xC8, 0xE0));
    painter.fillRect(pixmap.rect(), gradient);
    return pixmap;
}

QList<QPixmap> wheelFrames(int count, int size, const QColor &color)
{
    QList<QPixmap> frames;
    for (int frame = 0; frame < count; ++frame) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(size / 2.0, size / 2.0);
        for (int spoke = 0; spoke < count; ++spoke) {
            // The spoke at the current frame is darkest; the others fade behind it.
            const int age = (frame - spoke + count) % count;
            QColor c = color;
            c.setAlphaF(1.0 - 0.8 * age / count);
            painter.save();
            painter.rotate(360.0 * spoke / count);
            painter.setPen(QPen(c, qMax(1.5, size / 10.0), Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(0, -size * 0.2), QPointF(0, -size * 0.42));
            painter.restore();
        }
        frames << pixmap;
    }
    return frames;
}

QList<QIcon> trayFrames()
{
    QList<QIcon> icons;
    for (const QPixmap &pixmap : wheelFrames(8, 32, QColor(0x00, 0x30, 0x90)))
        icons << QIcon(pixmap);
    return icons;
}

QIcon uniformIcon(const QIcon &source, int side)
{
    QPixmap picture = source.pixmap(QSize(side, side), 1.0);
    if (picture.isNull())
        return source;
    if (picture.size() != QSize(side, side))
        picture = picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPixmap canvas(side, side);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.drawPixmap((side - picture.width()) / 2, (side - picture.height()) / 2, picture);
    painter.end();
    return QIcon(canvas);
}

} // namespace Artwork
