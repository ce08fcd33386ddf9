#pragma once

#include <QString>
#include <QStringList>

class IniFile;

// The names of the setup files saved last: at most MaxCount, newest first, each name once.
class RecentFileList
{
public:
    static constexpr int MaxCount = 10;

    const QStringList &items() const { return m_items; }
    bool isEmpty() const { return m_items.isEmpty(); }

    // Puts the name at the top; a name already listed moves there, and the oldest name drops
    // out when the list is full. Empty names are ignored.
    void add(const QString &fileName);
    void remove(const QString &fileName);
    void clear() { m_items.clear(); }

    // Keys "Item_0" (the newest) .. "Item_9" of the section. Reading skips empty and repeated
    // names and stops at MaxCount; writing replaces the whole section.
    void load(const IniFile &ini, const QString &section);
    void save(IniFile &ini, const QString &section) const;

private:
    QStringList m_items;
};
