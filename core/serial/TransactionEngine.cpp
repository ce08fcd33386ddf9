#include "serial/TransactionEngine.h"

#include "serial/CommLink.h"
#include "serial/FrameGap.h"
#include "serial/LineEcho.h"
#include "serial/MessageNumbers.h"
#include "serial/ReplyLocator.h"
#include "serial/ReplyRule.h"
#include "serial/WindowMessage.h"

#include <algorithm>
#include <cstring>

namespace {
// The status bar panel holds at most this many characters.
constexpr int MaxFrameText = 255;
} // namespace

TransactionEngine::TransactionEngine(CommLink *port, QObject *parent)
    : QObject(parent), m_port(port)
{
    m_timer.setObjectName(QStringLiteral("RS232Timer"));
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &TransactionEngine::RS232OnTime);
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, &TransactionEngine::replyDeadline);
    m_quiet.setSingleShot(true);
    m_quiet.setTimerType(Qt::PreciseTimer);
    // Each wait ends by itself; guardOver, which ends both, is for tests.
    connect(&m_quiet, &QTimer::timeout, this, &TransactionEngine::startNextIfIdle);
    m_heldWait.setSingleShot(true);
    m_heldWait.setTimerType(Qt::PreciseTimer);
    connect(&m_heldWait, &QTimer::timeout, this, &TransactionEngine::startNextIfIdle);
    connect(&m_returnWatch, &DeviceReturnWatch::returned, this, [this] { reopenLost(); });
    m_resync.setSingleShot(true);
    m_resync.setTimerType(Qt::PreciseTimer);
    connect(&m_resync, &QTimer::timeout, this, &TransactionEngine::startNextIfIdle);
    m_lateQuiet.setSingleShot(true);
    m_lateQuiet.setTimerType(Qt::PreciseTimer);
    connect(&m_lateQuiet, &QTimer::timeout, this, &TransactionEngine::startNextIfIdle);
    m_clock.start();
    InitTransaction(m_current, nullptr, 0, 0, 0);
    if (m_port) {
        connect(m_port, &CommLink::OnReceiveData, this, &TransactionEngine::ReceiveData);
        connect(m_port, &CommLink::OnRequestHangup, this, &TransactionEngine::linkLost);
        connect(m_port, &CommLink::lineNote, this, &TransactionEngine::lineNote);
        connect(m_port, &CommLink::started, this, [this] {
            if (const std::optional<ExchangeTiming> timing = m_port->exchangeTiming()) {
                setReplyTimeoutMs(timing->replyTimeoutMs);
                setResyncMs(timing->resyncMs);
                setEchoMode(timing->echo);
                setTiming(timing->fast ? Timing::Fast : Timing::Standard);
            } else {
                applyFraming(); // the line's character time may have changed
            }
        });
    }
}

void TransactionEngine::setTiming(Timing timing)
{
    m_timing = timing;
    if (timing == Timing::Fast)
        m_lateQuiet.stop();
    applyFraming();
}

void TransactionEngine::setReplyTimeoutMs(int milliseconds)
{
    m_replyTimeoutMs = std::clamp(milliseconds, MinReplyTimeoutMs, MaxReplyTimeoutMs);
}

void TransactionEngine::setReplyRule(std::shared_ptr<const ReplyRule> rule)
{
    m_rule = std::move(rule);
    applyFraming();
}

void TransactionEngine::setEchoMode(EchoMode mode)
{
    if (mode == m_echo)
        return;
    m_echo = mode;
    m_lineEchoes = false;
    applyFraming();
}

int TransactionEngine::resyncWaitMs(int resyncMs, bool otherFamily, qint64 sinceLastMs)
{
    if (!otherFamily || resyncMs <= 0)
        return 0;
    return int(std::clamp<qint64>(resyncMs - std::max<qint64>(0, sinceLastMs), 0, resyncMs));
}

int TransactionEngine::protocolFamilyOf(const TransactionRecord &record) const
{
    if (!m_rule || record.TxLength <= 0 || record.TxLength > TransactionRecord::FrameSize)
        return 0;
    return m_rule->protocolFamily(record.TxFrame, record.TxLength);
}

int TransactionEngine::otherFamilyQuietMs(const TransactionRecord &record) const
{
    const int family = protocolFamilyOf(record);
    qint64 lastEnd = -1;
    for (auto it = m_familyFrameEnd.cbegin(); it != m_familyFrameEnd.cend(); ++it) {
        if (it.key() != family)
            lastEnd = std::max(lastEnd, it.value());
    }
    if (lastEnd < 0)
        return TransactionRecord::NeverHeard;
    return int(
        std::clamp<qint64>(m_clock.elapsed() - lastEnd, 0, TransactionRecord::NeverHeard - 1));
}

