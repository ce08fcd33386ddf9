#pragma once

#include <QDialog>
#include <QList>

class QLabel;
class QListWidget;

// The small list of a compare command: the slots of a setup file that hold the window's model,
// the window's own slot chosen at first.
class CompareSlotDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CompareSlotDialog(QWidget *parent = nullptr);

    // Lists "  ПЧ     #n" for each slot and selects `preferred` when listed, else the first.
    void setSlots(const QList<int> &candidates, int preferred, const QString &text);
    QListWidget *list() const { return m_list; }
    // The selected slot, -1 for none.
    int chosenSlot() const;

private:
    QLabel *m_text;
    QListWidget *m_list;
    QList<int> m_slots;
};
