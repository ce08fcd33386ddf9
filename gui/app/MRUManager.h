#pragma once

#include "setup/RecentFileList.h"

#include <QList>
#include <QObject>
#include <QPointer>

class IniFile;
class QAction;
class QMenu;

// The recent-files list of the "&Файл" menu: its entries follow the menu's own items after a
// separator, show the full file name without an accelerator, and a separator follows every two
// entries. Choosing an entry emits itemClicked with its file name.
class MRUManager : public QObject
{
    Q_OBJECT

public:
    explicit MRUManager(QMenu *menu, QObject *parent = nullptr);
    ~MRUManager() override;

    const QStringList &items() const { return m_list.items(); }
    void add(const QString &fileName);
    void remove(const QString &fileName);
    void load(const IniFile &ini, const QString &section);
    void save(IniFile &ini, const QString &section) const { m_list.save(ini, section); }

    // The menu entries of the list, separators included, in menu order.
    QList<QAction *> menuActions() const { return m_actions; }

signals:
    void itemClicked(const QString &fileName);

private:
    void rebuild();

    RecentFileList m_list;
    QPointer<QMenu> m_menu;
    QList<QAction *> m_actions;
};
