#pragma once

#include "editors/TKX300GroupForm.h"

// The window of KX300 group F: subgroups F1 ... F7.
class TKX300FDnLdForm : public TKX300GroupForm
{
    Q_OBJECT

public:
    static constexpr int GroupNumber = 7;

    explicit TKX300FDnLdForm(QWidget *parent = nullptr) : TKX300GroupForm(GroupNumber, parent) {}
};
