#include "params/ParameterDiff.h"

#include "setup/IniFile.h"
#include "bus/TDM.h"
#include "params/EditorPlans.h"

#include <limits>

namespace {

const QString MissingText = QStringLiteral("missing");
const QString FailedText = QStringLiteral("read failed");

QString sideText(const ParameterRow &row, const ParameterDiff::Value &value, bool *unshowable)
{
    *unshowable = false;
    switch (value.state) {
    case ParameterDiff::Value::State::Missing:
        return MissingText;
    case ParameterDiff::Value::State::Failed:
        return FailedText;
    case ParameterDiff::Value::State::Known:
        break;
    }
    return ParameterDiff::displayText(row, value.raw, unshowable);
}

} // namespace

QString ParameterDiff::displayText(const ParameterRow &row, int32_t raw, bool *unshowable)
{
    bool outside = false;
    QString text;
    if (row.isList()) {
        outside = raw < 0 || raw >= row.items.size();
        text = outside ? QString::number(raw) : row.items.at(raw).trimmed();
    } else {
        const int64_t value = ParameterField::interpret(row, raw);
        outside = row.bounded && (value < row.rawMinimum || value > row.rawMaximum);
        text = outside ? QString::number(raw) : row.formatValue(value);
    }
    if (unshowable)
        *unshowable = outside;
    return text;
}

QString ParameterDiff::statusName(Status status)
{
    switch (status) {
    case Status::Equal:
        return QStringLiteral("equal");
    case Status::Different:
        return QStringLiteral("different");
    case Status::Missing:
        return QStringLiteral("missing");
    case Status::Failed:
        return QStringLiteral("failed");
    }
    return QString();
}

ParameterDiff::Entry ParameterDiff::compareOne(const ParameterRow &row, const Value &left,
                                               const Value &right)
{
    Entry e;
    e.entry = row.index;
    e.code = row.code;
    e.key = row.key;
    e.caption = row.caption;
    e.left = left;
    e.right = right;
    e.leftText = sideText(row, left, &e.leftUnshowable);
    e.rightText = sideText(row, right, &e.rightUnshowable);
    using State = Value::State;
    if (left.state == State::Failed || right.state == State::Failed)
        e.status = Status::Failed;
    else if (left.state == State::Missing || right.state == State::Missing)
        e.status = Status::Missing;
    else if (ParameterField::interpret(row, left.raw) != ParameterField::interpret(row, right.raw))
        e.status = Status::Different;
    else
        e.status = Status::Equal;
    return e;
}

QList<ParameterDiff::Entry> ParameterDiff::compare(const ParameterTransfer::Plan &plan,
                                                   const QList<Value> &left,
                                                   const QList<Value> &right, bool differingOnly,
                                                   bool settingsOnly)
{
    QList<Entry> entries;
    for (int i = 0; i < plan.count(); ++i) {
        if (settingsOnly && !EditorPlans::isSetting(plan, i))
            continue;
        const Value l = i < left.size() ? left[i] : Value{};
        const Value r = i < right.size() ? right[i] : Value{};
        Entry e = compareOne(plan.rows[i], l, r);
        if (!differingOnly || e.status != Status::Equal)
            entries.append(e);
    }
    return entries;
}

QList<ParameterDiff::Value> ParameterDiff::fromSection(const IniFile &ini, const QString &section,
                                                       const ParameterTransfer::Plan &plan)
{
    QList<Value> values;
    values.reserve(plan.count());
    constexpr int low = std::numeric_limits<int>::min();
    constexpr int high = std::numeric_limits<int>::max();
    for (const ParameterRow &row : plan.rows) {
        // Text that is no integer reads as the default: two different defaults tell it apart.
        const int a = ini.readInteger(section, row.key, low);
        const int b = ini.readInteger(section, row.key, high);
        values.append(a == b ? Value::known(a) : Value{});
    }
    return values;
}

QList<ParameterDiff::Value> ParameterDiff::fromWorkingCopy(const QList<int32_t> &values)
{
    QList<Value> result;
    result.reserve(values.size());
    for (int32_t v : values)
        result.append(Value::known(v));
    return result;
}

QString ParameterDiff::sectionModel(const IniFile &ini, int slot)
{
    const QString section = TDM::SectionName(slot);
    if (ini.readString(section, QStringLiteral("Enable"), QStringLiteral("false")) !=
        QLatin1String("true"))
        return QString();
    const QString type = ini.readString(section, QStringLiteral("TypeName"));
    if (type == QLatin1String("KX100") || type == QLatin1String("KX200"))
        return type;
    return QStringLiteral("KX300");
}

ParameterDiff::Slot ParameterDiff::compareFiles(const IniFile &left, const IniFile &right, int slot)
{
    Slot result;
    result.slot = slot;
    result.leftModel = sectionModel(left, slot);
    result.rightModel = sectionModel(right, slot);
    if (result.leftModel.isEmpty() && result.rightModel.isEmpty())
        return result;
    if (result.leftModel.isEmpty() || result.rightModel.isEmpty()) {
        result.note = QStringLiteral("%1 only in %2")
                          .arg(result.leftModel + result.rightModel,
                               result.leftModel.isEmpty() ? QStringLiteral("the second file")
                                                          : QStringLiteral("the first file"));
        return result;
    }
    if (result.modelsDiffer()) {
        result.note =
            QStringLiteral("different models: %1 and %2").arg(result.leftModel, result.rightModel);
        return result;
    }
    QString why;
    const QList<ParameterTransfer::Plan> plans = EditorPlans::forModel(result.leftModel, &why);
    if (plans.isEmpty()) {
        result.note = why;
        return result;
    }
    const QString section = TDM::SectionName(slot);
    for (const ParameterTransfer::Plan &plan : plans) {
        if (plan.uploadOnly)
            continue; // measured values, not settings
        result.entries += compare(plan, fromSection(left, section, plan),
                                  fromSection(right, section, plan), true, true);
        result.compared += EditorPlans::settingCount(plan);
    }
    return result;
}
