#pragma once

#include "serial/DeviceReturnWatch.h"
#include "serial/LineSettings.h"
#include "serial/MessageRing.h"
#include "serial/TransactionRecord.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <memory>

class CommLink;
class ReplyRule;
class WindowMessage;

// Serialises all bus traffic: one request/reply exchange on the line at a time, submissions
// queued in a ring of 500 in their order, the finished record posted back to its requester.
//
// A received chunk completes the exchange when it can be the reply to the request in flight
// (the reply rule decides; without one every chunk can). A broken reply, one that begins as
// the reply would (address and function or letter) but is cut short or fails its check
// bytes, ends the exchange too, so that the requester's check reports a communication error
// rather than a time-out: at once in the standard timing, whose chunks end in silence; in the
// fast timing at the reply deadline, unless the whole reply follows, and the whole line then
// stays quiet for a guard, since the rest of the reply may still come. Any other chunk, among
// them a well-formed frame of another slave, function or register, is stray: it is counted
// and dropped, and the exchange waits on.
//
// A late reply must never be taken for the reply to a later request. Where the rule names a
// device key for a request (a protocol whose replies do not name their register), a time-out
// marks the device unsynchronised, and the next exchange with it is the rule's synchronising
// request, sent in place of the queued request and never reported to a requester. Its reply
// cannot be confused with a late one; late replies met meanwhile are dropped as stray. A
// device answers in order, so once that reply is in, nothing older can follow, and the queued
// request goes out. Eight synchronising requests in turn differ, so an answer to one of them
// cannot pass for the answer to the next seven. A refusal of it names nothing: it counts only
// from a device not seen answering late, and after one the device stays on probation: the
// next reply must not be a refusal either. A synchronising request that times out is followed
// by one wait of a guard time for its late answer, which lets the queued request go out (in
// the fast timing, requests to other devices that are in step go on during that wait);
// without it the request fails as a time-out, unsent, and the device stays unsynchronised (a
// late drive yields failed exchanges, never shifted ones). A device that stayed without a
// sound in that wait counts as silent: its next unanswered synchronisation fails the request
// at once, so a dead drive costs one time-out per request.
//
// A device seen answering late (a checked frame of it that no exchange took, or the late answer
// to its synchronising request) owes a reply to every request of it that timed out since; the
// largest lateness seen, from the end of a request to the arrival of its reply, is kept until
// its next clean synchronisation. In the standard timing the whole line then stays quiet
// after each time-out of that device, for a guard or until the lateness (and a margin) has
// passed since its request, whichever is later, so that the late reply lands in silence, not
// on a neighbour's request or reply, and is dropped as stray; and from the moment a late frame
// tells the lateness, until the replies still owed are due. The device's own requests go on
// meanwhile: they are synchronising ones, whose answer a late reply cannot pass for. The quiet
// never ends past eight time-outs from when it was set, stray bytes never move it, and a
// device never seen late keeps the guards above exactly.
//
// Requests without a key (their replies name what they answer) keep a plain guard: after a
// time-out the line stays closed to requests that begin like the one that timed out (same
// protocol, address and function) for a guard time; requests that begin otherwise go on (in
// the fast timing also past queued requests that a guard or wait holds, though never past an
// older one of their own kind or device).
// Stray bytes never lengthen a guard: a request waits at most one guard.
//
// Two timings: the standard one counts 1000 ms ticks up to a 3000 ms limit; the fast one has
// one reply deadline per exchange, counted from the end of the request's line time plus the
// port's delivery delay (a USB adapter's latency timer), and keeps at least t3.5 between
// frames. In the fast timing a broken reply joins the bytes that follow it, so a reply the
// adapter handed over in two batches is still one reply.
//
// In the standard timing a chunk ends only in silence, so a frame that follows the reply
// closely (a late one) arrives in the same chunk: a whole right reply followed by one checked
// frame is taken as the reply, and the frame behind it as stray.
//
// A line that echoes the master's bytes (see LineEcho) has the echo removed before a chunk is
// looked at, however many chunks it comes in; the exchange is marked Echoed. In the fast
// timing, a request of another protocol family than the exchange before it can wait for a
// resync pause after that exchange's last frame (its reply, or the request that went
// unanswered), so a slave deafened by a frame it could not parse hears its own request (0,
// the default, waits nothing). In either timing a request may ask to go out only once the
// line has been free of other families' frames for a while (OtherFamilyHoldMs); every sent
// request is told how long it had been (OtherFamilyQuietMs).
class TransactionEngine : public QObject
{
    Q_OBJECT

public:
    static constexpr int RingSize = 500;
    enum class Timing { Standard, Fast };
    static constexpr int DefaultReplyTimeoutMs = 300;
    static constexpr int MinReplyTimeoutMs = 20;
    static constexpr int MaxReplyTimeoutMs = 10000;
    // Quiet the line needs after a time-out in the standard timing: longer than the 250 ms
    // silence that ends a received chunk, so a late reply in progress is seen and waited out.
    static constexpr int StandardGuardMs = 500;

