#pragma once

#include "editors/TKX300GroupForm.h"

// The window of KX300 group O: subgroups O1, O2.
class TKX300ODnLdForm : public TKX300GroupForm
{
    Q_OBJECT

public:
    static constexpr int GroupNumber = 10;

    explicit TKX300ODnLdForm(QWidget *parent = nullptr) : TKX300GroupForm(GroupNumber, parent) {}
};
