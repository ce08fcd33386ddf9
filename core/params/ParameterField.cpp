#include "params/ParameterField.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int64_t int32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t int32Max = std::numeric_limits<int32_t>::max();

int32_t toEntry(int64_t value)
{
    return int32_t(std::clamp(value, int32Min, int32Max));
}

// The text as a number of the field's kind; false when it is none.
bool parse(const ParameterRow &row, QString text, double &value)
{
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    // A fixed-point number takes no more decimals than the field's step.
    static const QRegularExpression integer(QStringLiteral("^[+-]?\\d+$"));
    const QRegularExpression fixed(
        QStringLiteral("^[+-]?(\\d+\\.?\\d{0,%1}|\\.\\d{1,%1})$").arg(row.decimals));
    const QRegularExpression &pattern = row.kind == FieldKind::FixedPoint ? fixed : integer;
    if (!pattern.match(text).hasMatch())
        return false;
    bool ok = false;
    value = text.toDouble(&ok);
    return ok && std::isfinite(value);
}

} // namespace

bool ParameterField::clamps(const ParameterRow &row)
{
    return row.isNumeric() && row.bounded && !row.readOnly;
}

int64_t ParameterField::interpret(const ParameterRow &row, int32_t stored)
{
    if (!row.bounded)
        return stored;
    if (row.rawMinimum < 0 && stored > 0x7FFF && stored <= 0xFFFF)
        return int64_t(stored) - 0x10000;
    if (row.rawMinimum >= 0 && row.rawMaximum > 0x7FFF && stored < 0 && stored >= -0x8000)
        return int64_t(stored) + 0x10000;
    return stored;
}

ParameterField::Shown ParameterField::show(const ParameterRow &row, int32_t stored)
{
    Shown shown;
    shown.value = stored;
    if (row.isList()) {
        if (row.firstItemOnly)
            shown.itemIndex = 0;
        else if (stored >= 0 && stored < row.items.size())
            shown.itemIndex = int(stored);
        return shown;
    }
    if (!clamps(row)) {
        // A sign-extended word of a counter, time or bit mask is shown as the unsigned word.
        const bool negativeWord = stored < 0 && stored >= -0x8000;
        shown.text = row.formatValue(row.unsignedWord && negativeWord ? int64_t(stored) + 0x10000
                                                                      : int64_t(stored));
        return shown;
    }
    const int64_t value = interpret(row, stored);
    shown.text = row.formatValue(value);
    shown.value = toEntry(value);
    shown.outside = value < row.rawMinimum || value > row.rawMaximum;
    return shown;
}

ParameterField::Edited ParameterField::edit(const ParameterRow &row, const QString &text)
{
    Edited edited;
    const QString trimmed = text.trimmed();
    double value = 0.0;
    // Text that is no number of the field is replaced visibly, never kept beside a value.
    if (!trimmed.isEmpty() && !parse(row, trimmed, value)) {
        value = row.bounded ? row.minimum() : 0.0;
        edited.corrected = true;
    }

    int64_t raw = row.toRaw(value);
    if (row.bounded && value < row.minimum()) {
        raw = row.rawMinimum;
        edited.corrected = true;
    } else if (row.bounded && value > row.maximum()) {
        raw = row.rawMaximum;
        edited.corrected = true;
    }
    if (edited.corrected)
        edited.correctedText = row.formatValue(raw);
    edited.value = toEntry(raw);
    return edited;
}
