#include "editors/TKX200DnLdForm.h"

#include "params/EditorPlans.h"

TKX200DnLdForm::TKX200DnLdForm(QWidget *parent) : TKX200DnLdForm(makePlan(), parent) {}

TKX200DnLdForm::TKX200DnLdForm(std::pair<ParameterTransfer::Plan, QString> plan, QWidget *parent)
    : TDnLdForm(std::move(plan.first), QStringLiteral("Загрузка:  ПЧ     #"), plan.second, parent)
{
}

std::pair<ParameterTransfer::Plan, QString> TKX200DnLdForm::makePlan()
{
    QString error;
    ParameterTransfer::Plan plan = EditorPlans::kx200(&error);
    return {std::move(plan), error};
}
