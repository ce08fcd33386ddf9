#pragma once

#include <QList>
#include <QString>

#include <utility>

// Factory settings of the simulated models, read from the parameter tables the program
// ships (one row per parameter: key, register, ..., default; '#' starts a comment line).
class SimFactoryDefaults
{
public:
    using Entry = std::pair<quint16, quint16>; // register, value as sent on the wire

    // table: "kx100", "kx200" or "kx300". Rows that do not parse are skipped; an unknown
    // table gives an empty list.
    static QList<Entry> load(const QString &table);
    // The same, from the text of a table.
    static QList<Entry> parse(const QByteArray &text);
};
