#include "editors/TKX100DnLdForm.h"

#include "params/EditorPlans.h"

TKX100DnLdForm::TKX100DnLdForm(QWidget *parent) : TKX100DnLdForm(makePlan(), parent) {}

TKX100DnLdForm::TKX100DnLdForm(std::pair<ParameterTransfer::Plan, QString> plan, QWidget *parent)
    : TDnLdForm(std::move(plan.first), QStringLiteral("Загрузка:  ПЧ     #"), plan.second, parent)
{
}

std::pair<ParameterTransfer::Plan, QString> TKX100DnLdForm::makePlan()
{
    QString error;
    ParameterTransfer::Plan plan = EditorPlans::kx100(&error);
    return {std::move(plan), error};
}
