#include "setup/RecentFileList.h"

#include "setup/IniFile.h"

namespace {

QString itemKey(int index)
{
    return QStringLiteral("Item_%1").arg(index);
}

} // namespace

void RecentFileList::add(const QString &fileName)
{
    if (fileName.isEmpty())
        return;
    m_items.removeAll(fileName);
    m_items.prepend(fileName);
    while (m_items.size() > MaxCount)
        m_items.removeLast();
}

void RecentFileList::remove(const QString &fileName)
{
    m_items.removeAll(fileName);
}

void RecentFileList::load(const IniFile &ini, const QString &section)
{
    m_items.clear();
    for (int i = 0; i < MaxCount; ++i) {
        const QString name = ini.readString(section, itemKey(i));
        if (!name.isEmpty() && !m_items.contains(name))
            m_items << name;
    }
}

void RecentFileList::save(IniFile &ini, const QString &section) const
{
    ini.eraseSection(section);
    for (int i = 0; i < m_items.size(); ++i)
        ini.writeString(section, itemKey(i), m_items[i]);
}
