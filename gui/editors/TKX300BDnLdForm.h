#pragma once

#include "editors/TKX300GroupForm.h"

// The window of KX300 group B: subgroups B1 ... B9.
class TKX300BDnLdForm : public TKX300GroupForm
{
    Q_OBJECT

public:
    static constexpr int GroupNumber = 3;

    explicit TKX300BDnLdForm(QWidget *parent = nullptr) : TKX300GroupForm(GroupNumber, parent) {}
};
