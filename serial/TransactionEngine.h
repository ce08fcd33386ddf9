#pragma once

#include "serial/MessageRing.h"
#include "serial/TransactionRecord.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class CommLink;
class WindowMessage;

// Serialises all bus traffic: one request/reply exchange on the line at a time, submissions
// queued in a ring of 500 in their order, a reply taken as the first chunk received, a
// time-out when no chunk arrives, the finished record posted back to its requester.
class TransactionEngine : public QObject
{
    Q_OBJECT

public:
    static constexpr int RingSize = 500;

    explicit TransactionEngine(CommLink *port, QObject *parent = nullptr);

    // Interval of RS232Timer (1000 ms) and the time-out limit (3000 ms): a request with no
    // reply finishes on the first tick whose count times the interval exceeds the limit.
    int timerInterval() const { return m_timer.interval(); }
    void setTimerInterval(int milliseconds) { m_timer.setInterval(milliseconds); }
    int timeOutLimit() const { return m_timeOutLimit; }
    void setTimeOutLimit(int milliseconds) { m_timeOutLimit = milliseconds; }

    // Handles the engine's messages: submit (1426), next transaction (1427), restart the
    // port (1428). Returns false for any other message.
    bool handleMessage(WindowMessage *message);

    // Submission: queues the record and starts it at once when the line is idle. A record
    // that does not fit in the ring completes at once with result 1.
    void submit(const TransactionRecord &record);
    // The timer's tick; tests call it directly instead of waiting.
    void RS232OnTime();
    // A chunk received from the port.
    void ReceiveData(const QByteArray &buffer);
    // Stops and restarts the port; the exchange in flight is not touched.
    void restartPort();
    // Starts the next queued record if the line is idle (message 1427).
    void startNextIfIdle();

    bool isBusy() const { return m_timer.isActive(); }
    int pendingCount() const;
    const TransactionRecord &currentTransaction() const { return m_current; }

    // The status-bar text for a request ("RS233(Send):") or a reply ("RS232(Recieve):").
    static QString frameText(bool request, const uint8_t *frame, int length);

signals:
    // The last frame sent or received, for the status bar.
    void frameShown(const QString &text);
    // True while an exchange is on the line (the busy indicator).
    void busyChanged(bool busy);
    // A submission found the ring full and was completed with result 1.
    void queueOverflow(int slot);
    // Every finished exchange, as its requester will receive it (Result 1 on a time-out, else
    // still unchecked), with the time from the request's write to the finish.
    void exchangeFinished(const TransactionRecord &record, qint64 responseMs);
    // A chunk that no exchange took as its reply (stray bytes or a line error notice).
    void strayReceived(const QByteArray &bytes);

protected:
    void customEvent(QEvent *event) override;

private:
    bool EnqueueRequest(const TransactionRecord &record);
    bool DequeueRequest(TransactionRecord &record);
    void StartTransaction(const TransactionRecord &record);
    void FinishTransaction();
    void ShowFrame(bool request);

    CommLink *m_port;
    MessageRing<TransactionRecord, RingSize> m_ring;
    TransactionRecord m_current;
    QTimer m_timer;
    int m_timeOutLimit = 3000;
    int m_tickCount = 0;
    QElapsedTimer m_sentAt;
};
