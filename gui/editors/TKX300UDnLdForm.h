#pragma once

#include "editors/TKX300GroupForm.h"

// The window of KX300 group U: subgroups U1, U2, U3 (monitor values, read only).
class TKX300UDnLdForm : public TKX300GroupForm
{
    Q_OBJECT

public:
    static constexpr int GroupNumber = 1;

    explicit TKX300UDnLdForm(QWidget *parent = nullptr) : TKX300GroupForm(GroupNumber, parent) {}
};
