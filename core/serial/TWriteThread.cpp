#include "serial/TWriteThread.h"

#include "serial/FrameGap.h"
#include "serial/SerialDevice.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <utility>

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

TWriteThread::TWriteThread(std::shared_ptr<SerialDevice> device, std::shared_ptr<WakeEvent> stop,
                           QObject *parent)
    : QThread(parent), m_device(std::move(device)), m_stop(std::move(stop))
{
}

bool TWriteThread::waitUntilRunning(int milliseconds)
{
    if (!m_running.tryAcquire(1, milliseconds))
        return false;
    m_running.release();
    return true;
}

bool TWriteThread::enqueue(const QByteArray &block)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_ended)
            return false;
        m_queue.push_back(block);
    }
    m_queued.set();
    return true;
}

void TWriteThread::run()
{
    // The frame gap is a fraction of a millisecond at high speeds: the kernel may wake this
    // thread up to 1 us late instead of the default 50 us.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    m_running.release();
    if (m_queued.isValid())
        sendLoop();
    else
        fail(QStringLiteral("Unable to CreateEvent (from TWriteThread::Excute)."), true);

    {
        QMutexLocker lock(&m_mutex);
        m_ended = true;
        m_queue.clear();
    }
    m_device->discardOutput();
    if (m_hangup)
        emit hangupRequested();
}

void TWriteThread::sendLoop()
{
    for (;;) {
        QByteArray block;
        if (!takeBlock(block)) {
            // Nothing queued: wait for the stop event or a new block.
            std::array<pollfd, 2> fds{{{m_stop->fd(), POLLIN, 0}, {m_queued.fd(), POLLIN, 0}}};
            const int rc = ::poll(fds.data(), fds.size(), -1);
            if (rc < 0 && errno == EINTR)
                continue;
            if (rc < 0) {
                fail(QStringLiteral("Write WAIT_FAILED(from TWriteThread::Execute)."), true);
                return;
            }
            if (fds[0].revents != 0)
                return;
            if (fds[1].revents != POLLIN) {
                fail(QStringLiteral("Unexpected wait return value(from TWriteThread::Excute)."),
                     true);
                return;
            }
            // Cleared before the queue is looked at again, so no block is ever missed.
            m_queued.clear();
            continue;
        }
        if (m_stop->isSet())
            return;
        if (HandleWriteData(block) != Outcome::Done)
            return;
    }
}

bool TWriteThread::takeBlock(QByteArray &block)
{
    QMutexLocker lock(&m_mutex);
    if (m_queue.empty())
        return false;
    block = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

TWriteThread::Outcome TWriteThread::HandleWriteData(const QByteArray &block)
{
    if (!waitForGap())
        return Outcome::Stopped;
    if (!m_device->switchesRts())
        return writeAll(block);
    // The adapter transmits while RTS is high and listens while it is low.
    m_device->setRts(true);
    Outcome outcome = writeAll(block);
    if (outcome == Outcome::Done && !waitUntilSent(block.size()))
        outcome = Outcome::Stopped;
    m_device->setRts(false);
    return outcome;
}

TWriteThread::Outcome TWriteThread::writeAll(const QByteArray &block)
{
    const char *data = block.constData();
    qsizetype remaining = block.size();
    while (remaining > 0) {
        const ssize_t n = ::write(m_device->fd(), data, size_t(remaining));
        if (n > 0) {
            data += n;
            remaining -= n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EBADF) {
            fail(QStringLiteral("ERROR_INVALID_HANDLE: (from TWriteThread::HandleWriteData)."),
                 false);
            return Outcome::Failed;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            fail(QStringLiteral("Unexpeced Error:(from TWriteThread::HandleWriteData)."), true);
            return Outcome::Failed;
        }

        // The output queue is full: wait until it takes more, or for the stop event.
        std::array<pollfd, 2> fds{{{m_stop->fd(), POLLIN, 0}, {m_device->fd(), POLLOUT, 0}}};
        const int rc = ::poll(fds.data(), fds.size(), -1);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0) {
            fail(QStringLiteral("WAIT_FAILED (from TWriteThread::HandleWriteData)."), true);
            return Outcome::Failed;
        }
        if (fds[0].revents != 0)
            return Outcome::Stopped;
        if (fds[1].revents & POLLNVAL) {
            fail(QStringLiteral("ERROR_INVALID_HANDLE(from TWriteThread::HandleWriteData)."),
                 false);
            return Outcome::Failed;
        }
        if (fds[1].revents & (POLLERR | POLLHUP)) {
            fail(QStringLiteral("Error writing to CommFile(from TWriteThread::HandleWriteData)."),
                 true);
            return Outcome::Failed;
        }
        if (!(fds[1].revents & POLLOUT)) {
            fail(QStringLiteral("Unexpected wait return (from TWriteThread::HandleWriteData)."),
                 true);
            return Outcome::Failed;
        }
    }
    if (m_frameGap) {
        // The block is on its way; its last character leaves after its line time.
        m_frameGap->noteSent(FrameGap::nowNs(),
                             int64_t(block.size()) * m_device->characterTimeUs() * 1000);
    }
    return Outcome::Done;
}

