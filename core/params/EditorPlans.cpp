#include "params/EditorPlans.h"

#include "params/ParameterRowTable.h"
#include "params/ParameterSet.h"
#include "params/TKX300Groups.h"

namespace {

ParameterTransfer::Plan planOf(const QString &table, const QString &model, QString *error)
{
    return ParameterTransfer::makePlan(ParameterRowTable::embedded(table),
                                       ParameterSet::forModel(model), error);
}

} // namespace

ParameterTransfer::Plan EditorPlans::kx100(QString *error)
{
    ParameterTransfer::Plan plan = planOf(QStringLiteral("kx100"), QStringLiteral("KX100"), error);
    plan.commitAfterWrite = true;
    return plan;
}

ParameterTransfer::Plan EditorPlans::kx200(QString *error)
{
    ParameterTransfer::Plan plan = planOf(QStringLiteral("kx200"), QStringLiteral("KX200"), error);
    const QStringList skipped = {QStringLiteral("CD01"), QStringLiteral("CD02"),
                                 QStringLiteral("CD03"), QStringLiteral("CD04"),
                                 QStringLiteral("CD23"), QStringLiteral("CD45")};
    for (const ParameterRow &row : plan.rows) {
        if (skipped.contains(row.key, Qt::CaseInsensitive))
            plan.downloadSkip.insert(row.index);
    }
    if (plan.count() > 0 && plan.downloadSkip.size() != skipped.size()) {
        if (error)
            *error = QStringLiteral("the KX200 rows lack a parameter a download passes over");
        plan = {};
    }
    return plan;
}

bool EditorPlans::isSetting(const ParameterTransfer::Plan &plan, int entry)
{
    if (!plan.downloadSkip.contains(entry))
        return true;
    const QString &key = plan.rows[entry].key;
    return plan.model == QLatin1String("KX200") &&
           (key.compare(QLatin1String("CD23"), Qt::CaseInsensitive) == 0 ||
            key.compare(QLatin1String("CD45"), Qt::CaseInsensitive) == 0);
}

int EditorPlans::settingCount(const ParameterTransfer::Plan &plan)
{
    int count = 0;
    for (int entry = 0; entry < plan.count(); ++entry)
        count += isSetting(plan, entry) ? 1 : 0;
    return count;
}

QList<ParameterTransfer::Plan> EditorPlans::forModel(const QString &model, QString *error)
{
    QList<ParameterTransfer::Plan> result;
    QString why;
    if (model == QLatin1String("KX100")) {
        result.append(kx100(&why));
    } else if (model == QLatin1String("KX200")) {
        result.append(kx200(&why));
    } else if (model == QLatin1String("KX300")) {
        for (const bool readOnly : {false, true}) {
            for (const TKX300Group &group : TKX300Groups::all()) {
                if (group.readOnly == readOnly && why.isEmpty())
                    result.append(TKX300Groups::plan(group, &why));
            }
        }
    } else {
        why = QStringLiteral("unknown model %1").arg(model);
    }
    for (const ParameterTransfer::Plan &plan : result) {
        if (plan.count() == 0 && why.isEmpty())
            why = QStringLiteral("the %1 parameter tables are faulty").arg(model);
    }
    if (!why.isEmpty())
        result.clear();
    if (error)
        *error = why;
    return result;
}
