#pragma once

#include "serial/TransactionRecord.h"

#include <QEvent>

#include <cstdint>

// A numbered window message delivered as a Qt event. Completions carry the finished
// transaction record itself (a copy owned by the event), so a later exchange can never
// overwrite what the receiver is looking at.
class WindowMessage : public QEvent
{
public:
    WindowMessage(uint32_t message, qintptr wParam, qintptr lParam, TransactionPtr record = {});

    static QEvent::Type eventType();

    uint32_t message() const { return m_message; }
    qintptr wParam() const { return m_wParam; }
    qintptr lParam() const { return m_lParam; }
    // The transaction carried by a submission or a completion; null for other messages.
    TransactionRecord *record() const { return m_record.get(); }
    TransactionPtr sharedRecord() const { return m_record; }

    // What the receiver of a sent message answers.
    qintptr result() const { return m_result; }
    void setResult(qintptr result) { m_result = result; }

private:
    uint32_t m_message;
    qintptr m_wParam;
    qintptr m_lParam;
    TransactionPtr m_record;
    qintptr m_result = 0;
};

// Queues the message for the target's thread; a target that is null or has been destroyed
// before delivery receives nothing.
void PostMessage(QObject *target, uint32_t message, qintptr wParam = 0, qintptr lParam = 0,
                 TransactionPtr record = {});

// Delivers the message at once, inside this call, and returns the receiver's result.
// A null target returns 0.
qintptr SendMessage(QObject *target, uint32_t message, qintptr wParam = 0, qintptr lParam = 0,
                    TransactionPtr record = {});

// The receiver of submissions, operator commands and detection requests: the main window in
// the program, the bus host in tools and tests.
QObject *MainWindow();
void SetMainWindow(QObject *window);