bool TransactionEngine::holdForOtherFamily(const TransactionRecord &record)
{
    if (record.OtherFamilyHoldMs <= 0 || std::exchange(m_holdWaived, false))
        return false;
    const int wait = record.OtherFamilyHoldMs - otherFamilyQuietMs(record);
    if (wait <= 0)
        return false;
    m_resync.start(wait);
    return true;
}

bool TransactionEngine::holdForResync(const TransactionRecord &record)
{
    if (holdForOtherFamily(record))
        return true;
    if (m_resyncMs <= 0 || m_timing != Timing::Fast || m_lastFamily < 0 || !m_lastEnd.isValid())
        return false;
    const int wait = resyncWaitMs(m_resyncMs, protocolFamilyOf(record) != m_lastFamily,
                                  m_lastEnd.elapsed() + m_lastEndAgoMs);
    if (wait <= 0)
        return false;
    m_resync.start(wait);
    return true;
}

void TransactionEngine::applyFraming()
{
    if (!m_port)
        return;
    m_port->setEcho(m_echo, m_lineEchoes);
    if (m_timing == Timing::Fast && m_rule)
        m_port->setBurstEnd(m_rule, replyGapMs());
    else
        m_port->setBurstEnd(nullptr, 0);
    // A port that times t3.5 itself does so to the microsecond, from the reply's last byte;
    // a timer here would count from the reply's handling and in whole milliseconds.
    const bool fast = m_timing == Timing::Fast;
    m_portKeepsGap = m_port->keepFrameGap(fast ? frameGapUs() : 0) && fast;
}

int TransactionEngine::guardMs() const
{
    if (m_guardMs >= 0)
        return m_guardMs;
    // Never longer than the time-out itself, which tests and tools shorten.
    if (m_timing == Timing::Standard)
        return std::min(StandardGuardMs, m_timeOutLimit + m_timer.interval());
    return std::max(2 * replyGapMs(), m_replyTimeoutMs);
}

int TransactionEngine::guardMsFor(const TransactionRecord &record) const
{
    if (m_guardMs >= 0 || m_timing != Timing::Fast || !record.Probe)
        return guardMs();
    return std::max(2 * replyGapMs(), probeTimeoutMs());
}

int TransactionEngine::probeTimeoutMs(qint64 slowestReplyUs, int replyTimeoutMs)
{
    if (slowestReplyUs <= 0)
        return replyTimeoutMs;
    const qint64 ms = (ProbeTimeoutFactor * slowestReplyUs + 999) / 1000;
    return int(std::min<qint64>(replyTimeoutMs, std::max<qint64>(MinProbeTimeoutMs, ms)));
}

int TransactionEngine::characterTimeUs() const
{
    const int us = m_port ? m_port->characterTimeUs() : 0;
    return us > 0 ? us : 1146; // 11 bits at 9600 bit/s
}

int TransactionEngine::frameGapUs() const
{
    // 3.5 characters; above 19200 bit/s a fixed 1750 us, as the Modbus line rules have it.
    return FrameGap::gapUs(characterTimeUs());
}

int TransactionEngine::replyGapMs() const
{
    // An adapter that holds bytes back longer than the floor leaves gaps that long in a reply.
    const int delayMs = m_port ? std::clamp(m_port->deliveryDelayMs(), 0, 1000) : 0;
    return std::max(GapFloorMs, (frameGapUs() + 999) / 1000 + delayMs);
}

bool TransactionEngine::handleMessage(WindowMessage *message)
{
    switch (message->message()) {
    case Msg::Submit:
        if (message->record())
            submit(*message->record());
        return true;
    case Msg::NextTransaction:
        startNextIfIdle();
        return true;
    case Msg::RestartPort:
        restartPort();
        return true;
    default:
        return false;
    }
}

void TransactionEngine::customEvent(QEvent *event)
{
    if (event->type() == WindowMessage::eventType())
        handleMessage(static_cast<WindowMessage *>(event));
}

void TransactionEngine::submit(const TransactionRecord &record)
{
    if (!EnqueueRequest(record)) {
        // A full ring must not swallow a request silently: the requester learns of it as a
        // time-out, which every requester already handles.
        TransactionRecord refused = record;
        refused.RxLength = -1;
        refused.Result = TransactionResult::TimeOut;
        PostMessage(refused.NotifyWindow, refused.NotifyMessage, 0, 0,
                    std::make_shared<TransactionRecord>(refused));
        emit queueOverflow(record.Slot);
        return;
    }
    startNextIfIdle();
}

namespace {
// Requests that begin alike can be answered alike: protocol, address and function or letter.
QByteArray requestKind(const TransactionRecord &record)
{
    return QByteArray(reinterpret_cast<const char *>(record.TxFrame),
                      std::clamp(int(record.TxLength), 0, 2));
}
} // namespace

int TransactionEngine::syncKeyOf(const TransactionRecord &record) const
{
    if (!m_rule || record.TxLength <= 0 || record.TxLength > TransactionRecord::FrameSize)
        return -1;
    return m_rule->syncKey(record.TxFrame, record.TxLength);
}

