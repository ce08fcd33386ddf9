#include "serial/TReadThread.h"

#include "serial/FrameGap.h"
#include "serial/LineEcho.h"
#include "serial/ReplyLocator.h"
#include "serial/ReplyRule.h"
#include "serial/WakeEvent.h"

#include <QDeadlineTimer>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <utility>

#include <poll.h>
#include <unistd.h>

namespace {

const char WaitFailedText[] = "Read WAIT_FAILED(from TReadThread::Excute).";

// When a read returned, as a listener stamps its bytes: microseconds since the epoch.
qint64 nowUs()
{
    return qint64(std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count());
}

} // namespace

void BurstEnd::set(std::shared_ptr<const ReplyRule> rule, int gapMs)
{
    QMutexLocker lock(&m_mutex);
    m_state.rule = std::move(rule);
    m_state.gapMs = gapMs;
}

void BurstEnd::setRequest(const QByteArray &request)
{
    QMutexLocker lock(&m_mutex);
    m_state.request = request;
}

void BurstEnd::setEcho(EchoMode mode, bool lineEchoes)
{
    QMutexLocker lock(&m_mutex);
    m_state.echo = mode;
    m_state.lineEchoes = lineEchoes;
}

void BurstEnd::requestAnswered(const QByteArray &request)
{
    QMutexLocker lock(&m_mutex);
    if (m_state.request == request)
        m_state.request.clear();
}

BurstEnd::State BurstEnd::state() const
{
    QMutexLocker lock(&m_mutex);
    return m_state;
}

TReadThread::TReadThread(std::shared_ptr<SerialDevice> device, std::shared_ptr<WakeEvent> stop,
                         QObject *parent)
    : QThread(parent), m_device(std::move(device)), m_stop(std::move(stop))
{
}

bool TReadThread::waitUntilRunning(int milliseconds)
{
    if (!m_running.tryAcquire(1, milliseconds))
        return false;
    m_running.release();
    return true;
}

void TReadThread::run()
{
    m_countsLineErrors = m_device->readLineErrorCounts(m_lineErrors);
    m_running.release();

    const bool stopped = receiveLoop();
    m_device->discardInput();
    if (!stopped)
        emit hangupRequested();
}

