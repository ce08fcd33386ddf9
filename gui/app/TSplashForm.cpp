#include "app/TSplashForm.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

TSplashForm::TSplashForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("SplashForm"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(1, 1);
    m_banner.setInterval(50);
    connect(&m_banner, &QTimer::timeout, this, [this] {
        m_offset = (m_offset + 1) % qMax(1, height());
        update();
    });
    m_closeTimer.setInterval(1);
    m_closeTimer.setSingleShot(true);
    connect(&m_closeTimer, &QTimer::timeout, this, &QDialog::accept);
}

void TSplashForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    m_banner.start();
    m_closeTimer.start();
}

void TSplashForm::hideEvent(QHideEvent *event)
{
    m_banner.stop();
    m_closeTimer.stop();
    QDialog::hideEvent(event);
}

void TSplashForm::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.drawText(rect().translated(0, height() - m_offset), Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("Drivelink"));
}

void TSplashForm::mousePressEvent(QMouseEvent *)
{
    accept();
}

void TSplashForm::keyPressEvent(QKeyEvent *)
{
    accept();
}