void TransactionEngine::setSuspended(bool suspended)
{
    m_suspended = suspended;
    if (!suspended)
        startNextIfIdle();
}

void TransactionEngine::startNextIfIdle()
{
    if (m_inFlight || m_suspended || m_resync.isActive())
        return;
    if (!passesLateQuiet(m_hasHeld ? &m_held : m_ring.front()))
        return;
    if (m_hasHeld && !m_heldWait.isActive()) {
        // The request behind a synchronising exchange goes first; in the fast timing a guard
        // of another kind does not hold it, a resync pause does.
        const bool otherKind =
            m_timing == Timing::Fast && !m_guarded.isEmpty() && requestKind(m_held) != m_guarded;
        if ((!m_quiet.isActive() || otherKind) && !holdForResync(m_held))
            startHeld();
        return;
    }
    if (m_timing == Timing::Fast) {
        startFirstReady();
        return;
    }
    // The wait for a synchronising request's late answer holds the line.
    if (m_hasHeld)
        return;
    if (m_quiet.isActive()) {
        // t3.5 after a frame holds for everything; a guard only for the kind that timed out.
        const TransactionRecord *next = m_ring.front();
        if (m_guarded.isEmpty() || !next || requestKind(*next) == m_guarded)
            return;
    }
    if (const TransactionRecord *front = m_ring.front(); front && holdForOtherFamily(*front))
        return;
    TransactionRecord next;
    if (DequeueRequest(next))
        StartTransaction(next);
}

bool TransactionEngine::EnqueueRequest(const TransactionRecord &record)
{
    return m_ring.push(record);
}

bool TransactionEngine::DequeueRequest(TransactionRecord &record)
{
    return m_ring.pop(record);
}

int TransactionEngine::pendingCount() const
{
    return m_ring.size();
}

void TransactionEngine::startFirstReady()
{
    // t3.5 kept by the timer here holds everything.
    if (m_quiet.isActive() && m_guarded.isEmpty())
        return;
    // The oldest request that may go now goes, unless an older one of its kind or device
    // waits: a guard or a wait for a late answer holds only its own device.
    QList<QByteArray> waitingKinds;
    QList<int> waitingKeys;
    for (int i = 0; i < m_ring.size(); ++i) {
        const TransactionRecord &record = m_ring.at(i);
        const QByteArray kind = requestKind(record);
        const int key = syncKeyOf(record);
        const bool ready = !waitingKinds.contains(kind) && !waitingKeys.contains(key) &&
                           !(m_quiet.isActive() && kind == m_guarded) &&
                           !(m_hasHeld && !passesHeld(record));
        if (ready) {
            if (holdForResync(record))
                return; // the pause holds the whole line: every device hears the next frame
            TransactionRecord next;
            m_ring.takeAt(i, next);
            StartTransaction(next);
            return;
        }
        waitingKinds.append(kind);
        if (key >= 0)
            waitingKeys.append(key);
    }
}

bool TransactionEngine::passesHeld(const TransactionRecord &record) const
{
    const int key = syncKeyOf(record);
    return key != m_heldKey && (key < 0 || !m_sync.value(key).lost);
}

void TransactionEngine::startHeld()
{
    m_hasHeld = false;
    SyncState &state = m_sync[m_heldKey];
    if (state.lost) {
        // The wait has passed without the answer: what the device sends is not known to be
        // in step, so the request fails without going out. Without a sound from it meanwhile
        // it counts as silent, and its next unanswered synchronisation spares the wait.
        state.silent = !state.heard;
        state.heard = false;
        failRecord(m_held);
        PostMessage(this, Msg::NextTransaction);
        return;
    }
    StartTransaction(m_held);
}

void TransactionEngine::failRecord(TransactionRecord record)
{
    record.RxLength = -1;
    record.Result = TransactionResult::TimeOut;
    PostMessage(record.NotifyWindow, record.NotifyMessage, 0, 0,
                std::make_shared<TransactionRecord>(record));
}

void TransactionEngine::StartTransaction(const TransactionRecord &record)
{
    const int key = syncKeyOf(record);
    if (key >= 0 && m_sync.value(key).lost) {
        uint8_t sync[16] = {};
        // Eight in turn differ, so a late answer to one cannot pass for one of the next seven.
        const int length =
            m_rule->buildSync(record.TxFrame, record.TxLength, m_sync[key].sent++ % 8, sync);
        if (length > 0) {
            m_held = record;
            m_heldKey = key;
            m_syncing = true;
            ++m_syncCount;
            m_syncRequest = QByteArray(reinterpret_cast<const char *>(sync), length);
            TransactionRecord probe = record;
            std::memcpy(probe.TxFrame, sync, size_t(length));
            probe.TxLength = length;
            probe.RxLength = -1;
            probe.NotifyMessage = 0;
            probe.NotifyWindow = nullptr;
            sendExchange(probe);
            return;
        }
    }
    sendExchange(record);
}

