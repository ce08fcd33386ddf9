#include "app/ToolBarCustomizeDialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int NameRole = Qt::UserRole;
}

ToolBarCustomizeDialog::ToolBarCustomizeDialog(const SectionedToolBar &bar, QWidget *parent)
    : QDialog(parent), m_list(new QListWidget(this))
{
    setWindowTitle(tr("Панель инструментов"));
    // Shown buttons first in their order, then the hidden ones by section.
    QStringList order = bar.layout();
    for (const QString &section : bar.sections())
        for (const SectionedToolBar::Button &button : bar.buttons())
            if (button.section == section && !order.contains(button.name))
                order << button.name;
    for (const QString &name : order) {
        for (const SectionedToolBar::Button &button : bar.buttons()) {
            if (button.name != name)
                continue;
            auto *item = new QListWidgetItem(button.action->icon(),
                                             button.section + QStringLiteral(": ") + button.caption,
                                             m_list);
            item->setData(NameRole, button.name);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(bar.layout().contains(name) ? Qt::Checked : Qt::Unchecked);
        }
    }

    // The list is as wide as its longest item and as tall as its rows (within reason), so
    // nothing is cut and no sideways scroll bar appears.
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int frame = 2 * m_list->frameWidth();
    m_list->setMinimumWidth(m_list->sizeHintForColumn(0) + frame +
                            m_list->verticalScrollBar()->sizeHint().width());
    if (m_list->count() > 0)
        m_list->setMinimumHeight(std::min(m_list->count(), 20) * m_list->sizeHintForRow(0) + frame);

    auto *up = new QPushButton(tr("Выше"), this);
    auto *down = new QPushButton(tr("Ниже"), this);
    connect(up, &QPushButton::clicked, this, [this] {
        if (m_list->currentItem())
            moveRow(m_list->currentItem()->data(NameRole).toString(), -1);
    });
    connect(down, &QPushButton::clicked, this, [this] {
        if (m_list->currentItem())
            moveRow(m_list->currentItem()->data(NameRole).toString(), 1);
    });
    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *side = new QVBoxLayout;
    side->addWidget(up);
    side->addWidget(down);
    side->addStretch();
    auto *row = new QHBoxLayout;
    row->addWidget(m_list);
    row->addLayout(side);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(box);
}

QStringList ToolBarCustomizeDialog::layout() const
{
    QStringList shown;
    for (int i = 0; i < m_list->count(); ++i)
        if (m_list->item(i)->checkState() == Qt::Checked)
            shown << m_list->item(i)->data(NameRole).toString();
    return shown;
}

int ToolBarCustomizeDialog::rowOf(const QString &name) const
{
    for (int i = 0; i < m_list->count(); ++i)
        if (m_list->item(i)->data(NameRole).toString() == name)
            return i;
    return -1;
}

void ToolBarCustomizeDialog::setShown(const QString &name, bool shown)
{
    const int row = rowOf(name);
    if (row >= 0)
        m_list->item(row)->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
}

void ToolBarCustomizeDialog::moveRow(const QString &name, int delta)
{
    const int row = rowOf(name);
    const int target = row + delta;
    if (row < 0 || target < 0 || target >= m_list->count())
        return;
    QListWidgetItem *item = m_list->takeItem(row);
    m_list->insertItem(target, item);
    m_list->setCurrentItem(item);
}
