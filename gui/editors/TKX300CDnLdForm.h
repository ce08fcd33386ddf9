#pragma once

#include "editors/TKX300GroupForm.h"

// The window of KX300 group C: subgroups C1 ... C8.
class TKX300CDnLdForm : public TKX300GroupForm
{
    Q_OBJECT

public:
    static constexpr int GroupNumber = 4;

    explicit TKX300CDnLdForm(QWidget *parent = nullptr) : TKX300GroupForm(GroupNumber, parent) {}
};
