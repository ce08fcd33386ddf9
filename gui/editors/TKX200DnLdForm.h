#pragma once

#include "editors/TDnLdForm.h"

#include <utility>

// The parameter window of a KX200: 49 parameters CD01..CD49 under their register codes, no
// commit. A download passes over the readouts CD01-CD04, the last fault CD23 and the
// reserved CD45.
class TKX200DnLdForm : public TDnLdForm
{
    Q_OBJECT

public:
    explicit TKX200DnLdForm(QWidget *parent = nullptr);

    static std::pair<ParameterTransfer::Plan, QString> makePlan();

private:
    TKX200DnLdForm(std::pair<ParameterTransfer::Plan, QString> plan, QWidget *parent);
};