void TransactionEngine::sendExchange(const TransactionRecord &record)
{
    m_strayTail.clear();
    m_inFlight = true;
    m_timedOut = false;
    m_cutShort = false;
    m_broken.clear();
    m_echoChecked = false;
    m_echoHeld.clear();
    emit busyChanged(true);

    // Value is not carried over: it has served its purpose in the request frame.
    m_current.TxLength = std::clamp(record.TxLength, -1, TransactionRecord::FrameSize);
    m_current.RxLength = std::clamp(record.RxLength, -1, TransactionRecord::FrameSize);
    if (m_current.TxLength > 0)
        std::memcpy(m_current.TxFrame, record.TxFrame, size_t(m_current.TxLength));
    if (m_current.RxLength > 0)
        std::memcpy(m_current.RxFrame, record.RxFrame, size_t(m_current.RxLength));
    m_current.Slot = record.Slot;
    m_current.NotifyWindow = record.NotifyWindow;
    m_current.NotifyMessage = record.NotifyMessage;
    m_current.Result = record.Result;
    m_current.SlotGeneration = record.SlotGeneration;
    m_current.LineLost = false;
    m_current.Echoed = false;
    m_current.Probe = record.Probe;
    m_current.OtherFamilyHoldMs = record.OtherFamilyHoldMs;
    m_current.OtherFamilyQuietMs = -1;
    m_current.AfterOtherFamily = false;

    // A port whose device went away is tried again once the device is back.
    if (m_port && !m_port->isOpen() && m_lost && m_port->deviceExists())
        reopenLost();
    if (m_port && !m_port->isOpen()) {
        // Nothing can go on the line: the exchange fails at once, without a word per request.
        emit frameShown(closedPortText(m_port->portName()));
        m_current.RxLength = -1;
        m_current.LineLost = m_lost;
        emit portUnavailable();
        FinishTransaction();
        return;
    }

    ShowFrame(true);
    m_current.OtherFamilyQuietMs = otherFamilyQuietMs(m_current);
    m_current.AfterOtherFamily = m_lastFamily >= 0 && m_lastFamily != protocolFamilyOf(m_current);
    if (m_port && m_current.TxLength > 0) {
        // Whatever arrived before the request cannot be its reply.
        m_port->discardInput();
        m_port->WriteCommData(m_current.TxFrame, uint16_t(m_current.TxLength));
    }
    m_sentAt.start();
    if (m_timing == Timing::Fast) {
        // The deadline counts from the end of the request's line time, and from the moment
        // the adapter may still hold the reply's last bytes back.
        qint64 lineUs = qint64(std::max(0, int(m_current.TxLength))) * characterTimeUs();
        if (m_portKeepsGap)
            lineUs += m_port->frameGapLeftNs() / 1000; // the port holds it until t3.5 is over
        const int delayMs = m_port ? std::clamp(m_port->deliveryDelayMs(), 0, 1000) : 0;
        const int timeoutMs = m_current.Probe ? probeTimeoutMs() : m_replyTimeoutMs;
        m_deadline.start(int((lineUs + 999) / 1000) + timeoutMs + delayMs);
    } else {
        m_tickCount = 0;
        m_timer.start();
    }
}

void TransactionEngine::guardOver()
{
    m_quiet.stop();
    m_heldWait.stop();
    m_lateQuiet.stop();
    // The request a pause held goes next, whatever the time.
    m_holdWaived = m_resync.isActive();
    m_resync.stop();
    startNextIfIdle();
}

void TransactionEngine::RS232OnTime()
{
    if (!m_timer.isActive() || !m_inFlight)
        return;
    ++m_tickCount;
    if (qint64(m_tickCount) * m_timer.interval() > m_timeOutLimit) {
        m_timedOut = true;
        FinishTransaction();
    }
}

void TransactionEngine::replyDeadline()
{
    if (!m_inFlight || m_timing != Timing::Fast)
        return;
    if (!m_echoHeld.isEmpty()) {
        // The beginning of the request and nothing more: a reply cut short, not an echo.
        m_echoChecked = true;
        ReceiveData(std::exchange(m_echoHeld, QByteArray()));
        if (!m_inFlight)
            return;
    }
    if (!m_broken.isEmpty()) {
        m_cutShort = true;
        takeReply(QByteArray(m_broken));
        return;
    }
    m_timedOut = true;
    FinishTransaction();
}

