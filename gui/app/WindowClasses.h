#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// Window classes that can be created by name: the main window registers its child window
// classes at creation so that commands and setup files can open them by class name.
class WindowClasses
{
public:
    enum class Kind { MdiChild, TopLevel };
    using Factory = std::function<QWidget *()>;

    static void registerClass(const QString &className, Kind kind, Factory factory);
    static bool isRegistered(const QString &className);
    // The registered class names, sorted.
    static QStringList names();
    static Kind kind(const QString &className);
    // A new, unshown window of the class; null for a class that is not registered.
    static QWidget *create(const QString &className);

private:
    struct Entry
    {
        Kind kind;
        Factory factory;
    };
    static QHash<QString, Entry> &entries();
};
