#include "editors/CompareSlotDialog.h"

#include "bus/TDM.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

CompareSlotDialog::CompareSlotDialog(QWidget *parent)
    : QDialog(parent), m_text(new QLabel(this)), m_list(new QListWidget(this))
{
    setWindowTitle(QStringLiteral("Сравнить с файлом"));
    m_text->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(260, 280);
}

void CompareSlotDialog::setSlots(const QList<int> &candidates, int preferred, const QString &text)
{
    m_slots = candidates;
    m_text->setText(text);
    m_list->clear();
    for (int slot : candidates)
        m_list->addItem(TDM::SectionName(slot));
    const int row = int(candidates.indexOf(preferred));
    m_list->setCurrentRow(row >= 0 ? row : 0);
}

int CompareSlotDialog::chosenSlot() const
{
    const int row = m_list->currentRow();
    return row >= 0 && row < m_slots.size() ? m_slots[row] : -1;
}
