#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;

// Two unsorted lists with buttons that move entries between them: the left list holds what
// can be chosen, the right list what has been chosen. Cancel leaves the right list empty.
class TDualListDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TDualListDialog(QWidget *parent = nullptr);

    void setTitle(const QString &title) { setWindowTitle(title); }
    void setLabels(const QString &left, const QString &right);
    void setLists(const QStringList &left, const QStringList &right = {});
    QStringList leftItems() const;
    QStringList rightItems() const;

    // Shows the dialog modally; on Cancel the right list is emptied. True on OK.
    bool execute();

    // Moves the entries selected in one list to the end of the other.
    void moveSelected(bool toRight);
    void moveAll(bool toRight);

private:
    void updateButtons();

    QLabel *m_leftLabel;
    QLabel *m_rightLabel;
    QListWidget *m_left;
    QListWidget *m_right;
    QPushButton *m_include;
    QPushButton *m_includeAll;
    QPushButton *m_exclude;
    QPushButton *m_excludeAll;
};
