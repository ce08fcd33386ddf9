#pragma once

#include "serial/SerialDevice.h"

#include <QByteArray>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QThread>

#include <memory>

class FrameGap;
class ReplyRule;
class WakeEvent;

// How a received burst ends, shared by the port (which sets it and records each request it
// sends) and its receive thread (which asks the rule whether the bytes collected so far
// complete the reply to that request).
class BurstEnd
{
public:
    void set(std::shared_ptr<const ReplyRule> rule, int gapMs);
    void setRequest(const QByteArray &request);
    // The reply is looked for behind the request's echo (see LineEcho).
    void setEcho(EchoMode mode, bool lineEchoes);
    struct State
    {
        std::shared_ptr<const ReplyRule> rule; // null: bursts end after the fixed silence
        int gapMs = 0;
        QByteArray request;
        EchoMode echo = EchoMode::Off;
        bool lineEchoes = false;
    };
    State state() const;
    // The request has its reply; later bytes answer nothing.
    void requestAnswered(const QByteArray &request);

private:
    mutable QMutex m_mutex;
    State m_state;
};

// The receive thread of the serial port. It waits for the first byte of a burst, then keeps
// reading while bytes follow each other with gaps below 250 ms, and delivers the burst as one
// chunk once the line has been silent for 250 ms or 2048 bytes have been collected. A burst
// during which the driver counted a line error (framing, overrun, parity) is delivered once,
// when it ends, as the 4-byte chunk "Even" in its place. Every wait also watches the stop
// event; a failure is reported and ends the thread with a hang-up request.
// The signals are emitted on this thread; receivers connect with queued connections.
class TReadThread : public QThread
{
    Q_OBJECT

public:
    static constexpr int BufferSize = 2048;
    static constexpr int SilenceMs = 250;
    // What the owner receives for a line error: the head of the "EventMask:" report.
    static constexpr char LineErrorChunk[] = "Even";

    TReadThread(std::shared_ptr<SerialDevice> device, std::shared_ptr<WakeEvent> stop,
                QObject *parent = nullptr);
    // Fast framing: with a rule set in burstEnd, a burst that completes the reply to the
    // request in flight is delivered at once, exactly that frame, and any other burst after
    // the rule's gap of silence.
    void setBurstEnd(std::shared_ptr<BurstEnd> burstEnd) { m_burstEnd = std::move(burstEnd); }
    // Notes when bytes arrive, for the transmit thread's silence between frames.
    void setFrameGap(std::shared_ptr<FrameGap> gap) { m_frameGap = std::move(gap); }

    // True once the thread runs; false when it has not started within the time given.
    bool waitUntilRunning(int milliseconds);

signals:
    void dataReceived(const QByteArray &chunk);
    void failed(const QString &text);
    void hangupRequested();
    // The device has gone (hung up, unplugged): reported instead of the failure texts.
    void deviceLost();

protected:
    void run() override;

private:
    enum class Wait { Stop, Readable, Timeout, Invalid, HungUp, Failed };
    enum class Read { Data, Nothing, Invalid, Failed, Lost };
    // A failure is reported by the failing step and by the run method, then ends the thread.
    struct Failure
    {
        QString stepText;
        QString runText;
    };

    Wait waitReadable(int timeoutMs) const;
    Read readInto(char *buffer, int capacity, int &count) const;
    // Runs until the stop event is set (true) or a failure has been reported (false).
    bool receiveLoop();
    // True when the driver's line error counters changed since the last look.
    bool lineErrorCounted();
    void report(const Failure &failure);

    std::shared_ptr<SerialDevice> m_device;
    std::shared_ptr<WakeEvent> m_stop;
    std::shared_ptr<BurstEnd> m_burstEnd;
    std::shared_ptr<FrameGap> m_frameGap;
    QSemaphore m_running;
    bool m_countsLineErrors = false;
    SerialDevice::LineErrorCounts m_lineErrors;
};
