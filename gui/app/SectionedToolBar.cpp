#include "app/SectionedToolBar.h"

#include "app/OperatorDialogs.h"
#include "app/ToolBarCustomizeDialog.h"

#include <QAction>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>

SectionedToolBar::SectionedToolBar(QWidget *parent) : QToolBar(parent)
{
    setObjectName(QStringLiteral("Toolbar"));
    setMovable(false);
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setIconSize(QSize(IconSide, IconSide));
    setFixedHeight(56);
    applyButtonSpacing();
    // The button text has to fit under the picture in 54 pixels.
    QFont small = font();
    small.setPixelSize(10);
    setFont(small);
}

void SectionedToolBar::addButton(const Button &button)
{
    m_buttons.append(button);
    if (button.visibleAtStart)
        m_shown << button.name;
    rebuild();
}

QAction *SectionedToolBar::action(const QString &name) const
{
    for (const Button &button : m_buttons)
        if (button.name == name)
            return button.action;
    return nullptr;
}

void SectionedToolBar::setLayout(const QStringList &shownNames)
{
    m_shown.clear();
    for (const QString &name : shownNames)
        if (action(name) && !m_shown.contains(name))
            m_shown << name;
    rebuild();
}

void SectionedToolBar::resetLayout()
{
    m_shown.clear();
    for (const Button &button : m_buttons)
        if (button.visibleAtStart)
            m_shown << button.name;
    rebuild();
}

QStringList SectionedToolBar::shownTexts() const
{
    QStringList texts;
    for (const QString &name : m_shown)
        texts << action(name)->iconText();
    return texts;
}

void SectionedToolBar::setTrailingWidget(QWidget *widget)
{
    if (m_spacerAction)
        return;
    auto *spacer = new QWidget(this);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_spacerAction = addWidget(spacer);
    addWidget(widget);
}

void SectionedToolBar::customize()
{
    ToolBarCustomizeDialog dialog(*this, this);
    if (OperatorDialogs::instance().runModal(&dialog))
        setLayout(dialog.layout());
}

void SectionedToolBar::setWallpaper(const QPixmap &wallpaper)
{
    m_wallpaper = wallpaper;
    update();
}

void SectionedToolBar::paintEvent(QPaintEvent *event)
{
    if (m_wallpaper.isNull()) {
        QToolBar::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.drawTiledPixmap(rect(), m_wallpaper);
}

void SectionedToolBar::applyButtonSpacing()
{
    // The bar's layout takes one margin for every side: 3 pixels puts the buttons 3 pixels
    // below the top edge. The style resets both values whenever it changes.
    setContentsMargins(0, 0, 0, 0);
    QWidget::layout()->setContentsMargins(ButtonTop, ButtonTop, ButtonTop, ButtonTop);
    QWidget::layout()->setSpacing(ButtonGap);
}

void SectionedToolBar::changeEvent(QEvent *event)
{
    QToolBar::changeEvent(event);
    if (event->type() == QEvent::StyleChange)
        applyButtonSpacing();
}

void SectionedToolBar::mouseDoubleClickEvent(QMouseEvent *event)
{
    QToolBar::mouseDoubleClickEvent(event);
    emit customizeRequested();
}

void SectionedToolBar::rebuild()
{
    // Button actions go before the spacer that keeps the trailing widget at the right end.
    for (const Button &button : m_buttons)
        removeAction(button.action);
    for (const QString &name : m_shown) {
        QAction *act = action(name);
        insertAction(m_spacerAction, act);
        if (auto *button = qobject_cast<QToolButton *>(widgetForAction(act))) {
            button->setObjectName(name);
            button->setFixedSize(54, 50);
            button->setAutoRaise(true);
        }
    }
}
