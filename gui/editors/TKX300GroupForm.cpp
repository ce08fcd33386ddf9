#include "editors/TKX300GroupForm.h"

#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"

#include <QCloseEvent>
#include <QMdiSubWindow>

namespace {

const TKX300Group &groupOf(int number)
{
    const TKX300Group *group = TKX300Groups::byNumber(number);
    Q_ASSERT(group);
    return group ? *group : TKX300Groups::all().first();
}

} // namespace

std::pair<ParameterTransfer::Plan, QString> TKX300GroupForm::makePlan(const TKX300Group &group)
{
    QString error;
    ParameterTransfer::Plan plan = TKX300Groups::plan(group, &error);
    return {std::move(plan), error};
}

TKX300GroupForm::TKX300GroupForm(int group, QWidget *parent)
    : TKX300GroupForm(groupOf(group), makePlan(groupOf(group)), parent)
{
}

TKX300GroupForm::TKX300GroupForm(const TKX300Group &group,
                                 std::pair<ParameterTransfer::Plan, QString> plan, QWidget *parent)
    : TDnLdForm(std::move(plan.first), group.captionPrefix, plan.second, parent), m_group(group)
{
}

void TKX300GroupForm::showEvent(QShowEvent *event)
{
    TDnLdForm::showEvent(event);
    if (m_sized)
        return;
    m_sized = true;
    // The common window size is set by the base; groups with another size correct it here.
    const QSize wanted = m_group.size;
    if (wanted == QSize(FormWidth, FormHeight))
        return;
    if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
        frame->resize(frame->size() - size() + wanted);
    else
        resize(wanted);
}

void TKX300GroupForm::closeEvent(QCloseEvent *event)
{
    // Monitor values are never edited, so there is nothing to lose.
    if (m_group.readOnly)
        event->accept();
    else
        TDnLdForm::closeEvent(event);
}

void TKX300GroupForm::customEvent(QEvent *event)
{
    if (m_group.readOnly && event->type() == WindowMessage::eventType() &&
        static_cast<WindowMessage *>(event)->message() == Msg::DownloadStep)
        return;
    TDnLdForm::customEvent(event);
}