bool TWriteThread::waitForGap()
{
    if (!m_frameGap)
        return true;
    // The gap may grow while waiting (bytes still arriving): look again once it has passed.
    for (;;) {
        const int64_t now = FrameGap::nowNs();
        const int64_t left = m_frameGap->remainingNs(now);
        if (left <= 0)
            return true;
        if (!sleepUntil(now + left))
            return false;
    }
}

bool TWriteThread::waitUntilSent(qsizetype bytes)
{
    const int64_t characterUs = m_device->characterTimeUs();
    const int64_t lineUs = bytes * characterUs; // the block's time on the line
    // Bounded even if the driver keeps reporting queued bytes or a busy transmitter.
    const QDeadlineTimer limit(int(lineUs / 1000) + 1000);

    // The driver's output queue drains first. A driver that cannot tell its length gets the
    // block's line time instead.
    for (;;) {
        const int queued = m_device->outputQueueLength();
        if (queued == 0)
            break;
        if (!pause(queued < 0 ? lineUs : queued * characterUs))
            return false;
        if (queued < 0 || limit.hasExpired())
            break;
    }
    // Then the UART. An adapter that cannot report an empty transmitter may still be sending
    // the whole frame from a buffer of its own, so RTS stays up for the frame's line time.
    for (;;) {
        switch (m_device->transmitterState()) {
        case SerialDevice::Transmitter::Empty:
            return true;
        case SerialDevice::Transmitter::Unknown:
            return pause(lineUs);
        case SerialDevice::Transmitter::Sending:
            if (!pause(characterUs))
                return false;
            if (limit.hasExpired())
                return true;
            break;
        }
    }
}

bool TWriteThread::pause(int64_t microseconds)
{
    // To the microsecond: RTS dropped a millisecond late can hide the start of a prompt reply.
    const int64_t until = FrameGap::nowNs() + std::max<int64_t>(1, microseconds) * 1000;
    return sleepUntil(until);
}

bool TWriteThread::sleepUntil(int64_t untilNs)
{
    for (;;) {
        const int64_t left = untilNs - FrameGap::nowNs();
        if (left <= 0)
            return true;
        // ppoll keeps the nanoseconds: a poll() in milliseconds would round a pause up.
        pollfd stop{m_stop->fd(), POLLIN, 0};
        const timespec wait{time_t(left / 1000000000), long(left % 1000000000)};
        const int rc = ::ppoll(&stop, 1, &wait, nullptr);
        if (rc > 0)
            return false;
        // A failed wait leaves nothing to wait on: go on as if the time had passed.
        if (rc < 0 && errno != EINTR)
            return true;
    }
}

void TWriteThread::fail(const QString &text, bool hangup)
{
    emit failed(text);
    m_hangup = m_hangup || hangup;
}
