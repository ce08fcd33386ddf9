#pragma once

#include "editors/TKX300GroupForm.h"

// The window of KX300 group H: subgroups H1 ... H5.
class TKX300HDnLdForm : public TKX300GroupForm
{
    Q_OBJECT

public:
    static constexpr int GroupNumber = 8;

    explicit TKX300HDnLdForm(QWidget *parent = nullptr) : TKX300GroupForm(GroupNumber, parent) {}
};
