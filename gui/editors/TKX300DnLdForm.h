#pragma once

#include "app/CloseQuestion.h"
#include <QString>
#include <QWidget>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The KX300 group index: a tree of the parameter groups of one inverter. Choosing a subgroup
// opens the window of its whole group for the same slot, or brings an open one forward. The
// index itself holds no parameters and sends nothing.
class TKX300DnLdForm : public QWidget, public CloseQuestion
{
    Q_OBJECT

public:
    // The caption is this prefix followed by the slot number; the opener sets it.
    static QString captionPrefix();
    // Tree item data role holding a node's group number (0: opens nothing).
    static constexpr int GroupRole = Qt::UserRole + 1;

    explicit TKX300DnLdForm(QWidget *parent = nullptr);

    // The slot named in the caption; -1 when the caption names none within 0 ... 31.
    int slot() const;

    QTreeWidget *treeView() const { return TreeView1; }
    QPushButton *chooseButton() const { return BitBtn2; }
    QPushButton *expandButton() const { return ExpandBtn; }
    QPushButton *collapseButton() const { return CollapseBtn; }
    QPushButton *closeButton() const { return BitBtn1; }

    // Opens the group of the selected node (double click on the tree, "Выбор").
    void TreeViewClick();
    void ExpandBtnClick();
    void CollapseBtnClick();

    // Opens the window of a group (1 ... 10) for this window's slot, or brings forward the one
    // already open with the same class and caption. Null when the number names no group, the
    // slot holds no KX300 (the operator is told why), or the window cannot be created.
    QWidget *openGroup(int group);

    // The window's size, which its MDI frame fits itself around.
    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildTree();

    QTreeWidget *TreeView1;
    QPushButton *BitBtn2;
    QPushButton *ExpandBtn;
    QPushButton *CollapseBtn;
    QPushButton *BitBtn1;
};