    explicit TransactionEngine(CommLink *port, QObject *parent = nullptr);

    // Interval of RS232Timer (1000 ms) and the time-out limit (3000 ms): a request with no
    // reply finishes on the first tick whose count times the interval exceeds the limit.
    int timerInterval() const { return m_timer.interval(); }
    void setTimerInterval(int milliseconds) { m_timer.setInterval(milliseconds); }
    int timeOutLimit() const { return m_timeOutLimit; }
    void setTimeOutLimit(int milliseconds) { m_timeOutLimit = milliseconds; }

    Timing timing() const { return m_timing; }
    // Takes effect with the next exchange; also tells the port how a received burst ends.
    void setTiming(Timing timing);
    // The fast timing's reply deadline, clamped to 20..10000 ms.
    int replyTimeoutMs() const { return m_replyTimeoutMs; }
    void setReplyTimeoutMs(int milliseconds);
    // Quiet required after a time-out before the next request of the same kind; -1 (the
    // default) chooses it from the timing: StandardGuardMs (or the time-out, when shorter),
    // or the fast deadline itself, so a reply up to twice the deadline late is waited out.
    int guardMs() const;
    void setGuardMs(int milliseconds) { m_guardMs = milliseconds; }
    // The fast timing's deadline for a detection probe: four times the slowest reply this
    // line has given since the engine was made, within 50 ms and the reply deadline; the
    // reply deadline itself while no reply has been seen. A probe's guard is its deadline.
    static constexpr int ProbeTimeoutFactor = 4;
    static constexpr int MinProbeTimeoutMs = 50;
    static int probeTimeoutMs(qint64 slowestReplyUs, int replyTimeoutMs);
    int probeTimeoutMs() const { return probeTimeoutMs(m_slowestReplyUs, m_replyTimeoutMs); }
    // The slowest reply seen, from the end of its request's line time to its arrival.
    qint64 slowestReplyUs() const { return m_slowestReplyUs; }

    // Whether a chunk can be the reply to a request. Without a rule every chunk can.
    void setReplyRule(std::shared_ptr<const ReplyRule> rule);

    // Echo removal (Auto by default). Changing the mode forgets whether the line echoes.
    EchoMode echoMode() const { return m_echo; }
    void setEchoMode(EchoMode mode);
    // Auto has seen the line echo a request whose copy could not be its reply.
    bool lineEchoes() const { return m_lineEchoes; }
    // The fast timing's pause before a request of the other protocol family; 0..10000 ms.
    int resyncMs() const { return m_resyncMs; }
    void setResyncMs(int milliseconds) { m_resyncMs = std::clamp(milliseconds, 0, 10000); }
    // The rest of the resync pause still to wait, from the time since the last exchange.
    static int resyncWaitMs(int resyncMs, bool otherFamily, qint64 sinceLastMs);

    // Handles the engine's messages: submit (1426), next transaction (1427), restart the
    // port (1428). Returns false for any other message.
    bool handleMessage(WindowMessage *message);

    // Submission: queues the record and starts it at once when the line is idle. A record
    // that does not fit in the ring completes at once with result 1.
    void submit(const TransactionRecord &record);
    // The timer's tick; tests call it directly instead of waiting.
    void RS232OnTime();
    // The fast timing's deadline has passed; tests call it directly instead of waiting.
    void replyDeadline();
    // The guard, quiet wait or pause has run out; tests call it directly instead of waiting.
    void guardOver();
    // A chunk received from the port.
    void ReceiveData(const QByteArray &buffer);
    // Stops and restarts the port; the exchange in flight is not touched.
    void restartPort();
    // Starts the next queued record if the line is idle (message 1427).
    void startNextIfIdle();

    // True while an exchange is on the line.
    bool isBusy() const { return m_inFlight; }
    // Suspended while the program listens to another master: no new exchange starts (requests
    // wait in the queue), and received bytes are the listener's, not strays of the engine.
    // Resuming starts what waits.
    void setSuspended(bool suspended);
    bool isSuspended() const { return m_suspended; }
    // True while the line is closed to new requests after a time-out.
    bool isGuarding() const
    {
        return m_quiet.isActive() || m_heldWait.isActive() || m_lateQuiet.isActive();
    }
    int pendingCount() const;
    const TransactionRecord &currentTransaction() const { return m_current; }
    // Chunks received that were no reply to the request in flight.
    int strayCount() const { return m_strayCount; }
    // Synchronising requests sent, and whether the device of a key is unsynchronised.
    int syncCount() const { return m_syncCount; }
    bool isUnsynchronised(int key) const { return m_sync.value(key).lost; }
    // The largest lateness of a device seen answering late, in microseconds; -1 when it has
    // not been seen late since its last clean synchronisation.
    qint64 lateUs(int key) const { return m_sync.value(key).lateUs; }

