#pragma once

#include "editors/TDnLdForm.h"
#include "params/TKX300Groups.h"

#include <utility>

// A KX300 group window: the rows of one group with their registers, the group's own Default
// values, and a commit (0 to register 0xFFFD) after every parameter write. The monitor group
// only reads: no Download, no Default, no close query, and write completions are ignored.
// Each group has its own window class so windows are found by class and caption.
class TKX300GroupForm : public TDnLdForm
{
    Q_OBJECT

public:
    const TKX300Group &group() const { return m_group; }

    // The plan of a group window, or an empty plan and the reason.
    static std::pair<ParameterTransfer::Plan, QString> makePlan(const TKX300Group &group);

protected:
    // group: 1 (U) ... 10 (O), see TKX300Groups.
    TKX300GroupForm(int group, QWidget *parent);

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void customEvent(QEvent *event) override;

private:
    TKX300GroupForm(const TKX300Group &group, std::pair<ParameterTransfer::Plan, QString> plan,
                    QWidget *parent);

    const TKX300Group &m_group;
    bool m_sized = false;
};
