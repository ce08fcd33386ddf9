#include "sim/SimulatedBus.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
using Seconds = std::chrono::duration<double>;

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// How long the line must stay quiet before an incomplete request is given up.
double flushGapSeconds(const SimulatedBus::Timing &timing)
{
    return std::max(3.5 * timing.characterSeconds(), 0.002);
}

// Rounded up, so that a deadline computed from it is never a moment too early.
std::chrono::steady_clock::duration lineDuration(double seconds)
{
    return std::chrono::ceil<std::chrono::steady_clock::duration>(Seconds(seconds));
}

constexpr int kHangUpPollMs = 20;
constexpr int kIdlePollMs = 50;
constexpr qsizetype kMaxQueuedBytes = 64 * 1024;
} // namespace

SimulatedBus::Timing SimulatedBus::Timing::fast()
{
    Timing timing;
    timing.turnaroundMs = 0;
    timing.paced = false;
    return timing;
}

double SimulatedBus::Timing::characterSeconds() const
{
    const int bits =
        1 + 8 + (parity == PseudoTerminal::Parity::None ? 0 : 1) + std::clamp(stopBits, 1, 2);
    return bits / static_cast<double>(std::max(baud, 1));
}

double SimulatedBus::Timing::frameGapSeconds() const
{
    return paced ? 3.5 * characterSeconds() : 0.0;
}

SimulatedBus::SimulatedBus() : m_lastClock(Clock::now()) {}

SimulatedBus::~SimulatedBus()
{
    stop();
}

int SimulatedBus::addInverter(std::unique_ptr<SimInverter> inverter)
{
    if (!inverter || !inverter->validAddress(inverter->address()))
        return -1;
    std::lock_guard lock(m_mutex);
    syncClockLocked(Clock::now());
    m_inverters.push_back(std::move(inverter));
    return static_cast<int>(m_inverters.size()) - 1;
}

void SimulatedBus::setTiming(const Timing &timing)
{
    std::lock_guard lock(m_mutex);
    m_timing = timing;
}

SimulatedBus::Timing SimulatedBus::timing() const
{
    std::lock_guard lock(m_mutex);
    return m_timing;
}

void SimulatedBus::setLogger(Logger logger)
{
    std::lock_guard lock(m_mutex);
    m_logger = std::move(logger);
}

QString SimulatedBus::slavePath() const
{
    std::lock_guard lock(m_mutex);
    return m_pty.slavePath();
}

bool SimulatedBus::start(QString *error)
{
    if (isRunning()) {
        if (error)
            *error = QStringLiteral("the simulated bus is already serving");
        return false;
    }
    {
        std::lock_guard lock(m_mutex);
        if (!m_pty.open(m_timing.baud, m_timing.parity, error))
            return false;
    }
    if (pipe2(m_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error)
            *error = QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        std::lock_guard lock(m_mutex);
        m_pty.close();
        return false;
    }
    m_parser = SimFrameParser();
    m_out.clear();
    m_held.clear();
    m_writeBlocked = false;
    m_lineFreeAt = Clock::now();
    m_rxLineEnd = m_txLineEnd = m_lineFreeAt;
    m_nextNoise = Clock::now();
    m_thread = std::thread(&SimulatedBus::serve, this);
    return true;
}

void SimulatedBus::stop()
{
    if (!m_thread.joinable())
        return;
    const char quit = 'q';
    while (write(m_stopPipe[1], &quit, 1) < 0 && errno == EINTR) {
    }
    m_thread.join();
    ::close(m_stopPipe[0]);
    ::close(m_stopPipe[1]);
    m_stopPipe[0] = m_stopPipe[1] = -1;
    std::lock_guard lock(m_mutex);
    m_pty.close();
}

// ---- serving thread ------------------------------------------------------------------------

