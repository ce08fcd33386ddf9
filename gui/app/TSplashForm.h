#pragma once

#include <QDialog>
#include <QTimer>

// The start-up splash window: a banner that scrolls from bottom to top. A click, a key or the
// first tick of its 1 ms timer closes it, so it disappears at once after start-up.
class TSplashForm : public QDialog
{
    Q_OBJECT

public:
    explicit TSplashForm(QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QTimer m_banner;
    QTimer m_closeTimer;
    int m_offset = 0;
};
