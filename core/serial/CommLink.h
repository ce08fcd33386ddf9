#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "serial/LineSettings.h"
#include "serial/ReceivedBatch.h"

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
    // The file of the device the line opens, watched for its return after a loss; empty for
    // a line without one (a gateway is simply tried again).
    virtual QString deviceFile() const { return QString(); }
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
    // Whether received bytes may begin with the echo of the request last written; with
    // lineEchoes, a line seen echoing (see LineEcho). A burst does not end at an echo.
    virtual void setEcho(EchoMode mode, bool lineEchoes)
    {
        Q_UNUSED(mode);
        Q_UNUSED(lineEchoes);
    }
    // Listening: with quietUs > 0, received bytes are read at most every quietUs, each read
    // stamped, and handed over through OnReceiveBatch, one batch per burst (a burst ends after
    // quietUs of silence, or when it has been gathered for a while); line error notices still
    // come through OnReceiveData. 0 goes back to chunks. False when the link cannot do it:
    // its bytes keep coming through OnReceiveData.
    virtual bool setBatchDelivery(int quietUs)
    {
        Q_UNUSED(quietUs);
        return false;
    }
    // How late, beyond the line's own time, received bytes may be handed over (a USB
    // adapter's latency timer); 0 when nothing holds them.
    virtual int deliveryDelayMs() const { return 0; }

    // Keeps gapUs of silence before each request, timed from the end of the last frame
    // received or sent (0 keeps none). False when the link cannot time it, which leaves the
    // gap to the caller.
    virtual bool keepFrameGap(int gapUs)
    {
        Q_UNUSED(gapUs);
        return false;
    }
    // When the request last written left the line and when bytes last arrived, and what is
    // left of the gap before the next request may leave (CLOCK_MONOTONIC ns, see FrameGap),
    // as far as the link knows; 0 when it does not.
    virtual int64_t requestEndNs() const { return 0; }
    virtual int64_t receivedNs() const { return 0; }
    virtual int64_t frameGapLeftNs() const { return 0; }

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
    // Received bytes in stamped pieces, while batch delivery is on.
    void OnReceiveBatch(const ReceivedBatch &batch);
    // A worker of the link has failed and stopped.
    void OnRequestHangup(QObject *sender);
    // StartComm has opened the line.
    void started();
    // What the line found and set when it opened, for the traffic log.
    void lineNote(const QString &text);
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
