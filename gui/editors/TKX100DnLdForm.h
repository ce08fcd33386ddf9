#pragma once

#include "editors/TDnLdForm.h"

#include <utility>

// The parameter window of a KX100: 108 parameters CD001..CD108 in registers 0x0101..0x016C,
// each write followed by the driver's commit (0 to register 0x0900).
class TKX100DnLdForm : public TDnLdForm
{
    Q_OBJECT

public:
    explicit TKX100DnLdForm(QWidget *parent = nullptr);

    // The window's transfer plan, or an empty plan and the reason.
    static std::pair<ParameterTransfer::Plan, QString> makePlan();

private:
    TKX100DnLdForm(std::pair<ParameterTransfer::Plan, QString> plan, QWidget *parent);
};
