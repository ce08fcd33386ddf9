#pragma once

#include "editors/TKX300GroupForm.h"

// The window of KX300 group A: subgroups A1, A2.
class TKX300ADnLdForm : public TKX300GroupForm
{
    Q_OBJECT

public:
    static constexpr int GroupNumber = 2;

    explicit TKX300ADnLdForm(QWidget *parent = nullptr) : TKX300GroupForm(GroupNumber, parent) {}
};
