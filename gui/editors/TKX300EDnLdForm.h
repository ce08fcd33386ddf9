#pragma once

#include "editors/TKX300GroupForm.h"

// The window of KX300 group E: subgroups E1 ... E5.
class TKX300EDnLdForm : public TKX300GroupForm
{
    Q_OBJECT

public:
    static constexpr int GroupNumber = 6;

    explicit TKX300EDnLdForm(QWidget *parent = nullptr) : TKX300GroupForm(GroupNumber, parent) {}
};
