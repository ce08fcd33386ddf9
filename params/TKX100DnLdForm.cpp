#include "params/TKX100DnLdForm.h"

#include "params/ParameterRowTable.h"
#include "params/ParameterSet.h"

TKX100DnLdForm::TKX100DnLdForm(QWidget *parent) : TKX100DnLdForm(makePlan(), parent) {}

TKX100DnLdForm::TKX100DnLdForm(std::pair<ParameterTransfer::Plan, QString> plan, QWidget *parent)
    : TDnLdForm(std::move(plan.first), QStringLiteral("Загрузка:  ПЧ     #"), plan.second, parent)
{
}

std::pair<ParameterTransfer::Plan, QString> TKX100DnLdForm::makePlan()
{
    QString error;
    ParameterTransfer::Plan plan =
        ParameterTransfer::makePlan(ParameterRowTable::embedded(QStringLiteral("kx100")),
                                    ParameterSet::forModel(QStringLiteral("KX100")), &error);
    plan.commitAfterWrite = true;
    return {std::move(plan), error};
}
