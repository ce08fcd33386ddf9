#pragma once

#include <QColor>
#include <QLabel>

// A coloured panel with a lowered bevel and a centred caption that reports clicks; carries a
// tag (the address it belongs to).
class ClickablePanel : public QLabel
{
    Q_OBJECT

public:
    explicit ClickablePanel(const QString &caption, QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QColor m_color;
    int m_tag = 0;
};
