#pragma once

#include "editors/TKX300GroupForm.h"

// The window of KX300 group L: subgroups L1 ... L8.
class TKX300LDnLdForm : public TKX300GroupForm
{
    Q_OBJECT

public:
    static constexpr int GroupNumber = 9;

    explicit TKX300LDnLdForm(QWidget *parent = nullptr) : TKX300GroupForm(GroupNumber, parent) {}
};
