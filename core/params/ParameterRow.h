#pragma once

#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdint>
#include <optional>

// How a row's value field shows its working-copy entry.
enum class FieldKind {
    List,      // drop-down list; the value is the index of the selected item
    Integer,   // numeric field, shown and stored as is
    FixedPoint // numeric field with 1..3 decimals; shown value = register value x 10^-decimals
};

// One row of a parameter window: the code panel, the caption panel and the value field of one
// parameter. Bounds and defaults are in register units, so they compare directly with the
// working copy.
struct ParameterRow
{
    QString model; // "KX100", "KX200" or "KX300"
    QString group; // KX300 group letter ("A" ... "O", "U"); empty for KX100 and KX200
    int index = 0; // working-copy entry the field edits (the field's Tag)
    QString code;  // exactly as the code panel shows it, e.g. "CD001", "CD45*", "B5_05"
    QString key;   // setup-file key of the same parameter, e.g. "n001", "CD45", "B5-05"
    QString caption;
    QString page;           // caption of the page the row sits on
    int registerNumber = 0; // register read and written for the entry (KX200: register code)
    FieldKind kind = FieldKind::Integer;
    QStringList items;      // list fields: the items in order, blanks and empty items kept
    int decimals = 0;       // fixed-point fields: 1, 2 or 3; 0 otherwise
    bool bounded = false;   // numeric fields: false for displays that show any value as read
    int64_t rawMinimum = 0; // bounds in register units, valid when bounded
    int64_t rawMaximum = 0;
    std::optional<int32_t> defaultValue; // the group's own Default value (KX300 setting groups)
    bool disabled = false;               // list the user cannot change
    bool readOnly = false;               // field the user cannot edit; still loaded and transferred
    bool asterisk = false;               // the code panel shows an asterisk after the code
    bool firstItemOnly = false;          // list that always shows its first item whatever the value
    bool unsignedWord = false; // a display that cannot be negative (counter, time, bit mask)

    bool isList() const { return kind == FieldKind::List; }
    bool isNumeric() const { return kind != FieldKind::List; }
    bool isEditable() const { return !disabled && !readOnly; }

    // What a 16-bit register carries: a word, read as signed or unsigned.
    static constexpr int64_t RegisterMinimum = -0x8000;
    static constexpr int64_t RegisterMaximum = 0xFFFF;
    static bool fitsRegister(int64_t value)
    {
        return value >= RegisterMinimum && value <= RegisterMaximum;
    }

    // Register units per shown unit: 1, 10, 100 or 1000.
    int64_t unitsPerShown() const
    {
        int64_t units = 1;
        for (int i = 0; i < decimals; ++i)
            units *= 10;
        return units;
    }
    // The scale s of the field: shown value = register value x s.
    double scale() const { return 1.0 / double(unitsPerShown()); }
    double minimum() const { return toShown(rawMinimum); }
    double maximum() const { return toShown(rawMaximum); }

    double toShown(int64_t raw) const { return double(raw) / double(unitsPerShown()); }
    // Register value of a shown value, rounded to the nearest unit (halves away from zero).
    // Not-a-number gives 0; values beyond +-2^62 saturate there.
    int64_t toRaw(double shown) const
    {
        constexpr double limit = 4611686018427387904.0; // 2^62
        const double scaled = shown * double(unitsPerShown());
        if (std::isnan(scaled))
            return 0;
        return std::llround(std::fmax(-limit, std::fmin(limit, scaled)));
    }
    // The text a numeric field shows for a register value: fixed notation with the field's
    // decimals, or the plain integer.
    QString formatValue(int64_t raw) const
    {
        if (decimals == 0)
            return QString::number(raw);
        return QString::number(toShown(raw), 'f', decimals);
    }
};
