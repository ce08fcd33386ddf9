#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "serial/LineSettings.h"

#include <cstdint>
#include <memory>
#include <optional>

class ReplyRule;

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

    // The device the line opens, for the operator's messages.
    virtual QString portName() const { return QString(); }
    // The exchange timing chosen with the line's settings, which the engine takes up each time
    // the line starts; none when the engine's owner sets the timing itself.
    virtual std::optional<ExchangeTiming> exchangeTiming() const { return std::nullopt; }
    // False when the device the line opens is known to be missing.
    virtual bool deviceExists() const { return true; }
    // Time one character takes on the line; 0 when unknown.
    virtual int characterTimeUs() const { return 0; }
    // Drops whatever has been received and not yet delivered.
    virtual void discardInput() {}
    // How a received burst ends. With a rule, a burst ends as soon as its bytes complete the
    // reply to the request last written, or after gapMs of silence; without one it ends after
    // the line's fixed silence. The framing itself stays with the rule.
    virtual void setBurstEnd(std::shared_ptr<const ReplyRule> rule, int gapMs)
    {
        Q_UNUSED(rule);
        Q_UNUSED(gapMs);
    }

    // Listening to another master: the line only receives. Taken up by the next StartComm
    // (the transmitter stays off); from now on every WriteCommData is refused, reported with
    // writeRefused, and sends nothing.
    void setReceiveOnly(bool on) { m_receiveOnly = on; }
    bool receiveOnly() const { return m_receiveOnly; }
    // Writes refused since the line was made receive-only.
    quint64 refusedWrites() const { return m_refusedWrites; }
    static QString receiveOnlyText()
    {
        return QStringLiteral("Передача запрещена: линия в режиме прослушивания");
    }

signals:
    // One chunk of bytes received: a burst on the line, or a 4-byte line error notice.
    void OnReceiveData(const QByteArray &data);
    // A worker of the link has failed and stopped.
    void OnRequestHangup(QObject *sender);
    // StartComm has opened the line.
    void started();
    // A write was refused because the line only receives.
    void writeRefused(const QString &text);

protected:
    // For WriteCommData: true (after reporting it) when the line must not send.
    bool refuseWrite()
    {
        if (!m_receiveOnly)
            return false;
        ++m_refusedWrites;
        emit writeRefused(receiveOnlyText());
        return true;
    }

private:
    bool m_receiveOnly = false;
    quint64 m_refusedWrites = 0;
};
