#pragma once

#include "params/ParameterRow.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The rows of one parameter window (KX100, KX200 or one KX300 group), read from a JSON Lines
// table: one object per row, in working-copy order. Every row is checked when the table is
// read; a malformed table is refused as a whole with a reason naming the line.
class ParameterRowTable
{
public:
    ParameterRowTable() = default;

    // Names of the tables built into the program: "kx100", "kx200", "kx300_a" ... "kx300_o"
    // and "kx300_u" (the monitor group).
    static QStringList embeddedNames();
    // Table name of a KX300 group letter ('A' ... 'O', 'U', either case); empty for others.
    static QString kx300GroupName(QChar group);
    // A built-in table, read once on first use and shared afterwards. An unknown name or an
    // unreadable table gives an empty table whose errorString() says why.
    static const ParameterRowTable &embedded(const QString &name);

    // Each of these replaces the rows only on success; on failure the rows stay as they were
    // and errorString() says what is wrong.
    bool loadEmbedded(const QString &name);
    bool loadFile(const QString &path);
    // source names the data in error messages (a file name or table name).
    bool parse(const QByteArray &data, const QString &source = QStringLiteral("table"));

    QString errorString() const { return m_error; }
    bool isEmpty() const { return m_rows.isEmpty(); }
    int count() const { return int(m_rows.size()); }
    const QList<ParameterRow> &rows() const { return m_rows; }
    // Row of working-copy entry i; i must be within 0 .. count() - 1.
    const ParameterRow &at(int i) const { return m_rows.at(i); }
    QString model() const { return m_model; }
    QString group() const { return m_group; }

    // Lookups by the code as shown ("CD45*"), by setup-file key ("CD45", case-insensitive) or
    // by register; null when no row matches.
    const ParameterRow *findCode(const QString &code) const;
    const ParameterRow *findKey(const QString &key) const;
    const ParameterRow *findRegister(int registerNumber) const;

    // Page captions in the order the pages appear; the rows of one page are consecutive.
    QStringList pages() const;
    // Working-copy indices of the rows on a page, in order; empty for an unknown page.
    QList<int> rowsOnPage(const QString &page) const;

    // True when every row carries its own Default value (the KX300 setting groups).
    bool hasDefaults() const;
    // The Default values in working-copy order; empty unless hasDefaults().
    QList<int32_t> defaults() const;

private:
    QList<ParameterRow> m_rows;
    QString m_model;
    QString m_group;
    QString m_error;
};