TransactionEngine::Chunk TransactionEngine::classify(const QByteArray &buffer,
                                                     qsizetype &start) const
{
    start = 0;
    // The receive thread's notice of a broken character: the reply was destroyed on the
    // line, and the exchange ends as a communication error.
    if (buffer == QByteArrayLiteral("Even"))
        return Chunk::Reply;
    if (!m_rule)
        return Chunk::Reply;
    const auto *request = m_current.TxFrame;
    const int requestLength = std::max(0, int(m_current.TxLength));
    const auto *bytes = reinterpret_cast<const uint8_t *>(buffer.constData());
    const int length = int(buffer.size());
    const ReplyMatch match = m_rule->match(request, requestLength, bytes, length);
    if ((match.verdict == ReplyMatch::Verdict::Complete ||
         match.verdict == ReplyMatch::Verdict::Corrupt) &&
        match.length == length)
        return Chunk::Reply;
    // Noise or a broken frame the link delivered together with a whole right reply behind it.
    const ReplyLocator::Span span =
        ReplyLocator::locate(*m_rule, request, requestLength, bytes, length);
    if (span.length > 0 && span.start + span.length == length) {
        start = span.start;
        return Chunk::Reply;
    }
    // Bytes whose check bytes are right are a frame of their own, someone else's.
    if (length == 0 || m_rule->checksOut(bytes, length))
        return Chunk::Stray;
    const bool beginsRight =
        m_rule->match(request, requestLength, bytes, std::min(length, 2)).verdict !=
        ReplyMatch::Verdict::Foreign;
    return beginsRight ? Chunk::Broken : Chunk::Stray;
}

qsizetype TransactionEngine::replyBeforeFrame(const QByteArray &buffer) const
{
    if (!m_inFlight || m_timing != Timing::Standard || !m_rule)
        return 0;
    const auto *bytes = reinterpret_cast<const uint8_t *>(buffer.constData());
    const int length = int(buffer.size());
    const ReplyMatch match =
        m_rule->match(m_current.TxFrame, std::max(0, int(m_current.TxLength)), bytes, length);
    if (match.verdict != ReplyMatch::Verdict::Complete || match.length <= 0 ||
        match.length >= length || !m_rule->checksOut(bytes + match.length, length - match.length))
        return 0;
    return match.length;
}

bool TransactionEngine::stripEcho(QByteArray &buffer)
{
    if (m_echoChecked || m_echo == EchoMode::Off || buffer == QByteArrayLiteral("Even"))
        return true;
    buffer.prepend(std::exchange(m_echoHeld, QByteArray()));
    const int requestLength = std::max(0, int(m_current.TxLength));
    const auto *bytes = reinterpret_cast<const uint8_t *>(buffer.constData());
    const LineEcho::Cut cut = LineEcho::cut(m_echo, m_lineEchoes, m_rule.get(), m_current.TxFrame,
                                            requestLength, bytes, int(buffer.size()));
    // The standard timing's chunks end in silence: a beginning of the request alone is no
    // echo still coming.
    if (cut.partial && m_timing == Timing::Fast) {
        m_echoHeld = buffer;
        return false;
    }
    m_echoChecked = true;
    if (cut.echo == 0) {
        // A whole right reply without an echo before it: the line no longer echoes.
        if (m_lineEchoes && m_echo == EchoMode::Auto && m_rule &&
            m_rule->match(m_current.TxFrame, requestLength, bytes, int(buffer.size())).verdict ==
                ReplyMatch::Verdict::Complete) {
            m_lineEchoes = false;
            applyFraming();
        }
        return true;
    }
    m_current.Echoed = true;
    if (m_echo == EchoMode::Auto && !m_lineEchoes) {
        m_lineEchoes = true;
        applyFraming();
    }
    buffer.remove(0, cut.echo);
    return !buffer.isEmpty();
}

void TransactionEngine::ReceiveData(const QByteArray &received)
{
    QByteArray buffer = received;
    if (m_inFlight && !stripEcho(buffer))
        return;
    if (m_inFlight && m_timing == Timing::Fast && !m_broken.isEmpty()) {
        // The rest of a reply the adapter handed over in two batches.
        const QByteArray joined = m_broken + buffer;
        qsizetype at = 0;
        if (classify(joined, at) != Chunk::Stray) {
            m_broken.clear();
            buffer = joined;
        }
    }
    if (const qsizetype reply = replyBeforeFrame(buffer); reply > 0) {
        ReceiveData(buffer.left(reply));
        ReceiveData(buffer.mid(reply)); // the exchange has ended: stray
        return;
    }
    if (m_suspended && !m_inFlight)
        return;
    qsizetype start = 0;
    const Chunk chunk = m_inFlight ? classify(buffer, start) : Chunk::Stray;
    if (m_rule && !m_sync.isEmpty()) {
        const auto *bytes = reinterpret_cast<const uint8_t *>(buffer.constData());
        const int size = int(buffer.size());
        // The answer to a synchronising request that timed out, arriving in the quiet wait:
        // the device is in step again.
        if (m_hasHeld && (!m_inFlight || chunk == Chunk::Stray) && !m_syncRequest.isEmpty()) {
            const ReplyMatch match =
                m_rule->match(reinterpret_cast<const uint8_t *>(m_syncRequest.constData()),
                              int(m_syncRequest.size()), bytes, size);
            if (match.verdict == ReplyMatch::Verdict::Complete && match.length == size &&
                !m_rule->isRefusal(bytes, size)) {
                SyncState &state = m_sync[m_heldKey];
                state.lost = state.weak = state.heard = state.silent = state.late = false;
                noteLateAnswer(m_heldKey);
                m_heldWait.stop();
                discardChunk(buffer);
                PostMessage(this, Msg::NextTransaction);
                return;
            }
        }
        // A checked frame of an unsynchronised device that nothing takes tells that it is
        // still answering late; noise does not. A late frame may come in pieces.
        if (chunk != Chunk::Reply || start > 0)
            noteUntaken(chunk == Chunk::Reply ? buffer.left(start) : buffer);
    }
    if (chunk == Chunk::Broken && m_timing == Timing::Fast) {
        // The rest of the reply, or the whole reply after noise, may still come.
        if (!m_broken.isEmpty())
            discardChunk(m_broken);
        m_broken = buffer;
        return;
    }
    if (chunk == Chunk::Stray) {
        discardChunk(buffer);
        return;
    }
    if (!m_broken.isEmpty())
        discardChunk(m_broken);
    if (start > 0)
        discardChunk(buffer.left(start));
    takeReply(buffer.mid(start));
}

