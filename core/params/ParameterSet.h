#pragma once

#include <QList>
#include <QString>

#include <cstdint>

// One parameter of a model's set: its setup-file key, the register it lives in, the entry of
// the driver's parameter table that holds it, and its factory default in register units.
struct ParameterDef
{
    QString key;
    int registerNumber = 0;
    int index = 0;
    int32_t defaultValue = 0;
};

// The ordered parameter set of one inverter model, read from the tables embedded in the
// program. The order is the order of the keys in a setup-file section.
class ParameterSet
{
public:
    ParameterSet() = default;

    // The set of a model by its type name ("KX100", "KX200", "KX300"); an empty set for any
    // other name. The tables are read once, on first use.
    static const ParameterSet &forModel(const QString &typeName);

    // Reads a table: one row per parameter of four tab-separated fields
    // (key, register, index, default); blank lines and lines starting with '#' are skipped.
    // False with a reason (and an empty set) for a malformed row or a repeated key.
    bool parse(const QString &text, QString *error = nullptr);

    const QList<ParameterDef> &rows() const { return m_rows; }
    int count() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    // Why the embedded table could not be read; empty when it was.
    QString errorString() const { return m_error; }

    // Lookups by key (case-insensitive, as setup-file keys are), register or table index;
    // null when no parameter matches.
    const ParameterDef *findKey(const QString &key) const;
    const ParameterDef *findRegister(int registerNumber) const;
    const ParameterDef *findIndex(int index) const;
    // The highest table index of the set, or -1 for an empty set.
    int maxIndex() const;

private:
    static ParameterSet load(const QString &resource);

    QList<ParameterDef> m_rows;
    QString m_error;
};
