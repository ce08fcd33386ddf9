#include "app/MRUManager.h"

#include <QAction>
#include <QMenu>

MRUManager::MRUManager(QMenu *menu, QObject *parent) : QObject(parent), m_menu(menu)
{
    setObjectName(QStringLiteral("MRUManager1"));
}

MRUManager::~MRUManager()
{
    if (m_menu)
        for (QAction *action : std::as_const(m_actions))
            m_menu->removeAction(action);
    // The actions are children of this object and go with it.
}

void MRUManager::add(const QString &fileName)
{
    m_list.add(fileName);
    rebuild();
}

void MRUManager::remove(const QString &fileName)
{
    m_list.remove(fileName);
    rebuild();
}

void MRUManager::load(const IniFile &ini, const QString &section)
{
    m_list.load(ini, section);
    rebuild();
}

void MRUManager::rebuild()
{
    if (m_menu)
        for (QAction *action : std::as_const(m_actions))
            m_menu->removeAction(action);
    // Later: the list may change inside the handler of one of these actions.
    for (QAction *action : std::as_const(m_actions))
        action->deleteLater();
    m_actions.clear();
    if (!m_menu || m_list.isEmpty())
        return;

    auto separator = [this] {
        auto *action = new QAction(this);
        action->setSeparator(true);
        return action;
    };
    m_actions << separator();
    const QStringList &names = m_list.items();
    for (qsizetype i = 0; i < names.size(); ++i) {
        // "&" would turn the next letter into an accelerator; "&&" shows it as it is.
        QString text = names[i];
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto *action = new QAction(text, this);
        action->setData(names[i]);
        action->setStatusTip(names[i]);
        connect(action, &QAction::triggered, this,
                [this, name = names[i]] { emit itemClicked(name); });
        m_actions << action;
        if (i % 2 == 1 && i + 1 < names.size())
            m_actions << separator();
    }
    m_menu->addActions(m_actions);
}