void TransactionEngine::noteUntaken(const QByteArray &bytes)
{
    m_strayTail = (m_strayTail + bytes).right(StrayTailBytes);
    const auto *tail = reinterpret_cast<const uint8_t *>(m_strayTail.constData());
    const int tailSize = int(m_strayTail.size());
    for (auto it = m_sync.begin(); it != m_sync.end(); ++it) {
        for (int length = 5; it->lost && !it->heard && length <= tailSize; ++length) {
            if (m_rule->isFrameFrom(it.key(), tail + tailSize - length, length))
                it->heard = it->late = true;
        }
    }
    if (!bytes.isEmpty())
        noteLateFrames();
}

void TransactionEngine::takeReply(const QByteArray &reply)
{
    m_broken.clear();
    // A chunk longer than the record is cut.
    const int length = std::min<int>(int(reply.size()), TransactionRecord::FrameSize);
    std::memcpy(m_current.RxFrame, reply.constData(), size_t(length));
    m_current.RxLength = length;
    if (m_timing == Timing::Fast && m_sentAt.isValid() && reply != QByteArrayLiteral("Even")) {
        // From the end of the request's line time to the reply's last byte, as the port saw them;
        // else from the handing over of the request to the reply's handling here.
        const qint64 lineUs = qint64(std::max(0, int(m_current.TxLength))) * characterTimeUs();
        const int64_t sentEnd = m_port && m_portKeepsGap ? m_port->requestEndNs() : 0;
        const int64_t received = m_port && m_portKeepsGap ? m_port->receivedNs() : 0;
        const qint64 replyUs = sentEnd > 0 && received > sentEnd
                                   ? (received - sentEnd) / 1000
                                   : m_sentAt.nsecsElapsed() / 1000 - lineUs;
        m_slowestReplyUs = std::max(m_slowestReplyUs, replyUs);
    }
    ShowFrame(false);
    FinishTransaction();
}

void TransactionEngine::discardChunk(const QByteArray &buffer)
{
    ++m_strayCount;
    emit strayReceived(buffer);
    // Nobody waits for these bytes: in the standard timing, restarting the port discards
    // whatever else is pending.
    if (!m_inFlight && m_timing == Timing::Standard)
        restartPort();
}

void TransactionEngine::restartPort()
{
    if (!m_port)
        return;
    m_port->StopComm();
    if (m_port->StartComm()) {
        m_lost = false;
        m_returnWatch.cancel();
    }
}

void TransactionEngine::FinishTransaction()
{
    // One completion per exchange, however many ways it could end.
    if (!m_inFlight)
        return;
    m_inFlight = false;
    m_timer.stop();
    m_deadline.stop();
    m_echoHeld.clear();
    // The family's last frame on the line: the reply, or the request that went unanswered.
    m_lastFamily = protocolFamilyOf(m_current);
    m_lastEndAgoMs = 0;
    if (m_current.RxLength <= 0 && m_sentAt.isValid()) {
        const qint64 lineMs =
            (qint64(std::max(0, int(m_current.TxLength))) * characterTimeUs() + 999) / 1000;
        m_lastEndAgoMs = std::max<qint64>(0, m_sentAt.elapsed() - lineMs);
    }
    m_lastEnd.start();
    if (m_current.OtherFamilyQuietMs >= 0) // the request went on the line
        m_familyFrameEnd[m_lastFamily] = m_clock.elapsed() - m_lastEndAgoMs;
    emit busyChanged(false);
    if (m_current.RxLength < 0)
        m_current.Result = TransactionResult::TimeOut;
    emit exchangeFinished(m_current, m_sentAt.isValid() ? m_sentAt.elapsed() : 0);
    if (m_timedOut)
        noteOwed(syncKeyOf(m_current));
    if (m_syncing) {
        finishSync(m_current.RxLength > 0);
        return;
    }
    const int key = syncKeyOf(m_current);
    if (key >= 0)
        noteSyncOutcome(key);
    PostMessage(m_current.NotifyWindow, m_current.NotifyMessage, 0, 0,
                std::make_shared<TransactionRecord>(m_current));
    // After a time-out a late reply may still be on its way; after a reply the fast timing
    // keeps t3.5 between frames.
    m_guarded.clear();
    m_quiet.stop();
    if (m_timedOut && key < 0 && guardMsFor(m_current) > 0) {
        m_guarded = requestKind(m_current);
        m_quiet.start(guardMsFor(m_current));
    } else if (m_cutShort && guardMs() > 0) {
        // The rest of a reply cut short may still come, and a frame sent meanwhile would
        // collide with it: the whole line stays quiet for a guard.
        m_quiet.start(guardMs());
    } else if (!m_timedOut && m_timing == Timing::Fast && m_current.RxLength > 0 &&
               !m_portKeepsGap) {
        m_quiet.start((frameGapUs() + 999) / 1000);
    }
    PostMessage(this, Msg::NextTransaction);
}

