#include "params/ParameterValue.h"

#include "params/EditorPlans.h"
#include "params/ParameterSet.h"

#include <QHash>
#include <QMap>

namespace {

struct ModelRows
{
    QList<ParameterRow> rows;
    QHash<QString, int> byKey; // lower-case key -> position in rows
    QHash<int, int> byIndex;   // parameter-table entry -> position
    QHash<int, int> byRegister;
};

const ModelRows &modelRows(const QString &model)
{
    static QMap<QString, ModelRows> cache;
    auto it = cache.find(model);
    if (it != cache.end())
        return *it;
    ModelRows rows;
    const ParameterSet &set = ParameterSet::forModel(model);
    for (const ParameterTransfer::Plan &plan : EditorPlans::forModel(model)) {
        for (int entry = 0; entry < plan.count(); ++entry) {
            const ParameterRow &row = plan.rows[entry];
            const int at = int(rows.rows.size());
            rows.rows.append(row);
            rows.byKey.insert(row.key.toLower(), at);
            rows.byRegister.insert(row.registerNumber, at);
            if (const ParameterDef *def = set.findKey(row.key))
                rows.byIndex.insert(def->index, at);
        }
    }
    return *cache.insert(model, rows);
}

const ParameterRow *rowAt(const ModelRows &rows, int at)
{
    return at < 0 ? nullptr : &rows.rows[at];
}

int32_t signedWord(uint16_t word)
{
    return int32_t(int16_t(word));
}

} // namespace

ParameterValue::Sign ParameterValue::signOf(const ParameterRow &row)
{
    if (row.isList() || row.unsignedWord)
        return Sign::Unsigned;
    if (!row.bounded)
        return Sign::Model;
    return row.rawMinimum < 0 ? Sign::Signed : Sign::Unsigned;
}

std::optional<int32_t> ParameterValue::normalize(const ParameterRow &row, int64_t value,
                                                 bool signExtended)
{
    switch (signOf(row)) {
    case Sign::Signed:
        if (value < -0x8000 || value > 0x7FFF)
            return std::nullopt;
        return int32_t(value);
    case Sign::Unsigned:
        if (value < (signExtended ? -0x8000 : 0) || value > 0xFFFF)
            return std::nullopt;
        return int32_t(value < 0 ? value + 0x10000 : value);
    case Sign::Model:
        break;
    }
    if (!ParameterRow::fitsRegister(value))
        return std::nullopt;
    return int32_t(value);
}

ParameterValue::Check ParameterValue::check(const ParameterRow &row, int64_t value,
                                            bool signExtended)
{
    Check result;
    const std::optional<int32_t> word = normalize(row, value, signExtended);
    if (!word) {
        result.verdict = Verdict::RegisterImpossible;
        switch (signOf(row)) {
        case Sign::Signed:
            result.why = QStringLiteral("%1 does not fit its signed 16-bit register "
                                        "(-32768..32767)")
                             .arg(value);
            break;
        case Sign::Unsigned:
            result.why = QStringLiteral("%1 does not fit its unsigned 16-bit register (0..65535)")
                             .arg(value);
            break;
        case Sign::Model:
            result.why = QStringLiteral("%1 does not fit its 16-bit register").arg(value);
            break;
        }
        return result;
    }
    result.value = *word;
    // A factory value is taken even where the field's bounds leave it out.
    const ParameterDef *def = ParameterSet::forModel(row.model).findKey(row.key);
    if (row.defaultValue == *word || (def && def->defaultValue == *word))
        return result;
    if (row.isList() && !row.firstItemOnly && (*word < 0 || *word >= row.items.size())) {
        result.verdict = Verdict::FieldInvalid;
        result.why = QStringLiteral("%1 is no item of its list (0..%2)")
                         .arg(*word)
                         .arg(row.items.size() - 1);
    } else if (row.isNumeric() && row.bounded &&
               (*word < row.rawMinimum || *word > row.rawMaximum)) {
        result.verdict = Verdict::FieldInvalid;
        result.why =
            QStringLiteral("%1 is outside %2..%3").arg(*word).arg(row.rawMinimum).arg(row.rawMaximum);
    }
    return result;
}

int32_t ParameterValue::fromWord(const QString &model, int paramIndex, uint16_t word)
{
    const ParameterRow *row = rowOfIndex(model, paramIndex);
    const Sign sign = row ? signOf(*row) : Sign::Model;
    if (sign == Sign::Signed || (sign == Sign::Model && model == QLatin1String("KX300")))
        return signedWord(word);
    return word;
}

int32_t ParameterValue::registerWord(const QString &model, int registerNumber, uint16_t word)
{
    const ParameterRow *row = rowOfRegister(model, registerNumber);
    const Sign sign = row ? signOf(*row) : Sign::Model;
    if (sign == Sign::Signed || (sign == Sign::Model && model == QLatin1String("KX300")))
        return signedWord(word);
    return word;
}

const ParameterRow *ParameterValue::rowOfKey(const QString &model, const QString &key)
{
    const ModelRows &rows = modelRows(model);
    return rowAt(rows, rows.byKey.value(key.toLower(), -1));
}

const ParameterRow *ParameterValue::rowOfIndex(const QString &model, int paramIndex)
{
    const ModelRows &rows = modelRows(model);
    return rowAt(rows, rows.byIndex.value(paramIndex, -1));
}

const ParameterRow *ParameterValue::rowOfRegister(const QString &model, int registerNumber)
{
    const ModelRows &rows = modelRows(model);
    return rowAt(rows, rows.byRegister.value(registerNumber, -1));
}