void SimulatedBus::serve()
{
    int master = -1;
    {
        std::lock_guard lock(m_mutex);
        master = m_pty.masterFd();
    }
    for (;;) {
        const Timing timing = this->timing();
        Clock::time_point now = Clock::now();
        releaseHeld(now);
        pumpOutput(now, timing);
        if (m_parser.hasPending() &&
            Seconds(now - m_lastReceived).count() >= flushGapSeconds(timing)) {
            hold(m_parser.flush(), now);
            logDiscarded();
            releaseHeld(now);
        }
        maybeSendNoise(now, timing);
        const Clock::time_point masterDue =
            m_lineMaster ? driveLineMaster(now, timing) : Clock::time_point::max();

        // Sleep until the next byte or held request is due, the pending input times out, or
        // 50 ms.
        Clock::time_point wake = now + std::chrono::milliseconds(kIdlePollMs);
        if (!m_out.empty() && !m_writeBlocked) {
            // A paced byte is delivered once its whole character has crossed the line.
            const Burst &burst = m_out.front();
            const double offset = timing.paced ? (burst.sent + 1) * timing.characterSeconds() : 0.0;
            wake = std::min(wake, burst.start + lineDuration(offset));
        }
        if (!m_held.empty())
            wake = std::min(wake, m_held.front().due);
        wake = std::min(wake, masterDue);
        if (m_parser.hasPending())
            wake = std::min(wake, m_lastReceived + lineDuration(flushGapSeconds(timing)));
        const auto wait = std::max(Clock::duration::zero(), wake - now);
        const auto waitNs = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
        timespec timeout{static_cast<time_t>(waitNs / 1000000000),
                         static_cast<long>(waitNs % 1000000000)};

        pollfd fds[2] = {{m_stopPipe[0], POLLIN, 0},
                         {master, static_cast<short>(POLLIN | (m_writeBlocked ? POLLOUT : 0)), 0}};
        const int ready = ppoll(fds, 2, &timeout, nullptr);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[0].revents != 0)
            break;
        if (ready <= 0)
            continue;
        if (fds[1].revents & POLLOUT)
            m_writeBlocked = false;

        bool hangUp = false;
        if (fds[1].revents & POLLIN)
            readMaster(Clock::now(), &hangUp);
        else if (fds[1].revents & (POLLHUP | POLLERR))
            hangUp = true;
        if (hangUp) {
            // Nobody holds the slave: whatever was under way is lost, as on a cut line.
            m_out.clear();
            m_held.clear();
            m_writeBlocked = false;
            m_parser.flush();
            m_parser.takeDiscarded();
            pollfd stopOnly = {m_stopPipe[0], POLLIN, 0};
            if (poll(&stopOnly, 1, kHangUpPollMs) > 0)
                break;
        }
    }
}

void SimulatedBus::readMaster(Clock::time_point now, bool *hangUp)
{
    int master = -1;
    {
        std::lock_guard lock(m_mutex);
        master = m_pty.masterFd();
    }
    const Timing timing = this->timing();
    char buffer[512];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n > 0 && m_lineMaster) {
            // The line belongs to the other master: what the program sends is only counted.
            m_lineMaster->programWrote(QByteArray(buffer, n));
            continue;
        }
        if (n > 0) {
            Clock::time_point due = now;
            if (timing.paced) {
                // The bytes cross the wire one after another; a new frame starts no sooner
                // than t3.5 after the line's previous frame, in either direction.
                const Clock::time_point start =
                    m_parser.hasPending()
                        ? std::max(now, m_rxLineEnd)
                        : std::max(now, std::max(m_rxLineEnd, m_txLineEnd) +
                                            lineDuration(timing.frameGapSeconds()));
                m_rxLineEnd = start + lineDuration(n * timing.characterSeconds());
                m_lastReceived = m_rxLineEnd;
                due = m_rxLineEnd + lineDuration(timing.frameGapSeconds());
            } else {
                m_lastReceived = now;
            }
            hold(m_parser.feed(QByteArray(buffer, n)), due);
            logDiscarded();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        *hangUp = true; // EIO: the slave side has been closed
        return;
    }
}

