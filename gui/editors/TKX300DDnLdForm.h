#pragma once

#include "editors/TKX300GroupForm.h"

// The window of KX300 group D: subgroups D1 ... D5.
class TKX300DDnLdForm : public TKX300GroupForm
{
    Q_OBJECT

public:
    static constexpr int GroupNumber = 5;

    explicit TKX300DDnLdForm(QWidget *parent = nullptr) : TKX300GroupForm(GroupNumber, parent) {}
};
