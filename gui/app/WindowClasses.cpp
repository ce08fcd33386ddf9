#include "app/WindowClasses.h"

#include <QWidget>

QHash<QString, WindowClasses::Entry> &WindowClasses::entries()
{
    static QHash<QString, Entry> registered;
    return registered;
}

void WindowClasses::registerClass(const QString &className, Kind kind, Factory factory)
{
    entries().insert(className, Entry{kind, std::move(factory)});
}

bool WindowClasses::isRegistered(const QString &className)
{
    return entries().contains(className);
}

QStringList WindowClasses::names()
{
    QStringList names = entries().keys();
    names.sort();
    return names;
}

WindowClasses::Kind WindowClasses::kind(const QString &className)
{
    return entries().value(className, Entry{Kind::MdiChild, {}}).kind;
}

QWidget *WindowClasses::create(const QString &className)
{
    const auto it = entries().constFind(className);
    if (it == entries().constEnd() || !it->factory)
        return nullptr;
    return it->factory();
}