void SimulatedBus::hold(const QList<SimFrame> &frames, Clock::time_point due)
{
    for (const SimFrame &frame : frames)
        m_held.push_back({frame, due});
}

void SimulatedBus::releaseHeld(Clock::time_point now)
{
    while (!m_held.empty() && m_held.front().due <= now) {
        const SimFrame frame = m_held.front().frame;
        const bool fromLineMaster = m_held.front().fromLineMaster;
        m_held.pop_front();
        handleFrames({frame}, now, fromLineMaster);
    }
}

void SimulatedBus::handleFrames(const QList<SimFrame> &frames, Clock::time_point now,
                                bool fromLineMaster)
{
    for (const SimFrame &frame : frames) {
        m_framesReceived.fetch_add(1);
        log(QStringLiteral("rx %1%2").arg(
            hex(frame.bytes), frame.checkOk ? QString() : QStringLiteral(" (bad sum)")));
        QList<Reply> replies;
        Timing timing;
        {
            std::lock_guard lock(m_mutex);
            syncClockLocked(now);
            replies = dispatch(frame, now);
            timing = m_timing;
        }
        for (const Reply &reply : replies)
            schedule(reply, now, timing);
        if (fromLineMaster && m_lineMaster) {
            QList<QByteArray> sent;
            for (const Reply &reply : replies)
                sent.append(reply.bytes);
            m_lineMaster->answered(frame.bytes, sent);
        }
    }
}

SimulatedBus::Clock::time_point SimulatedBus::driveLineMaster(Clock::time_point now,
                                                              const Timing &timing)
{
    // The line is free once every frame on it has ended and t3.5 has passed.
    if (!m_out.empty() || !m_held.empty() || m_parser.hasPending())
        return Clock::time_point::max();
    const Clock::time_point free =
        std::max({m_rxLineEnd, m_txLineEnd, m_lineFreeAt}) + lineDuration(timing.frameGapSeconds());
    if (now < free || now < m_lineMasterNext)
        return std::max(free, m_lineMasterNext);
    Clock::time_point askAgain = now + std::chrono::milliseconds(kIdlePollMs);
    const QByteArray request = m_lineMaster->nextRequest(now, &askAgain);
    if (request.isEmpty()) {
        m_lineMasterNext = askAgain;
        return askAgain;
    }
    SimFrameParser parser;
    QList<SimFrame> frames = parser.feed(request);
    frames += parser.flush();
    const Clock::time_point end =
        now + lineDuration(timing.paced ? request.size() * timing.characterSeconds() : 0.0);
    m_out.push_back({request, now, 0, QStringLiteral("foreign master")});
    m_lineFreeAt = m_rxLineEnd = end;
    for (const SimFrame &frame : frames)
        m_held.push_back({frame, end + lineDuration(timing.frameGapSeconds()), true});
    return Clock::time_point::max();
}

void SimulatedBus::deafenLocked(Clock::time_point now, const SimFrame *frame)
{
    m_deafUntil.resize(m_inverters.size());
    for (size_t i = 0; i < m_inverters.size(); ++i) {
        const SimInverter &inverter = *m_inverters[i];
        if (inverter.fault() != SimFault::Deaf || now < m_deafUntil[i])
            continue;
        if (!frame || frame->protocol != inverter.protocol() || !frame->checkOk)
            m_deafUntil[i] = now + std::chrono::milliseconds(std::max(0, inverter.lateMs()));
    }
}

