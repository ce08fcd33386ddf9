#pragma once

#include <QSize>

class QWidget;

// Gives a window the client size; an MDI child's frame is fitted around it. The window's
// sizeHint() must answer the same size, since the frame takes its size from it.
void SetClientSize(QWidget *window, const QSize &size);
