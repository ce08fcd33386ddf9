#include "app/NoticeQueue.h"

#include "app/DialogOwner.h"

#include "app/OperatorDialogs.h"

#include <QPointer>

#include <algorithm>

namespace {

OperatorDialogs::Icon boxIcon(OperatorNotice::Icon icon)
{
    switch (icon) {
    case OperatorNotice::Icon::Information:
        return OperatorDialogs::Icon::Information;
    case OperatorNotice::Icon::Warning:
        return OperatorDialogs::Icon::Warning;
    case OperatorNotice::Icon::Stop:
        return OperatorDialogs::Icon::Stop;
    case OperatorNotice::Icon::None:
        break;
    }
    return OperatorDialogs::Icon::None;
}

bool isLoss(const OperatorNotice &notice)
{
    return notice.cause == OperatorNotice::Cause::LineLoss;
}

} // namespace

NoticeQueue::NoticeQueue(QObject *parent) : QObject(parent) {}

void NoticeQueue::installAsReader()
{
    OperatorNotices::install(this);
}

NoticeQueue::~NoticeQueue()
{
    if (OperatorNotices::installed() == this)
        OperatorNotices::install(nullptr);
}

QString NoticeQueue::repeatText(const QString &text, int count)
{
    return QStringLiteral("%1 (×%2)").arg(text).arg(count);
}

void NoticeQueue::post(const OperatorNotice &notice)
{
    if (m_shown && m_shown->notice.text == notice.text) {
        emit repeated(repeatText(notice.text, ++m_shown->count));
        return;
    }
    if (notice.cause == OperatorNotice::Cause::LostExchange &&
        ((m_shown && isLoss(m_shown->notice)) ||
         std::any_of(m_waiting.cbegin(), m_waiting.cend(),
                     [](const Entry &entry) { return isLoss(entry.notice); })))
        return;
    for (Entry &entry : m_waiting) {
        if (entry.notice.text == notice.text) {
            ++entry.count;
            return;
        }
    }
    m_waiting.append({notice, 1});
    if (m_shown || m_drainPosted)
        return; // the running drain shows it
    m_drainPosted = true;
    QMetaObject::invokeMethod(this, &NoticeQueue::drain, Qt::QueuedConnection);
}

void NoticeQueue::drain()
{
    m_drainPosted = false;
    if (m_shown)
        return;
    const QPointer<NoticeQueue> alive(this);
    while (!m_waiting.isEmpty()) {
        m_shown = m_waiting.takeFirst();
        const OperatorNotice notice = m_shown->notice;
        if (m_shown->count > 1)
            emit repeated(repeatText(notice.text, m_shown->count));
        // The box's own event loop runs the bus meanwhile; what it reports queues up here.
        const DialogOwner owner(qobject_cast<QWidget *>(notice.owner.data()));
        OperatorDialogs::instance().message(notice.caption, notice.text, boxIcon(notice.icon),
                                            OperatorDialogs::Buttons::Ok);
        if (!alive)
            return;
        m_shown.reset();
    }
}

void NoticeQueue::clear()
{
    m_waiting.clear();
}
