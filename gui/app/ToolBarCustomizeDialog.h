#pragma once

#include "app/SectionedToolBar.h"

#include <QDialog>

class QListWidget;

// The customisation window of a SectionedToolBar: every button grouped by section, a check
// box to show or hide it, and Up/Down to move it among the shown buttons.
class ToolBarCustomizeDialog : public QDialog
{
    Q_OBJECT

public:
    ToolBarCustomizeDialog(const SectionedToolBar &bar, QWidget *parent = nullptr);

    // The layout the operator has put together.
    QStringList layout() const;
    void setShown(const QString &name, bool shown);
    void moveRow(const QString &name, int delta);

private:
    int rowOf(const QString &name) const;

    QListWidget *m_list;
};
