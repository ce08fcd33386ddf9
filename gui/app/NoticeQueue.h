#pragma once

#include "setup/OperatorNotices.h"

#include <QList>
#include <QObject>

#include <optional>

// The main window's reader of operator notices. A notice is shown later, from the event loop,
// one box at a time through OperatorDialogs, never from inside the code that reported it.
// While a box is shown, notices with its text are counted ("… (×12)" in the status line) and
// notices with the text of one that waits are folded into that one; exchanges ended by a
// line loss are told by the loss's notice while it waits or is shown.
class NoticeQueue : public QObject, public OperatorNotices
{
    Q_OBJECT

public:
    explicit NoticeQueue(QObject *parent = nullptr);
    // Installs the queue as the reader of notices until it is destroyed.
    void installAsReader();
    ~NoticeQueue() override;

    void post(const OperatorNotice &notice) override;
    // Shows the waiting notices in turn until none waits. Posting starts it from the event
    // loop; calling it while a box is shown does nothing.
    void drain();
    // Drops every waiting notice (the program is closing).
    void clear();

    int waitingCount() const { return int(m_waiting.size()); }
    bool isShowing() const { return m_shown.has_value(); }
    // "text (×N)" for a notice reported N > 1 times.
    static QString repeatText(const QString &text, int count);

signals:
    // A notice shown repeats: the text for the status line.
    void repeated(const QString &text);

private:
    struct Entry
    {
        OperatorNotice notice;
        int count = 1;
    };

    QList<Entry> m_waiting;
    std::optional<Entry> m_shown;
    bool m_drainPosted = false;
};
