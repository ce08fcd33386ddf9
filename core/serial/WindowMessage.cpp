#include "serial/WindowMessage.h"

#include <QCoreApplication>

WindowMessage::WindowMessage(uint32_t message, qintptr wParam, qintptr lParam,
                             TransactionPtr record)
    : QEvent(eventType()), m_message(message), m_wParam(wParam), m_lParam(lParam),
      m_record(std::move(record))
{
}

QEvent::Type WindowMessage::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostMessage(QObject *target, uint32_t message, qintptr wParam, qintptr lParam,
                 TransactionPtr record)
{
    // Qt drops events still queued for an object when it is destroyed.
    if (target)
        QCoreApplication::postEvent(target,
                                    new WindowMessage(message, wParam, lParam, std::move(record)));
}

qintptr SendMessage(QObject *target, uint32_t message, qintptr wParam, qintptr lParam,
                    TransactionPtr record)
{
    if (!target)
        return 0;
    WindowMessage event(message, wParam, lParam, std::move(record));
    QCoreApplication::sendEvent(target, &event);
    return event.result();
}

namespace {
QPointer<QObject> g_mainWindow;
}

QObject *MainWindow()
{
    return g_mainWindow.data();
}

void SetMainWindow(QObject *window)
{
    g_mainWindow = window;
}
