#pragma once

#include <QByteArray>
#include <QObject>

#include <cstdint>

// What the transaction engine needs of a serial line: open, close, queue bytes for sending,
// and chunks of received bytes delivered on the thread that owns the link. TComm32 is the
// real line; tests script a fake one.
class CommLink : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // True when the line is open and ready; failures have been reported to the operator.
    virtual bool StartComm() = 0;
    // Closes the line; does nothing when it is closed.
    virtual void StopComm() = 0;
    // Copies the bytes and queues them for sending; false when nothing can send them.
    virtual bool WriteCommData(const uint8_t *buffer, uint16_t length) = 0;
    virtual bool isOpen() const = 0;

signals:
    // One chunk of bytes received: a burst on the line, or a 4-byte line error notice.
    void OnReceiveData(const QByteArray &data);
    // A worker of the link has failed and stopped.
    void OnRequestHangup(QObject *sender);
};