QList<SimulatedBus::Reply> SimulatedBus::dispatch(const SimFrame &frame, Clock::time_point now)
{
    QList<Reply> replies;
    // Who is deaf now stays deaf for this frame; a frame it cannot parse makes it deaf.
    m_deafUntil.resize(m_inverters.size());
    std::vector<bool> deaf(m_inverters.size());
    for (size_t i = 0; i < m_inverters.size(); ++i)
        deaf[i] = m_inverters[i]->fault() == SimFault::Deaf && now < m_deafUntil[i];
    deafenLocked(now, &frame);
    for (size_t i = 0; i < m_inverters.size(); ++i) {
        const auto &inverter = m_inverters[i];
        if (deaf[i])
            continue;
        if (inverter->protocol() != frame.protocol)
            continue;
        if (!frame.broadcast && inverter->address() != frame.address)
            continue;
        const SimFault fault = inverter->fault();
        if (fault == SimFault::Silent)
            continue;
        QByteArray bytes = fault == SimFault::Refuse ? inverter->refusalReply(frame)
                                                     : inverter->handleFrame(frame);
        if (bytes.isEmpty())
            continue;
        if (fault == SimFault::CorruptCheck) {
            for (int i = 1; i <= inverter->checkLength() && i <= bytes.size(); ++i)
                bytes[bytes.size() - i] = static_cast<char>(bytes[bytes.size() - i] ^ 0xFF);
        } else if (fault == SimFault::LineError) {
            bytes = QByteArray("\xFF\x00\x00", 3) + bytes.mid(1);
        }
        // The label names the inverter after the request, e.g. at its new address.
        replies.append(
            {bytes, fault,
             QStringLiteral("%1 at %2").arg(inverter->modelName()).arg(inverter->address()),
             fault == SimFault::LateReply ? std::max(0, inverter->lateMs()) : 0});
    }
    return replies;
}

void SimulatedBus::schedule(const Reply &reply, Clock::time_point now, const Timing &timing)
{
    qsizetype queued = 0;
    for (const Burst &burst : m_out)
        queued += burst.bytes.size();
    if (queued > kMaxQueuedBytes)
        return;
    const auto lineTime = [&timing](qsizetype bytes) {
        return std::chrono::duration_cast<Clock::duration>(
            Seconds(timing.paced ? bytes * timing.characterSeconds() : 0.0));
    };
    const Clock::time_point start =
        std::max(now + std::chrono::milliseconds(std::max(timing.turnaroundMs, 0) + reply.delayMs),
                 m_lineFreeAt);
    if (reply.fault == SimFault::SplitReply && reply.bytes.size() > 1) {
        const qsizetype half = reply.bytes.size() / 2;
        const Clock::time_point second =
            start + lineTime(half) + std::chrono::milliseconds(std::max(timing.splitGapMs, 0));
        m_out.push_back(
            {reply.bytes.left(half), start, 0, reply.label + QStringLiteral(", split")});
        m_out.push_back(
            {reply.bytes.mid(half), second, 0, reply.label + QStringLiteral(", split")});
        m_lineFreeAt = second + lineTime(reply.bytes.size() - half);
    } else if (reply.delayMs > 0 || m_out.empty()) {
        m_out.push_back({reply.bytes, start, 0, reply.label});
        m_lineFreeAt = std::max(m_lineFreeAt, start + lineTime(reply.bytes.size()));
    } else {
        // A drive answers in the first silence long enough for its reply: another drive's
        // late reply that is not yet on the line does not hold back a prompt answer. A drive
        // answers in order, so never before a reply of its own still waiting.
        Clock::time_point at =
            now + std::chrono::milliseconds(std::max(timing.turnaroundMs, 0));
        const Clock::duration length = lineTime(reply.bytes.size());
        auto slot = m_out.begin();
        for (auto it = m_out.begin(); it != m_out.end(); ++it) {
            if (it->label.startsWith(reply.label))
                slot = it;
        }
        for (; slot != m_out.end(); ++slot) {
            const bool onLine = slot->sent > 0 || slot->start <= now;
            if (!onLine && at + length <= slot->start && !slot->label.startsWith(reply.label))
                break;
            at = std::max(at, slot->start + lineTime(slot->bytes.size()));
        }
        m_out.insert(slot, {reply.bytes, at, 0, reply.label});
        m_lineFreeAt = std::max(m_lineFreeAt, at + length);
    }
}

