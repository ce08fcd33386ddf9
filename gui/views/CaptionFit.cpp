#include "views/CaptionFit.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

bool CaptionFit::fits(const QFont &font, const QString &text, const QSize &box, int flags)
{
    const QRectF used =
        QFontMetricsF(font).boundingRect(QRectF(QPointF(), QSizeF(box)), flags, text);
    return used.width() <= box.width() && used.height() <= box.height();
}

QFont CaptionFit::fitted(const QFont &font, const QString &text, const QSize &box, int flags)
{
    QFont result = font;
    if (result.pointSizeF() > 0) {
        while (!fits(result, text, box, flags) && result.pointSizeF() - 0.5 >= SmallestPointSize)
            result.setPointSizeF(result.pointSizeF() - 0.5);
    } else {
        // A font given in pixels: one pixel at a time, down to about the same size.
        while (!fits(result, text, box, flags) && result.pixelSize() > 8)
            result.setPixelSize(result.pixelSize() - 1);
    }
    return result;
}

void CaptionFit::fitLabel(QLabel *label)
{
    const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    const QSize box =
        label->contentsRect().size() - QSize(2 * label->margin(), 2 * label->margin());
    label->setFont(fitted(label->font(), label->text(), box, flags));
}

void CaptionFit::fitButton(QPushButton *button)
{
    const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
    const QSize box(button->width() - margin, button->height());
    button->setFont(
        fitted(button->font(), button->text(), box, Qt::AlignCenter | Qt::TextShowMnemonic));
}