bool TReadThread::receiveLoop()
{
    // Failing to start a read, and failing while a burst is being collected.
    const auto startFailure = [](bool invalidHandle) {
        return Failure{
            invalidHandle
                ? QStringLiteral("ERROR_IBNVALID_HANDLE(from TReadThread::SetupReadEvent).")
                : QStringLiteral("Unexpected read-file error(from TReadThread::SetupReadEvent)."),
            QStringLiteral("Unable to SetupReadEvent(from TReadThread::Excute).")};
    };

    std::array<char, BufferSize> buffer;
    for (;;) {
        // The first byte of a burst: wait without limit.
        const Wait first = waitReadable(-1);
        if (first == Wait::Stop)
            return true;
        if (first == Wait::Failed) {
            report({QString(), QString::fromLatin1(WaitFailedText)});
            return false;
        }
        if (first == Wait::HungUp) {
            emit deviceLost();
            return false;
        }
        if (first == Wait::Invalid) {
            report(startFailure(true));
            return false;
        }
        if (first != Wait::Readable)
            continue;
        if (const int quietUs = m_batchQuietUs ? m_batchQuietUs->load() : 0; quietUs > 0) {
            if (const std::optional<bool> ended = gatherBatch(quietUs))
                return *ended;
            continue;
        }
        int filled = 0;
        const Read read = readInto(buffer.data(), BufferSize, filled);
        if (read == Read::Nothing)
            continue;
        if (read == Read::Lost) {
            emit deviceLost();
            return false;
        }
        if (read != Read::Data) {
            report(startFailure(read == Read::Invalid));
            return false;
        }
        // The driver counts line errors but does not say which byte was hit: a burst that
        // saw the count change is delivered once, as the notice, in the burst's place and at
        // its end, so the exchange waiting for it ends there and nothing of it follows.
        bool hit = lineErrorCounted();
        bool reported = false;
        const auto deliver = [&](int count) {
            if (reported)
                return;
            if (hit) {
                emit dataReceived(QByteArray(LineErrorChunk, 4));
                reported = true;
            } else {
                emit dataReceived(QByteArray(buffer.data(), count));
            }
        };

        // The rest of the burst: bytes that follow within the silence interval, or, with a
        // framing rule, until they complete the reply to the request in flight.
        std::optional<Failure> failure;
        bool lost = false;
        for (;;) {
            const BurstEnd::State end = m_burstEnd ? m_burstEnd->state() : BurstEnd::State{};
            if (end.rule && !end.request.isEmpty() && filled > 0) {
                // The request's echo, or the beginning of one, ends no burst: the reply is
                // looked for behind it.
                const auto *request = reinterpret_cast<const uint8_t *>(end.request.constData());
                const int requestLength = int(end.request.size());
                const auto *bytes = reinterpret_cast<const uint8_t *>(buffer.data());
                const LineEcho::Cut echo = LineEcho::cut(end.echo, end.lineEchoes, end.rule.get(),
                                                         request, requestLength, bytes, filled);
                ReplyLocator::Span span;
                if (!echo.partial) {
                    span = ReplyLocator::locate(*end.rule, request, requestLength,
                                                bytes + echo.echo, filled - echo.echo);
                    span.start += echo.echo;
                }
                if (span.length > 0) {
                    // The reply, with the noise or broken frame before it; bytes after it
                    // start a burst of their own. A line error stays with the reply: that is
                    // what it may have broken.
                    const int taken = span.start + span.length;
                    m_burstEnd->requestAnswered(end.request);
                    deliver(taken);
                    hit = false;
                    reported = false;
                    std::memmove(buffer.data(), buffer.data() + taken, size_t(filled - taken));
                    filled -= taken;
                    if (filled == 0)
                        break;
                    continue;
                }
            }
            if (failure || lost) {
                if (filled > 0)
                    deliver(filled);
                break;
            }
            if (filled >= BufferSize) {
                // A full buffer goes out as a chunk of its own; the burst goes on.
                deliver(filled);
                filled = 0;
            }
            if (end.rule && end.request.isEmpty() && filled > 0) {
                // No request in flight (idle, or listening to another master): bytes that come
                // one by one are gathered a millisecond at a time, not one wake-up each.
                pollfd stop{m_stop->fd(), POLLIN, 0};
                if (::poll(&stop, 1, 1) > 0)
                    return true;
            }
            const Wait wait = waitReadable(end.rule ? end.gapMs : SilenceMs);
            if (wait == Wait::Stop)
                return true;
            if (wait == Wait::Timeout) {
                if (filled > 0)
                    deliver(filled);
                break;
            }
            if (wait == Wait::Readable) {
                int count = 0;
                const Read more = readInto(buffer.data() + filled, BufferSize - filled, count);
                filled += count;
                if (more == Read::Data && lineErrorCounted())
                    hit = true;
                else if (more == Read::Lost)
                    lost = true;
                else if (more != Read::Data && more != Read::Nothing)
                    failure = burstFailure(more == Read::Invalid);
            } else if (wait == Wait::HungUp) {
                lost = true;
            } else if (wait == Wait::Failed) {
                failure = Failure{QString(), QString::fromLatin1(WaitFailedText)};
            } else {
                failure = burstFailure(true);
            }
        }
        // Bytes received before a failure have been delivered.
        if (lost) {
            emit deviceLost();
            return false;
        }
        if (failure) {
            report(*failure);
            return false;
        }
    }
}

TReadThread::Failure TReadThread::burstFailure(bool invalidHandle)
{
    return Failure{invalidHandle
                       ? QStringLiteral("Error_INVALID_HANDLE (from TReadThread::HandleReadEvent).")
                       : QStringLiteral("Unexpeced GetOverlappedResult Read "
                                        "Error(from TReadThread::HandleReadEvent)."),
                   QStringLiteral("Unable to HandleReadEvent(from TReadThread::Excute).")};
}