void SimulatedBus::pumpOutput(Clock::time_point now, const Timing &timing)
{
    int master = -1;
    {
        std::lock_guard lock(m_mutex);
        master = m_pty.masterFd();
    }
    while (!m_out.empty() && !m_writeBlocked) {
        Burst &burst = m_out.front();
        if (now < burst.start)
            return;
        qsizetype due = burst.bytes.size();
        if (timing.paced) {
            const double elapsed = Seconds(now - burst.start).count();
            due = std::min<qsizetype>(due, static_cast<qsizetype>(std::floor(
                                               elapsed / timing.characterSeconds() + 1e-9)));
        }
        if (due > burst.sent) {
            const ssize_t n = write(master, burst.bytes.constData() + burst.sent,
                                    static_cast<size_t>(due - burst.sent));
            if (n < 0) {
                if (errno == EAGAIN)
                    m_writeBlocked = true;
                else if (errno != EINTR)
                    m_out.clear(); // the slave is gone; the next poll reports the hang-up
                return;
            }
            if (burst.sent == 0)
                log(QStringLiteral("tx %1 (%2)").arg(hex(burst.bytes), burst.label));
            burst.sent += n;
        }
        if (burst.sent < burst.bytes.size())
            return;
        m_txLineEnd =
            timing.paced
                ? burst.start + lineDuration(burst.bytes.size() * timing.characterSeconds())
                : now;
        m_out.pop_front();
    }
}

void SimulatedBus::maybeSendNoise(Clock::time_point now, const Timing &timing)
{
    if (now < m_nextNoise)
        return;
    m_nextNoise = now + std::chrono::milliseconds(std::max(timing.strayIntervalMs, 1));
    if (!m_out.empty() || m_parser.hasPending())
        return;
    QString source;
    {
        std::lock_guard lock(m_mutex);
        for (const auto &inverter : m_inverters) {
            if (inverter->fault() == SimFault::StrayBytes) {
                source = QStringLiteral("%1 at %2, stray")
                             .arg(inverter->modelName())
                             .arg(inverter->address());
                break;
            }
        }
    }
    if (source.isEmpty())
        return;
    QByteArray noise;
    for (int i = 0; i < 3; ++i) {
        m_noiseSeed = m_noiseSeed * 1664525u + 1013904223u;
        noise.append(static_cast<char>(m_noiseSeed >> 24));
    }
    m_out.push_back({noise, now, 0, source});
}

void SimulatedBus::logDiscarded()
{
    const QByteArray dropped = m_parser.takeDiscarded();
    if (!dropped.isEmpty()) {
        std::lock_guard lock(m_mutex);
        deafenLocked(Clock::now(), nullptr);
    }
    if (!dropped.isEmpty())
        log(QStringLiteral("rx noise %1").arg(hex(dropped)));
}

void SimulatedBus::log(const QString &line)
{
    Logger logger;
    {
        std::lock_guard lock(m_mutex);
        logger = m_logger;
    }
    if (logger)
        logger(line);
}

// ---- accessors ---------------------------------------------------------------------------

void SimulatedBus::syncClockLocked(Clock::time_point now) const
{
    if (!m_manualClock) {
        const double seconds = Seconds(now - m_lastClock).count();
        for (const auto &inverter : m_inverters)
            inverter->drive().advance(seconds);
    }
    m_lastClock = now;
}

SimInverter *SimulatedBus::at(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_inverters.size()))
        return nullptr;
    return m_inverters[static_cast<size_t>(index)].get();
}

int SimulatedBus::inverterCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_inverters.size());
}