void TransactionEngine::noteSyncOutcome(int key)
{
    SyncState &state = m_sync[key];
    const auto *reply = m_current.RxFrame;
    const int length = std::max(0, int(m_current.RxLength));
    const ReplyMatch match =
        m_rule->match(m_current.TxFrame, int(m_current.TxLength), reply, length);
    const bool clean = length > 0 && match.verdict == ReplyMatch::Verdict::Complete;
    const bool refusal = clean && m_rule->isRefusal(reply, length);
    if (m_timedOut) {
        state.lost = true;
        state.heard = false;
    } else if (refusal && state.weak) {
        // A second refusal after a refused synchronisation may be the synchronising request's
        // own. (A broken reply shifts nothing: without a time-out before it, it is this
        // request's own reply, damaged on the line.)
        state.weak = state.heard = false;
        state.lost = true;
    } else if (clean) {
        // In step: nothing older can follow.
        state.lost = state.weak = state.heard = false;
        state.owed.clear();
        if (m_lateQuietKey == key)
            m_lateQuiet.stop();
    }
}

void TransactionEngine::finishSync(bool answered)
{
    m_syncing = false;
    m_hasHeld = true;
    SyncState &state = m_sync[m_heldKey];
    const auto *reply = m_current.RxFrame;
    const int length = std::max(0, int(m_current.RxLength));
    const ReplyMatch match =
        m_rule->match(m_current.TxFrame, int(m_current.TxLength), reply, length);
    const bool refusal = answered && m_rule->isRefusal(reply, length);
    // A refusal names nothing: from a device seen answering late it may be an older one.
    if (answered && match.verdict == ReplyMatch::Verdict::Complete && !(refusal && state.late)) {
        // Nothing older can follow the answer: the held request goes next.
        const int sent = state.sent;
        state = SyncState(); // its lateness is forgotten too
        state.sent = sent;
        state.weak = refusal;
        if (m_lateQuietKey == m_heldKey)
            m_lateQuiet.stop();
        if (m_timing == Timing::Fast && !m_portKeepsGap)
            m_quiet.start((frameGapUs() + 999) / 1000);
    } else if ((m_timedOut || refusal) && !state.silent && guardMsFor(m_current) > 0) {
        // One quiet wait; whatever arrives meanwhile does not lengthen it.
        state.heard = false;
        m_heldWait.start(guardMsFor(m_current));
    } else if ((m_timedOut || refusal) && !state.silent) {
        // No wait at all: as after a quiet one.
    } else {
        // A silent device, a broken answer, or a closed port: the request fails unsent.
        m_hasHeld = false;
        failRecord(m_held);
    }
    PostMessage(this, Msg::NextTransaction);
}

void TransactionEngine::linkLost()
{
    // Both workers may ask; the loss is handled once.
    if (!m_port || (m_lost && !m_port->isOpen()))
        return;
    m_port->StopComm();
    m_lost = true;
    m_lateQuiet.stop();
    for (SyncState &state : m_sync)
        state.owed.clear(); // whatever was on its way is gone with the line
    const QString port = m_port->portName();
    emit frameShown(lostPortText(port));
    m_timedOut = false;
    m_current.RxLength = -1;
    m_current.LineLost = true;
    FinishTransaction();
    if (m_hasHeld) {
        m_hasHeld = false;
        m_heldWait.stop();
        failRecord(m_held);
    }
    failQueued();
    emit portLost(port);
    m_returnWatch.watch(m_port->deviceFile());
}

bool TransactionEngine::reopenLost()
{
    if (!m_port || !m_lost || m_port->isOpen())
        return m_port && m_port->isOpen();
    if (!m_port->StartComm())
        return false; // the next request tries again
    m_lost = false;
    m_returnWatch.cancel();
    emit portReturned(m_port->portName());
    return true;
}

