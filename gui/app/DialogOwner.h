#pragma once

#include <QPointer>
#include <QWidget>

// Names the window that the boxes and file dialogs shown during its lifetime belong to, so
// that they open over that window, even when another one is active (a top-level editor whose
// transfer ends while the operator works in the main window). Scopes nest.
class DialogOwner
{
public:
    explicit DialogOwner(QWidget *window) : m_previous(s_current) { s_current = window; }
    ~DialogOwner() { s_current = m_previous; }
    DialogOwner(const DialogOwner &) = delete;
    DialogOwner &operator=(const DialogOwner &) = delete;

    // The innermost owner still alive, or null.
    static QWidget *current() { return s_current; }

private:
    QPointer<QWidget> m_previous;
    static inline QPointer<QWidget> s_current;
};
