#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class IniFile;

// One inverter's section of a setup file, read once into a value: its model, the parameter
// values as written, the keys the "Incomplete" key names and the duplicate keys found. Every
// path that sends a section to a drive or opens it in the program reads it here and checks
// it with check(), so the rules for values hold alike on all of them.
class ParameterSection
{
public:
    // The key after a section's parameter keys naming the keys whose reads failed, which the
    // section then lacks.
    static const QString IncompleteKey;

    // How the values are checked before a download.
    enum class Mode {
        Edited, // values the operator gave: register, bounds and list (download, write)
        AsRead  // values a backup read from a drive: the register only (restore)
    };

    struct Checked
    {
        QHash<QString, int32_t> values; // key -> value to write, in the row's signedness
        QStringList problems;           // "CD16: missing", one per value not taken as it is
        QStringList refusedProblems;    // the problems of the refused keys
        QStringList forcibleProblems;   // the problems of the forcible keys
        QSet<QString> refused;          // keys never sent: missing, no integer, no register
        QSet<QString> forcible;         // keys refused unless forced: outside their field
        QStringList unread;             // keys named incomplete that a download would write
    };

    int slot = 0;
    bool enabled = false;
    QString model;               // "KX100", "KX200" or "KX300" (any other TypeName)
    QStringList incomplete;      // keys named by "Incomplete"
    QStringList duplicates;      // "key n003 twice", "section twice"
    struct Value
    {
        QString text;                // as in the file
        std::optional<int> value;    // none when the text is no integer
    };
    QHash<QString, Value> values; // lower-case key -> value

    static ParameterSection read(const IniFile &ini, int slot);
    // The model a section's "TypeName" selects, as loading a setup file does.
    static QString modelOf(const QString &typeName);

    bool isIncomplete(const QString &key) const;
    // The values a download of the section would write (the bus address left out), checked.
    Checked check(Mode mode) const;
};
