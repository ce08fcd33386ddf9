#include "views/LedIndicator.h"

#include <QMouseEvent>
#include <QPainter>

LedIndicator::LedIndicator(QWidget *parent) : QWidget(parent)
{
    m_timer.setInterval(500);
    connect(&m_timer, &QTimer::timeout, this, &LedIndicator::blinkStep);
}

void LedIndicator::setTrueColor(const QColor &color)
{
    m_trueColor = color;
    update();
}

void LedIndicator::setFalseColor(const QColor &color)
{
    m_falseColor = color;
    update();
}

void LedIndicator::setValue(bool value)
{
    if (m_value == value)
        return;
    m_value = value;
    updateBlinking();
}

void LedIndicator::setBlink(bool blink)
{
    if (m_blink == blink)
        return;
    m_blink = blink;
    updateBlinking();
}

void LedIndicator::setInterval(int milliseconds)
{
    m_timer.setInterval(qMax(1, milliseconds));
}

void LedIndicator::setShape(Shape shape)
{
    m_shape = shape;
    update();
}

QColor LedIndicator::currentColor() const
{
    if (!m_value)
        return m_falseColor;
    return (!m_blink || m_showTrue) ? m_trueColor : m_falseColor;
}

void LedIndicator::blinkStep()
{
    if (!m_value || !m_blink)
        return;
    m_showTrue = !m_showTrue;
    update();
}

void LedIndicator::updateBlinking()
{
    m_showTrue = true;
    if (m_value && m_blink)
        m_timer.start();
    else
        m_timer.stop();
    update();
}

void LedIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    const QColor color = currentColor();
    // A light spot toward the top left gives the lamp some depth.
    QRadialGradient shade(area.center() - QPointF(area.width() / 5, area.height() / 5),
                          area.width() * 0.7);
    shade.setColorAt(0.0, color.lighter(170));
    shade.setColorAt(1.0, color);
    painter.setBrush(shade);
    painter.setPen(QPen(Qt::darkGray, 1.0));
    if (m_shape == Shape::Round)
        painter.drawEllipse(area);
    else
        painter.drawRect(area);
}

void LedIndicator::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QWidget::mouseReleaseEvent(event);
}