QList<int> SimulatedBus::indicesAt(int address) const
{
    std::lock_guard lock(m_mutex);
    QList<int> indices;
    for (size_t i = 0; i < m_inverters.size(); ++i) {
        if (m_inverters[i]->address() == address)
            indices.append(static_cast<int>(i));
    }
    return indices;
}

QString SimulatedBus::modelName(int index) const
{
    std::lock_guard lock(m_mutex);
    const SimInverter *inverter = at(index);
    return inverter ? inverter->modelName() : QString();
}

int SimulatedBus::address(int index) const
{
    std::lock_guard lock(m_mutex);
    const SimInverter *inverter = at(index);
    return inverter ? inverter->address() : -1;
}

void SimulatedBus::setFault(int index, SimFault fault)
{
    std::lock_guard lock(m_mutex);
    if (SimInverter *inverter = at(index))
        inverter->setFault(fault);
}

int SimulatedBus::setFaultAt(int address, SimFault fault, int lateMs)
{
    std::lock_guard lock(m_mutex);
    int count = 0;
    for (const auto &inverter : m_inverters) {
        if (inverter->address() == address) {
            inverter->setFault(fault);
            inverter->setLateMs(lateMs);
            ++count;
        }
    }
    return count;
}

SimFault SimulatedBus::fault(int index) const
{
    std::lock_guard lock(m_mutex);
    const SimInverter *inverter = at(index);
    return inverter ? inverter->fault() : SimFault::None;
}

void SimulatedBus::setAnswersBroadcast(int index, bool answers)
{
    std::lock_guard lock(m_mutex);
    if (SimInverter *inverter = at(index))
        inverter->setAnswersBroadcast(answers);
}

std::optional<quint16> SimulatedBus::registerValue(int index, quint32 reg) const
{
    std::lock_guard lock(m_mutex);
    syncClockLocked(Clock::now());
    const SimInverter *inverter = at(index);
    return inverter ? inverter->registerValue(reg) : std::nullopt;
}

bool SimulatedBus::setRegisterValue(int index, quint32 reg, quint16 value)
{
    std::lock_guard lock(m_mutex);
    syncClockLocked(Clock::now());
    SimInverter *inverter = at(index);
    return inverter && inverter->setRegisterValue(reg, value);
}

quint16 SimulatedBus::operationWord(int index) const
{
    std::lock_guard lock(m_mutex);
    const SimInverter *inverter = at(index);
    return inverter ? inverter->operationWord() : 0;
}

SimulatedBus::DriveState SimulatedBus::driveState(int index) const
{
    std::lock_guard lock(m_mutex);
    syncClockLocked(Clock::now());
    DriveState state;
    if (const SimInverter *inverter = at(index)) {
        const DriveModel &drive = inverter->drive();
        state = {drive.running(),         drive.reverse(),       drive.reference(),
                 drive.outputFrequency(), drive.outputVoltage(), drive.outputCurrent()};
    }
    return state;
}

void SimulatedBus::setLoad(int index, double fraction)
{
    std::lock_guard lock(m_mutex);
    syncClockLocked(Clock::now());
    if (SimInverter *inverter = at(index))
        inverter->drive().setLoad(fraction);
}

int SimulatedBus::commitCount(int index) const
{
    std::lock_guard lock(m_mutex);
    const SimInverter *inverter = at(index);
    return inverter ? inverter->commitCount() : 0;
}

void SimulatedBus::setManualClock(bool manual)
{
    std::lock_guard lock(m_mutex);
    syncClockLocked(Clock::now());
    m_manualClock = manual;
}

void SimulatedBus::advanceClock(double seconds)
{
    std::lock_guard lock(m_mutex);
    for (const auto &inverter : m_inverters)
        inverter->drive().advance(seconds);
}

void SimulatedBus::withInverter(int index, const std::function<void(SimInverter &)> &fn)
{
    std::lock_guard lock(m_mutex);
    syncClockLocked(Clock::now());
    if (SimInverter *inverter = at(index))
        fn(*inverter);
}
