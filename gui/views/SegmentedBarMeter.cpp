#include "views/SegmentedBarMeter.h"

#include <QPainter>

#include <algorithm>

SegmentedBarMeter::SegmentedBarMeter(QWidget *parent) : QWidget(parent) {}

void SegmentedBarMeter::setPosition(int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (percent == m_position)
        return;
    m_position = percent;
    update();
}

QColor SegmentedBarMeter::segmentColor(int segment)
{
    if (segment < 5)
        return QColor(0x00, 0xC0, 0x00);
    return segment < 8 ? QColor(0xFF, 0xD0, 0x00) : QColor(0xE0, 0x00, 0x00);
}

void SegmentedBarMeter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x20, 0x20, 0x20));
    const double segmentHeight = height() / double(SegmentCount);
    // The filled height in pixels; each segment shows its colour where the fill reaches it
    // and a dark shade of it above.
    const double filled = height() * m_position / 100.0;
    for (int i = 0; i < SegmentCount; ++i) {
        const double bottom = height() - i * segmentHeight;
        const QRectF segment(2.0, bottom - segmentHeight + 1.0, width() - 4.0, segmentHeight - 2.0);
        const QColor color = segmentColor(i);
        painter.fillRect(segment, color.darker(400));
        const double reach = filled - i * segmentHeight;
        if (reach <= 0.0)
            continue;
        QRectF lit = segment;
        lit.setTop(std::max(segment.top(), bottom - reach));
        painter.fillRect(lit, color);
    }
}
