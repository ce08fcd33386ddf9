#include "editors/TKX300DnLdForm.h"

#include "app/OperatorDialogs.h"
#include "app/TMainForm.h"
#include "app/WaitCursor.h"
#include "app/WindowClasses.h"
#include "bus/TDM.h"
#include "params/ParameterTransfer.h"
#include "params/TKX300Groups.h"
#include "serial/WindowMessage.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <vector>

namespace {

const QSize FormSize(384, 213);

// Find-or-create by class and caption: the index lives in the main window's frame, which
// owns its children.
QWidget *showWindow(const QString &className, const QString &caption)
{
    auto *main = qobject_cast<TMainForm *>(MainWindow());
    return main ? main->ShowChildWindow(className, caption) : nullptr;
}

} // namespace

QString TKX300DnLdForm::captionPrefix()
{
    return QStringLiteral("Загрузка:  ПЧ     #");
}

TKX300DnLdForm::TKX300DnLdForm(QWidget *parent)
    : QWidget(parent), TreeView1(new QTreeWidget(this)), BitBtn2(new QPushButton(this)),
      ExpandBtn(new QPushButton(this)), CollapseBtn(new QPushButton(this)),
      BitBtn1(new QPushButton(this))
{
    setObjectName(QStringLiteral("KX300DnLdForm"));
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setHeaderHidden(true);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    // The selection stays visible when the tree loses the focus.
    QPalette palette = TreeView1->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    TreeView1->setPalette(palette);

    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setText(QStringLiteral("Выбор"));
    BitBtn2->setDefault(true);
    ExpandBtn->setObjectName(QStringLiteral("ExpandBtn"));
    ExpandBtn->setText(QStringLiteral("Раскр."));
    CollapseBtn->setObjectName(QStringLiteral("CollapseBtn"));
    CollapseBtn->setText(QStringLiteral("Сверн."));
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setText(QStringLiteral("Закрыть"));

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(BitBtn2);
    buttons->addWidget(ExpandBtn);
    buttons->addWidget(CollapseBtn);
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(TreeView1, 1);
    layout->addLayout(buttons);

    buildTree();

    connect(TreeView1, &QTreeWidget::itemDoubleClicked, this, &TKX300DnLdForm::TreeViewClick);
    connect(BitBtn2, &QPushButton::clicked, this, &TKX300DnLdForm::TreeViewClick);
    connect(ExpandBtn, &QPushButton::clicked, this, &TKX300DnLdForm::ExpandBtnClick);
    connect(CollapseBtn, &QPushButton::clicked, this, &TKX300DnLdForm::CollapseBtnClick);
    connect(BitBtn1, &QPushButton::clicked, this, [this] {
        // An MDI child closes with its frame.
        if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
            frame->close();
        else
            close();
    });
}

void TKX300DnLdForm::buildTree()
{
    // Pre-order nodes with depths: the last item of each depth is the parent of the next
    // deeper one.
    std::vector<QTreeWidgetItem *> parents;
    for (const TKX300Groups::TreeNode &node : TKX300Groups::tree()) {
        QTreeWidgetItem *item = nullptr;
        if (node.depth == 0)
            item = new QTreeWidgetItem(TreeView1);
        else
            item = new QTreeWidgetItem(parents.at(size_t(node.depth - 1)));
        item->setText(0, node.text);
        item->setData(0, GroupRole, node.group);
        parents.resize(size_t(node.depth));
        parents.push_back(item);
    }
}

int TKX300DnLdForm::slot() const
{
    const QString caption = windowTitle();
    if (!caption.startsWith(captionPrefix()) || caption.size() == captionPrefix().size())
        return -1;
    return ParameterTransfer::slotFromCaption(caption, int(captionPrefix().size()));
}

void TKX300DnLdForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    resize(FormSize);
    // An MDI frame fits itself around the window, as a dialog frame: a title with the system
    // menu and the close button, and neither resizing nor maximising.
    if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget())) {
        frame->setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                              Qt::MSWindowsFixedSizeDialogHint);
        frame->setMinimumSize(0, 0);
        frame->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        frame->setFixedSize(frame->sizeHint());
    }
}

QSize TKX300DnLdForm::sizeHint() const
{
    return FormSize;
}

void TKX300DnLdForm::TreeViewClick()
{
    const QTreeWidgetItem *item = TreeView1->currentItem();
    if (!item || !item->isSelected())
        return;
    openGroup(item->data(0, GroupRole).toInt());
}

QWidget *TKX300DnLdForm::openGroup(int number)
{
    const TKX300Group *group = TKX300Groups::byNumber(number);
    if (!group)
        return nullptr;

    // A group window of this slot must find a KX300 there; another model's parameter table
    // is never shown as one.
    const int slot = this->slot();
    QString why;
    const TDM *dm = DM();
    if (slot < 0)
        why = QStringLiteral("No bus address 0..31 in the window caption");
    else if (!dm || !dm->HasInverter(slot))
        why = QStringLiteral("No inverter at address %1").arg(slot);
    else if (dm->GetTypeName(slot) != QLatin1String("KX300"))
        why = QStringLiteral("The inverter at address %1 is a %2, not a KX300")
                  .arg(slot)
                  .arg(dm->GetTypeName(slot));
    if (!why.isEmpty()) {
        ShowMessage(windowTitle(), why, OperatorDialogs::Icon::Warning);
        return nullptr;
    }

    WaitCursor wait;
    return showWindow(group->className, group->caption(slot));
}

void TKX300DnLdForm::ExpandBtnClick()
{
    TreeView1->expandAll();
}

void TKX300DnLdForm::CollapseBtnClick()
{
    TreeView1->collapseAll();
}
