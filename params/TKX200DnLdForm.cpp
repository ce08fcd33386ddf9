#include "params/TKX200DnLdForm.h"

#include "params/ParameterRowTable.h"
#include "params/ParameterSet.h"

TKX200DnLdForm::TKX200DnLdForm(QWidget *parent) : TKX200DnLdForm(makePlan(), parent) {}

TKX200DnLdForm::TKX200DnLdForm(std::pair<ParameterTransfer::Plan, QString> plan, QWidget *parent)
    : TDnLdForm(std::move(plan.first), QStringLiteral("Загрузка:  ПЧ     #"), plan.second, parent)
{
}

std::pair<ParameterTransfer::Plan, QString> TKX200DnLdForm::makePlan()
{
    QString error;
    ParameterTransfer::Plan plan =
        ParameterTransfer::makePlan(ParameterRowTable::embedded(QStringLiteral("kx200")),
                                    ParameterSet::forModel(QStringLiteral("KX200")), &error);
    // Readouts, the fault memory and the reserved parameter are never written.
    const QStringList skipped = {QStringLiteral("CD01"), QStringLiteral("CD02"),
                                 QStringLiteral("CD03"), QStringLiteral("CD04"),
                                 QStringLiteral("CD23"), QStringLiteral("CD45")};
    for (const ParameterRow &row : plan.rows) {
        if (skipped.contains(row.key, Qt::CaseInsensitive))
            plan.downloadSkip.insert(row.index);
    }
    if (plan.count() > 0 && plan.downloadSkip.size() != skipped.size()) {
        error = QStringLiteral("the KX200 rows lack a parameter a download passes over");
        plan = {};
    }
    return {std::move(plan), error};
}
