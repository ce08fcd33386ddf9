#include "views/TwoStateSwitch.h"

#include "views/CaptionFit.h"

#include <QPainter>

namespace {
constexpr int CaptionHeight = 16;
constexpr int TrackWidth = 22;
constexpr int TrackHeight = 44;
} // namespace

TwoStateSwitch::TwoStateSwitch(QWidget *parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
}

void TwoStateSwitch::setCaption(const QString &caption)
{
    m_caption = caption;
    update();
}

void TwoStateSwitch::setSideTexts(const QString &onText, const QString &offText)
{
    m_onText = onText;
    m_offText = offText;
    update();
}

QSize TwoStateSwitch::sizeHint() const
{
    return {84, CaptionHeight + TrackHeight + 6};
}

QRect TwoStateSwitch::captionRect() const
{
    return QRect(0, 0, width(), CaptionHeight);
}

QRect TwoStateSwitch::sideTextRect() const
{
    const int textLeft = 4 + TrackWidth + 6;
    return QRect(textLeft, CaptionHeight + 2, width() - textLeft, TrackHeight / 2);
}

void TwoStateSwitch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    const QColor textColor = isEnabled() ? pal.color(QPalette::WindowText)
                                         : pal.color(QPalette::Disabled, QPalette::WindowText);
    painter.setPen(textColor);
    painter.setFont(CaptionFit::fitted(font(), m_caption, captionRect().size(), Qt::AlignCenter));
    painter.drawText(captionRect(), Qt::AlignCenter, m_caption);
    painter.setFont(font());

    // The track is vertical: the knob sits at the top when the switch is on.
    const QRect track(4, CaptionHeight + 2, TrackWidth, TrackHeight);
    painter.setPen(QPen(Qt::darkGray, 1.0));
    painter.setBrush(isChecked() ? QColor(0x80, 0xC0, 0x80) : QColor(0xC0, 0xC0, 0xC0));
    painter.drawRoundedRect(track, 6, 6);
    const int knobHeight = TrackHeight / 2 - 2;
    const QRect knob(track.left() + 2,
                     isChecked() ? track.top() + 2 : track.bottom() - 1 - knobHeight,
                     TrackWidth - 4, knobHeight);
    painter.setBrush(isEnabled() ? pal.color(QPalette::Button) : pal.color(QPalette::Mid));
    painter.drawRoundedRect(knob, 4, 4);

    painter.setPen(textColor);
    // Both side texts in one size: the one that fits the longer of them.
    const QRect onRect = sideTextRect();
    const QRect offRect = onRect.translated(0, TrackHeight / 2);
    const int sideFlags = Qt::AlignLeft | Qt::AlignVCenter;
    const QFont onFont = CaptionFit::fitted(font(), m_onText, onRect.size(), sideFlags);
    const QFont offFont = CaptionFit::fitted(font(), m_offText, onRect.size(), sideFlags);
    painter.setFont(onFont.pointSizeF() < offFont.pointSizeF() ? onFont : offFont);
    painter.drawText(onRect, sideFlags, m_onText);
    painter.drawText(offRect, sideFlags, m_offText);
    painter.setFont(font());
    if (hasFocus()) {
        painter.setPen(QPen(pal.color(QPalette::Highlight), 1.0, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(track.adjusted(-2, -2, 2, 2));
    }
}
