#pragma once

#include "serial/ReceivedBatch.h"
#include "serial/SerialDevice.h"

#include <QByteArray>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>
#include <optional>

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
// Listening (a batch quiet set above 0): the first bytes of a burst are read as they come;
// after each read the thread sleeps the quiet interval and reads what came meanwhile, each
// read stamped. The burst goes out as one batch when a read finds nothing (the line has been
// quiet that long), or once it has been gathered for BatchMs, or when it fills the buffer. A
// read during which a line error was counted goes out as the notice, after the batch before
// it. While the line is silent the thread sleeps on the descriptor.
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
    // Listening: bursts are handed over as stamped batches while the value is above 0 (the
    // silence in microseconds that ends one); taken up at the start of each burst.
    void setBatchQuiet(std::shared_ptr<std::atomic<int>> quietUs)
    {
        m_batchQuietUs = std::move(quietUs);
    }
    static constexpr int BatchMs = 100;
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
    // A listening line's burst, in stamped pieces.
    void batchReceived(const ReceivedBatch &batch);

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
    // A read of a burst failed (the handle was invalid, or another error).
    static Failure burstFailure(bool invalidHandle);
    // Gathers a burst whose first bytes are readable into batches and hands them over.
    // Nothing when the burst is over; else what receiveLoop returns.
    std::optional<bool> gatherBatch(int quietUs);

    std::shared_ptr<SerialDevice> m_device;
    std::shared_ptr<WakeEvent> m_stop;
    std::shared_ptr<BurstEnd> m_burstEnd;
    std::shared_ptr<FrameGap> m_frameGap;
    std::shared_ptr<std::atomic<int>> m_batchQuietUs;
    QSemaphore m_running;
    bool m_countsLineErrors = false;
    SerialDevice::LineErrorCounts m_lineErrors;
};