    // The status-bar text for a request ("RS233(Send):") or a reply ("RS232(Recieve):").
    static QString frameText(bool request, const uint8_t *frame, int length);
    // The status-bar text while the port is closed.
    static QString closedPortText(const QString &port);
    // The operator's words when the port's device has gone.
    static QString lostPortText(const QString &port);

    // The time one character of the port's line takes, t3.5, and the silence that ends a
    // fast reply that never completes: the larger of t3.5 and a floor for the latency of
    // USB serial adapters, which hand received bytes over in packets; an adapter known to hold
    // bytes back longer (its latency timer) adds that to t3.5.
    static constexpr int GapFloorMs = 20;
    int characterTimeUs() const;
    int frameGapUs() const;
    int replyGapMs() const;

signals:
    // The last frame sent or received, or the closed-port text, for the status bar.
    void frameShown(const QString &text);
    // True while an exchange is on the line (the busy indicator).
    void busyChanged(bool busy);
    // A submission found the ring full and was completed with result 1.
    void queueOverflow(int slot);
    // The port's device has gone: every exchange has been completed as failed and the port
    // closed. The operator has been told by the port.
    void portLost(const QString &port);
    // The port lost has been opened again: its device is back (watched for after the loss,
    // so it reopens with no request waiting), or a request found it back.
    void portReturned(const QString &port);
    // An exchange failed at once because the port is closed (lost or never opened).
    void portUnavailable();
    // Every finished exchange, as its requester will receive it (Result 1 on a time-out, else
    // still unchecked), with the time from the request's write to the finish.
    void exchangeFinished(const TransactionRecord &record, qint64 responseMs);
    // A chunk that no exchange took as its reply (stray bytes or a line error notice).
    void strayReceived(const QByteArray &bytes);
    // What the port found and set when it opened (passed on from the port).
    void lineNote(const QString &text);

protected:
    void customEvent(QEvent *event) override;

private:
    bool EnqueueRequest(const TransactionRecord &record);
    bool DequeueRequest(TransactionRecord &record);
    // Sends a synchronising request in place of the record when its device needs one.
    void StartTransaction(const TransactionRecord &record);
    void sendExchange(const TransactionRecord &record);
    void FinishTransaction();
    void ShowFrame(bool request);
    // Every chunk not taken as a reply ends here.
    void discardChunk(const QByteArray &buffer);
    // Reply: the chunk is the reply to the exchange in flight (its check bytes right or
    // wrong), or ends with a whole right reply that begins at start, after noise. Broken: it
    // begins like the reply and its check bytes are wrong. Stray: it answers nothing.
    enum class Chunk { Reply, Broken, Stray };
    Chunk classify(const QByteArray &buffer, qsizetype &start) const;
    void takeReply(const QByteArray &reply);
    // Standard timing: the length of a whole right reply at the start of the chunk when one
    // checked frame (another slave's, or a late one) follows it in the same chunk, which ends
    // only in silence; else 0.
    qsizetype replyBeforeFrame(const QByteArray &buffer) const;
    // Bytes no exchange takes: a checked frame among them tells that an unsynchronised
    // device still answers late.
    void noteUntaken(const QByteArray &bytes);
    void linkLost();
    // Opens a lost port again; true when it is open.
    bool reopenLost();
    // The synchronisation state of a device key (see the class comment).
    struct SyncState
    {
        bool lost = false;   // replies from it may be late ones
        bool weak = false;   // resynchronised by a refusal: on probation
        bool heard = false;  // a frame of it arrived while it was unsynchronised
        bool silent = false; // its last synchronisation went unanswered without a sound
        bool late = false;   // seen answering late since its last clean synchronisation
        int sent = 0;        // synchronising requests sent to it
        qint64 lateUs = -1;  // the largest lateness seen since then; -1: none
        QList<qint64> owed;  // ends of its timed-out requests not answered since, oldest first
    };
    int syncKeyOf(const TransactionRecord &record) const;
    // Finishes a synchronising exchange and decides about the request it stands before.
    void finishSync(bool answered);
    void startHeld();
    bool passesHeld(const TransactionRecord &record) const;
    // Fast timing: starts the oldest queued request that no guard or wait holds.
    void startFirstReady();
    void failRecord(TransactionRecord record);
    void noteSyncOutcome(int key);
    void failQueued();
    void applyFraming();
    // Removes the echo from a chunk of the exchange in flight; false when nothing is left to
    // look at (an echo, or the beginning of one, held for the bytes that follow).
    bool stripEcho(QByteArray &buffer);
    int protocolFamilyOf(const TransactionRecord &record) const;
    // Starts the resync pause before the record when it needs one; true then.
    bool holdForResync(const TransactionRecord &record);
    // How long the line has been free of frames of families other than the record's (ms).
    int otherFamilyQuietMs(const TransactionRecord &record) const;
    // Starts the pause the record asks for before it goes out (OtherFamilyHoldMs); true then.
    bool holdForOtherFamily(const TransactionRecord &record);

