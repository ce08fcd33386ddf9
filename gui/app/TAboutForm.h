#pragma once

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <QTimer>

class QLabel;

// The about box: the product lines, "RS485" and a small animated icon that runs while shown.
class TAboutForm : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutForm(QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QLabel *m_icon;
    QList<QPixmap> m_frames;
    QTimer m_animation;
    int m_frame = 0;
};
