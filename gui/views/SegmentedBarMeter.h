#pragma once

#include <QColor>
#include <QWidget>

// A vertical bar meter filled from the bottom, its position in percent of its range, drawn as
// ten segments: five green for the first 50 %, three yellow for the next 30 %, two red for
// the last 20 %.
class SegmentedBarMeter : public QWidget
{
    Q_OBJECT

public:
    static constexpr int SegmentCount = 10;

    explicit SegmentedBarMeter(QWidget *parent = nullptr);

    int position() const { return m_position; }
    // Held to 0..100.
    void setPosition(int percent);

    // Colour of segment 0 (bottom) to 9 (top).
    static QColor segmentColor(int segment);

    QSize sizeHint() const override { return {24, 100}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_position = 0;
};