    CommLink *m_port;
    std::shared_ptr<const ReplyRule> m_rule;
    MessageRing<TransactionRecord, RingSize> m_ring;
    TransactionRecord m_current;
    QTimer m_timer;    // the standard timing's ticks
    QTimer m_deadline; // the fast timing's reply deadline
    QTimer m_quiet;    // the line is closed to new requests while it runs
    QTimer m_resync;   // the resync pause before a request of the other protocol family
    QTimer m_heldWait; // the wait for a synchronising request's late answer
    Timing m_timing = Timing::Standard;
    int m_replyTimeoutMs = DefaultReplyTimeoutMs;
    int m_guardMs = -1;
    int m_timeOutLimit = 3000;
    int m_tickCount = 0;
    int m_strayCount = 0;
    bool m_inFlight = false;
    bool m_suspended = false;
    bool m_timedOut = false;
    bool m_cutShort = false; // the fast timing's deadline ended a broken reply
    bool m_lost = false;
    QByteArray m_guarded; // the start of the request that timed out; empty after a reply
    QByteArray m_broken;  // fast timing: a broken reply held until the deadline
    QHash<int, SyncState> m_sync;
    bool m_syncing = false;   // the exchange in flight is a synchronising one
    bool m_hasHeld = false;   // m_held waits for its device's synchronisation
    TransactionRecord m_held; // the request the synchronising exchange stands before
    int m_heldKey = -1;
    QByteArray m_syncRequest; // the last synchronising request sent
    static constexpr int StrayTailBytes = 16;
    QByteArray m_strayTail; // the last stray bytes since the last request went out
    int m_syncCount = 0;
    QElapsedTimer m_sentAt;
    DeviceReturnWatch m_returnWatch; // waits for a lost port's device
    EchoMode m_echo = EchoMode::Auto;
    bool m_lineEchoes = false;
    bool m_echoChecked = false; // the exchange in flight has had its echo looked for
    QByteArray m_echoHeld;      // the beginning of an echo, or of the reply, not yet decided
    int m_resyncMs = 0;
    int m_lastFamily = -1;     // protocol family of the last exchange; -1 before the first
    QElapsedTimer m_lastEnd;   // when it finished
    qint64 m_lastEndAgoMs = 0; // how long before that its last frame ended
    bool m_portKeepsGap = false; // the port keeps t3.5 before each request itself
    qint64 m_slowestReplyUs = 0;
    QHash<int, qint64> m_familyFrameEnd; // when each family's last frame ended (m_clock, ms)
    bool m_holdWaived = false;           // guardOver() ended the pause a request asked for
    int guardMsFor(const TransactionRecord &record) const;

    // Devices seen answering late (see the class comment).
    static constexpr int MaxOwed = 16;
    static constexpr int LateMarginMs = 50;
    static constexpr int LateQuietTimeOuts = 8;
    QElapsedTimer m_clock; // the engine's time base: frame ends, owed replies, lateness
    QTimer m_lateQuiet;    // standard timing: the line waits for a late device's replies
    qint64 m_lateQuietEndUs = 0;
    int m_lateQuietKey = -1; // the device it waits for; -1 when more than one
    qint64 nowUs() const { return m_clock.nsecsElapsed() / 1000; }
    int timeOutMs() const;
    // An exchange with a key has timed out: its device owes the reply.
    void noteOwed(int key);
    // A checked frame at the end of the untaken bytes answers the oldest request its device
    // owes, which tells how late the device answers.
    void noteLateFrames();
    // The device answered its last request owed (a synchronising one), late.
    void noteLateAnswer(int key);
    // Keeps the line quiet until endUs at least (the callers bound it).
    void extendLateQuiet(int key, qint64 endUs);
    bool passesLateQuiet(const TransactionRecord *next) const;
};