int TransactionEngine::timeOutMs() const
{
    if (m_timing == Timing::Fast)
        return m_replyTimeoutMs;
    const int interval = std::max(1, m_timer.interval());
    return (m_timeOutLimit / interval + 1) * interval;
}

void TransactionEngine::noteOwed(int key)
{
    if (key < 0 || !m_sentAt.isValid())
        return;
    SyncState &state = m_sync[key];
    const qint64 now = nowUs();
    const qint64 lineUs = qint64(std::max(0, int(m_current.TxLength))) * characterTimeUs();
    const qint64 endUs = now - m_sentAt.nsecsElapsed() / 1000 + lineUs;
    state.owed.append(endUs);
    if (state.owed.size() > MaxOwed)
        state.owed.removeFirst();
    if (m_timing != Timing::Standard || state.lateUs < 0)
        return;
    // Its reply is due at the lateness seen after its request; a guard at least.
    const qint64 capUs = qint64(LateQuietTimeOuts) * timeOutMs() * 1000;
    const qint64 dueUs = std::min(endUs + state.lateUs + LateMarginMs * 1000, now + capUs);
    extendLateQuiet(key, std::max(now + qint64(guardMs()) * 1000, dueUs));
}

void TransactionEngine::noteLateFrames()
{
    const auto *tail = reinterpret_cast<const uint8_t *>(m_strayTail.constData());
    const int tailSize = int(m_strayTail.size());
    const qint64 now = nowUs();
    const qint64 capUs = qint64(LateQuietTimeOuts) * timeOutMs() * 1000;
    for (auto it = m_sync.begin(); it != m_sync.end(); ++it) {
        bool frame = false;
        for (int length = 5; !it->owed.isEmpty() && !frame && length <= tailSize; ++length)
            frame = m_rule->isFrameFrom(it.key(), tail + tailSize - length, length);
        if (!frame)
            continue;
        // A device answers in order: this is the reply to the oldest request it owes.
        it->lateUs = std::max({it->lateUs, qint64(0), now - it->owed.takeFirst()});
        if (m_timing == Timing::Standard && !it->owed.isEmpty())
            extendLateQuiet(it.key(), std::min(it->owed.last() + it->lateUs + LateMarginMs * 1000,
                                               now + capUs));
    }
}

void TransactionEngine::noteLateAnswer(int key)
{
    SyncState &state = m_sync[key];
    if (!state.owed.isEmpty())
        state.lateUs = std::max({state.lateUs, qint64(0), nowUs() - state.owed.last()});
    state.owed.clear();
    if (m_lateQuietKey == key)
        m_lateQuiet.stop();
}

void TransactionEngine::extendLateQuiet(int key, qint64 endUs)
{
    const qint64 now = nowUs();
    if (endUs <= now)
        return;
    if (!m_lateQuiet.isActive())
        m_lateQuietKey = key;
    else if (m_lateQuietKey != key)
        m_lateQuietKey = -1; // more than one device owes replies
    if (m_lateQuiet.isActive() && endUs <= m_lateQuietEndUs)
        return;
    m_lateQuietEndUs = endUs;
    m_lateQuiet.start(int((endUs - now + 999) / 1000));
}

bool TransactionEngine::passesLateQuiet(const TransactionRecord *next) const
{
    if (!m_lateQuiet.isActive())
        return true;
    // The late device's own requests are synchronising ones while it is out of step.
    const int key = next ? syncKeyOf(*next) : -1;
    return key >= 0 && key == m_lateQuietKey && m_sync.value(key).lost;
}

void TransactionEngine::failQueued()
{
    TransactionRecord record;
    while (DequeueRequest(record)) {
        record.RxLength = -1;
        record.Result = TransactionResult::TimeOut;
        record.LineLost = true;
        PostMessage(record.NotifyWindow, record.NotifyMessage, 0, 0,
                    std::make_shared<TransactionRecord>(record));
    }
}

QString TransactionEngine::closedPortText(const QString &port)
{
    return QStringLiteral("Порт %1 закрыт").arg(port);
}

QString TransactionEngine::lostPortText(const QString &port)
{
    return QStringLiteral("нет связи с портом %1").arg(port);
}

void TransactionEngine::ShowFrame(bool request)
{
    const uint8_t *frame = request ? m_current.TxFrame : m_current.RxFrame;
    const int length = request ? m_current.TxLength : m_current.RxLength;
    emit frameShown(frameText(request, frame, length));
}

QString TransactionEngine::frameText(bool request, const uint8_t *frame, int length)
{
    QString text = request ? QStringLiteral("RS233(Send):") : QStringLiteral("RS232(Recieve):");
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < length && text.size() + 3 <= MaxFrameText; ++i) {
        text += QLatin1Char(digits[frame[i] >> 4]);
        text += QLatin1Char(digits[frame[i] & 0x0F]);
        text += QLatin1Char(' ');
    }
    return text;
}
