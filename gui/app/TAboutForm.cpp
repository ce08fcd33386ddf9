#include "app/TAboutForm.h"

#include "app/Artwork.h"

#include <QDialogButtonBox>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QLabel *boldShadowed(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSize(font.pointSize() + 2);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    auto *shadow = new QGraphicsDropShadowEffect(label);
    shadow->setOffset(2, 2);
    shadow->setBlurRadius(2);
    label->setGraphicsEffect(shadow);
    return label;
}

} // namespace

TAboutForm::TAboutForm(QWidget *parent)
    : QDialog(parent), m_icon(new QLabel(this)),
      m_frames(Artwork::wheelFrames(6, 24, QColor(0x00, 0x30, 0x90)))
{
    setWindowTitle(QStringLiteral("О программе"));
    setFixedSize(255, 200);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(boldShadowed(QStringLiteral("Преобраз. частоты"), this));
    layout->addWidget(boldShadowed(QStringLiteral("KX-110, KX-310"), this));
    auto *bus = new QLabel(QStringLiteral("RS485"), this);
    bus->setAlignment(Qt::AlignCenter);
    layout->addWidget(bus);
    layout->addWidget(new QLabel(QString(), this));
    m_icon->setAlignment(Qt::AlignCenter);
    m_icon->setPixmap(m_frames.first());
    layout->addWidget(m_icon);
    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(box);

    m_animation.setInterval(150);
    connect(&m_animation, &QTimer::timeout, this, [this] {
        m_frame = (m_frame + 1) % m_frames.size();
        m_icon->setPixmap(m_frames.at(m_frame));
    });
}

void TAboutForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_animation.start();
}

void TAboutForm::hideEvent(QHideEvent *event)
{
    m_animation.stop();
    QDialog::hideEvent(event);
}
