#include "app/TDualListDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QStringList itemsOf(const QListWidget *list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

} // namespace

TDualListDialog::TDualListDialog(QWidget *parent)
    : QDialog(parent), m_leftLabel(new QLabel(this)), m_rightLabel(new QLabel(this)),
      m_left(new QListWidget(this)), m_right(new QListWidget(this)),
      m_include(new QPushButton(QStringLiteral(">"), this)),
      m_includeAll(new QPushButton(QStringLiteral(">>"), this)),
      m_exclude(new QPushButton(QStringLiteral("<"), this)),
      m_excludeAll(new QPushButton(QStringLiteral("<<"), this))
{
    setObjectName(QStringLiteral("DualListDialog1"));
    for (QListWidget *list : {m_left, m_right})
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_leftLabel->setBuddy(m_left);
    m_rightLabel->setBuddy(m_right);

    auto *buttons = new QVBoxLayout;
    buttons->addStretch();
    for (QPushButton *button : {m_include, m_includeAll, m_exclude, m_excludeAll}) {
        button->setFixedWidth(32);
        // Enter means OK: an arrow button that has the focus (it gets it when the one before
        // is disabled) must not take the default and move every entry across.
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch();

    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Ok)->setDefault(true);
    auto *grid = new QGridLayout(this);
    grid->addWidget(m_leftLabel, 0, 0);
    grid->addWidget(m_rightLabel, 0, 2);
    grid->addWidget(m_left, 1, 0);
    grid->addLayout(buttons, 1, 1);
    grid->addWidget(m_right, 1, 2);
    grid->addWidget(box, 2, 0, 1, 3);

    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_include, &QPushButton::clicked, this, [this] { moveSelected(true); });
    connect(m_exclude, &QPushButton::clicked, this, [this] { moveSelected(false); });
    connect(m_includeAll, &QPushButton::clicked, this, [this] { moveAll(true); });
    connect(m_excludeAll, &QPushButton::clicked, this, [this] { moveAll(false); });
    connect(m_left, &QListWidget::itemDoubleClicked, this, [this] { moveSelected(true); });
    connect(m_right, &QListWidget::itemDoubleClicked, this, [this] { moveSelected(false); });
    connect(m_left, &QListWidget::itemSelectionChanged, this, &TDualListDialog::updateButtons);
    connect(m_right, &QListWidget::itemSelectionChanged, this, &TDualListDialog::updateButtons);
    updateButtons();
}

void TDualListDialog::setLabels(const QString &left, const QString &right)
{
    m_leftLabel->setText(left);
    m_rightLabel->setText(right);
}

void TDualListDialog::setLists(const QStringList &left, const QStringList &right)
{
    m_left->clear();
    m_right->clear();
    m_left->addItems(left);
    m_right->addItems(right);
    updateButtons();
}

QStringList TDualListDialog::leftItems() const
{
    return itemsOf(m_left);
}

QStringList TDualListDialog::rightItems() const
{
    return itemsOf(m_right);
}

bool TDualListDialog::execute()
{
    if (exec() == QDialog::Accepted)
        return true;
    // Cancel: nothing counts as chosen.
    m_left->addItems(rightItems());
    m_right->clear();
    return false;
}

void TDualListDialog::moveSelected(bool toRight)
{
    QListWidget *from = toRight ? m_left : m_right;
    QListWidget *to = toRight ? m_right : m_left;
    for (int i = 0; i < from->count();) {
        if (from->item(i)->isSelected())
            to->addItem(from->takeItem(i));
        else
            ++i;
    }
    updateButtons();
}

void TDualListDialog::moveAll(bool toRight)
{
    QListWidget *from = toRight ? m_left : m_right;
    QListWidget *to = toRight ? m_right : m_left;
    while (from->count() > 0)
        to->addItem(from->takeItem(0));
    updateButtons();
}

void TDualListDialog::updateButtons()
{
    m_include->setEnabled(!m_left->selectedItems().isEmpty());
    m_exclude->setEnabled(!m_right->selectedItems().isEmpty());
    m_includeAll->setEnabled(m_left->count() > 0);
    m_excludeAll->setEnabled(m_right->count() > 0);
}
