#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>

// The program's pictures, drawn at run time: the tool bar's wallpaper "BACKGROUND", the
// frames of the tray and busy animations and the small about-box animation.
namespace Artwork {
QPixmap background();
// Frames of a turning wheel, `count` of them, `size` pixels square.
QList<QPixmap> wheelFrames(int count, int size, const QColor &color);
QList<QIcon> trayFrames();
// The icon drawn `side` pixels square: a smaller picture is scaled up, a picture of another
// shape is centred, so every button shows its picture at one size and on one baseline.
QIcon uniformIcon(const QIcon &source, int side);
} // namespace Artwork