std::optional<bool> TReadThread::gatherBatch(int quietUs)
{
    const timespec quiet{quietUs / 1'000'000, long(quietUs % 1'000'000) * 1000};
    std::array<char, BufferSize> buffer;
    ReceivedBatch batch;
    int64_t startNs = 0;
    const auto deliver = [&] {
        if (batch.isEmpty())
            return;
        emit batchReceived(batch);
        batch.clear();
    };
    for (;;) {
        // What came is taken in one read, without asking first.
        int count = 0;
        const Read read = readInto(buffer.data(), BufferSize, count);
        if (read == Read::Nothing) {
            // Nothing came during a whole quiet interval: the burst is over.
            deliver();
            return std::nullopt;
        }
        if (read == Read::Lost) {
            deliver();
            emit deviceLost();
            return false;
        }
        if (read != Read::Data) {
            deliver();
            report(burstFailure(read == Read::Invalid));
            return false;
        }
        if (lineErrorCounted()) {
            // The driver does not say which byte was hit: the bytes of this read go as the
            // notice, in their place.
            deliver();
            emit dataReceived(QByteArray(LineErrorChunk, 4));
        } else {
            if (batch.isEmpty())
                startNs = FrameGap::nowNs();
            batch.append(buffer.data(), count, nowUs());
        }
        // A line that never falls silent is handed over every BatchMs all the same.
        if (batch.size() >= BufferSize ||
            (!batch.isEmpty() && FrameGap::nowNs() - startNs >= int64_t(BatchMs) * 1'000'000))
            deliver();
        // Bytes that follow are gathered a quiet interval at a time, not one wake-up each:
        // the thread sleeps on the stop event alone. A read's stamp is thus at most that much
        // late, and the line's silence is seen once, an interval after its last byte.
        pollfd stop{m_stop->fd(), POLLIN, 0};
        if (::ppoll(&stop, 1, &quiet, nullptr) > 0)
            return true;
    }
}

TReadThread::Wait TReadThread::waitReadable(int timeoutMs) const
{
    const QDeadlineTimer deadline =
        timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs);
    for (;;) {
        std::array<pollfd, 2> fds{{{m_stop->fd(), POLLIN, 0}, {m_device->fd(), POLLIN, 0}}};
        const int rc =
            ::poll(fds.data(), fds.size(), timeoutMs < 0 ? -1 : int(deadline.remainingTime()));
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return Wait::Failed;
        }
        if (rc == 0)
            return Wait::Timeout;
        if (fds[0].revents != 0)
            return Wait::Stop;
        if (fds[1].revents & POLLNVAL)
            return Wait::Invalid;
        // Data still queued on a line that hung up is read first.
        if (fds[1].revents & POLLIN)
            return Wait::Readable;
        return Wait::HungUp;
    }
}

TReadThread::Read TReadThread::readInto(char *buffer, int capacity, int &count) const
{
    count = 0;
    for (;;) {
        const ssize_t n = ::read(m_device->fd(), buffer, size_t(capacity));
        if (n > 0) {
            if (m_frameGap)
                m_frameGap->noteReceived(FrameGap::nowNs());
            count = int(n);
            return Read::Data;
        }
        // End of file on a terminal, or an I/O error: the device has gone.
        if (n == 0)
            return Read::Lost;
        if (errno == EINTR)
            continue;
        if (errno == EIO || errno == ENXIO || errno == ENODEV)
            return Read::Lost;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return Read::Nothing;
        return errno == EBADF ? Read::Invalid : Read::Failed;
    }
}

bool TReadThread::lineErrorCounted()
{
    if (!m_countsLineErrors)
        return false;
    SerialDevice::LineErrorCounts counts;
    if (!m_device->readLineErrorCounts(counts))
        return false;
    const bool error = !(counts == m_lineErrors);
    m_lineErrors = counts;
    return error;
}

void TReadThread::report(const Failure &failure)
{
    if (!failure.stepText.isEmpty())
        emit failed(failure.stepText);
    emit failed(failure.runText);
}
