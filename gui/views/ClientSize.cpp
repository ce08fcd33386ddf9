#include "views/ClientSize.h"

#include <QMdiSubWindow>
#include <QWidget>

void SetClientSize(QWidget *window, const QSize &size)
{
    window->resize(size);
    if (auto *frame = qobject_cast<QMdiSubWindow *>(window->parentWidget()))
        frame->resize(frame->sizeHint()); // the client's size plus border and title bar
}
