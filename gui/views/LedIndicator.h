#pragma once

#include <QColor>
#include <QTimer>
#include <QWidget>

// A LED: shows its true colour while its value is set and its false colour while it is
// clear; with blinking on and the value set it alternates between the two, changing every
// interval milliseconds. Round or square. Carries a tag (the address it belongs to) and
// reports clicks.
class LedIndicator : public QWidget
{
    Q_OBJECT

public:
    enum class Shape { Round, Square };

    explicit LedIndicator(QWidget *parent = nullptr);

    QColor trueColor() const { return m_trueColor; }
    void setTrueColor(const QColor &color);
    QColor falseColor() const { return m_falseColor; }
    void setFalseColor(const QColor &color);
    bool value() const { return m_value; }
    void setValue(bool value);
    bool blink() const { return m_blink; }
    void setBlink(bool blink);
    int interval() const { return m_timer.interval(); }
    void setInterval(int milliseconds);
    Shape shape() const { return m_shape; }
    void setShape(Shape shape);
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    // The colour shown now.
    QColor currentColor() const;
    // True while the LED alternates its colours.
    bool isBlinking() const { return m_timer.isActive(); }
    // One blink step (the timer's handler): swaps the colour shown while blinking.
    void blinkStep();

    QSize sizeHint() const override { return {22, 22}; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // Starts or stops the blinking to match value and blink; a new blink shows the true
    // colour first.
    void updateBlinking();

    QColor m_trueColor = Qt::green;
    QColor m_falseColor = Qt::darkGreen;
    bool m_value = false;
    bool m_blink = false;
    bool m_showTrue = true;
    Shape m_shape = Shape::Round;
    int m_tag = 0;
    QTimer m_timer;
};
