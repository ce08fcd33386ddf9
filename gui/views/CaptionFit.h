#pragma once

#include <QFont>
#include <QSize>
#include <QString>

class QLabel;
class QPushButton;

// Captions in controls of a fixed size: the font is made smaller, half a point at a time,
// until the text fits its box. What fits is measured with the font's metrics, so a caption
// laid out for one desktop's fonts still fits with another's.
class CaptionFit
{
public:
    // The smallest point size a caption is given; a text that does not fit even so keeps it.
    static constexpr qreal SmallestPointSize = 6.0;

    // Whether the text, laid out with the alignment and wrapping flags, stays inside the box.
    static bool fits(const QFont &font, const QString &text, const QSize &box, int flags);
    // The font, made smaller where needed, at which the text fits the box.
    static QFont fitted(const QFont &font, const QString &text, const QSize &box, int flags);
    // Gives a label the font at which its text fits its contents rectangle; call it once the
    // label has its size.
    static void fitLabel(QLabel *label);
    // The same for a push button's caption, within the button's margins.
    static void fitButton(QPushButton *button);
};
