#pragma once

#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"

#include <QByteArray>
#include <QList>
#include <QObject>

// Stands in for the main window: records every transaction submitted to it.
class SubmissionRecorder : public QObject
{
public:
    SubmissionRecorder() { SetMainWindow(this); }
    ~SubmissionRecorder() override { SetMainWindow(nullptr); }

    QList<TransactionRecord> records;

    // The request bytes of submission i (TxLength bytes).
    QByteArray frame(int i = 0) const
    {
        const TransactionRecord &r = records.at(i);
        return QByteArray(reinterpret_cast<const char *>(r.TxFrame), r.TxLength);
    }

protected:
    void customEvent(QEvent *event) override
    {
        if (event->type() != WindowMessage::eventType())
            return;
        auto *message = static_cast<WindowMessage *>(event);
        if (message->message() == Msg::Submit && message->record())
            records.append(*message->record());
    }
};

// A record holding the request `request` and the reply `reply`, both as hex text.
inline TransactionRecord exchange(const QByteArray &requestHex, const QByteArray &replyHex)
{
    TransactionRecord record;
    const QByteArray tx = QByteArray::fromHex(requestHex);
    const QByteArray rx = QByteArray::fromHex(replyHex);
    std::copy(tx.begin(), tx.end(), record.TxFrame);
    std::copy(rx.begin(), rx.end(), record.RxFrame);
    record.TxLength = int32_t(tx.size());
    record.RxLength = int32_t(rx.size());
    return record;
}
