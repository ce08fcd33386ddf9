#include "sim/LineConditions.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
using Seconds = std::chrono::duration<double>;

constexpr int kIdleWaitMs = 1000;
constexpr double kMeanBurstBytes = 4.5; // bursts of 1..8 bytes

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

// A terminal device in raw mode, non-blocking; -1 on failure.
int openRaw(const QString &path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}
} // namespace

LineConditions::~LineConditions()
{
    stop();
}

void LineConditions::setSettings(const Settings &settings)
{
    m_settings = settings; // before start(): the serving thread reads it without a lock
}

void LineConditions::setLogger(SimulatedBus::Logger logger)
{
    m_logger = std::move(logger);
}

std::chrono::microseconds LineConditions::quietGap(const SimulatedBus::Timing &timing)
{
    const double seconds = std::max(7.0 * timing.characterSeconds(), 0.005);
    return std::chrono::microseconds(qint64(seconds * 1e6 + 0.5));
}

bool LineConditions::start(const QString &busDevice, QString *error)
{
    const auto fail = [&](const QString &text) {
        if (error)
            *error = text;
        closeFd(m_bus);
        closeFd(m_frontHold);
        m_front.close();
        return false;
    };
    if (isRunning())
        return fail(QStringLiteral("the line is already relayed"));
    if (!m_front.open(m_settings.timing.baud, m_settings.timing.parity, error))
        return false;
    m_frontHold = openRaw(m_front.slavePath());
    if (m_frontHold < 0)
        return fail(systemError("front device"));
    m_bus = openRaw(busDevice);
    if (m_bus < 0)
        return fail(systemError("bus device"));
    if (pipe2(m_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail(systemError("pipe"));
    m_toProgram.clear();
    m_toBus.clear();
    m_startedAt = m_lineBusyUntil = m_holdUntil = Clock::now();
    m_random.seed(m_settings.seed);
    m_nextNoise = m_startedAt + nextNoiseWait();
    m_thread = std::thread(&LineConditions::serve, this);
    return true;
}

void LineConditions::stop()
{
    if (!m_thread.joinable())
        return;
    const char quit = 'q';
    while (write(m_stopPipe[1], &quit, 1) < 0 && errno == EINTR) {
    }
    m_thread.join();
    closeFd(m_stopPipe[0]);
    closeFd(m_stopPipe[1]);
    closeFd(m_bus);
    closeFd(m_frontHold);
    m_front.close();
}

// ---- serving thread ------------------------------------------------------------------------

void LineConditions::serve()
{
    const int front = m_front.masterFd();
    for (;;) {
        Clock::time_point now = Clock::now();
        deliver(m_toBus, m_bus, now);
        deliver(m_toProgram, front, now);
        maybeSendNoise(now);

        Clock::time_point wake = now + std::chrono::milliseconds(kIdleWaitMs);
        if (!m_toBus.empty())
            wake = std::min(wake, dueOf(m_toBus.front()));
        if (!m_toProgram.empty())
            wake = std::min(wake, dueOf(m_toProgram.front()));
        if (m_settings.noisePerSecond > 0.0)
            wake = std::min(wake, m_nextNoise);
        const auto waitNs =
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(wake - now, {})).count();
        const timespec timeout{time_t(waitNs / 1000000000), long(waitNs % 1000000000)};
        pollfd fds[3] = {{m_stopPipe[0], POLLIN, 0}, {front, POLLIN, 0}, {m_bus, POLLIN, 0}};
        const int ready = ppoll(fds, 3, &timeout, nullptr);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        if (fds[0].revents != 0)
            break;
        now = Clock::now();
        if (fds[1].revents & POLLIN)
            relayFrom(front, true, now);
        if (fds[2].revents & POLLIN)
            relayFrom(m_bus, false, now);
        if ((fds[2].revents & (POLLHUP | POLLERR | POLLNVAL)) && !(fds[2].revents & POLLIN))
            break; // the bus has stopped under the line
    }
}

void LineConditions::relayFrom(int fd, bool fromProgram, Clock::time_point now)
{
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        const QByteArray bytes(buffer, n);
        noteLineBusy(n, now);
        if (fromProgram) {
            if (m_settings.echo) {
                m_toProgram.push_back({bytes, now, now});
                log(QStringLiteral("echo %1").arg(hex(bytes)));
            }
            m_toBus.push_back({bytes, {}, now}); // the adapter sends at once
        } else {
            m_toProgram.push_back({bytes, now, std::max(now, m_holdUntil)});
        }
    }
}

LineConditions::Clock::time_point LineConditions::dueOf(const Chunk &chunk) const
{
    Clock::time_point due = chunk.arrived;
    if (m_settings.latencyMs > 0 && chunk.arrived != Clock::time_point()) {
        // The adapter's timer runs on its own: a byte goes with the first tick after it came.
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::milliseconds(m_settings.latencyMs));
        const auto ticks = (chunk.arrived - m_startedAt) / period + 1;
        due = m_startedAt + ticks * period;
    }
    return std::max(due, chunk.notBefore);
}

void LineConditions::deliver(std::deque<Chunk> &queue, int fd, Clock::time_point now)
{
    while (!queue.empty() && dueOf(queue.front()) <= now) {
        const QByteArray bytes = queue.front().bytes;
        queue.pop_front();
        qsizetype sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + sent, size_t(bytes.size() - sent));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break; // nobody reads this side: the bytes are lost, as on a real line
            sent += n;
        }
    }
}

void LineConditions::noteLineBusy(qsizetype bytes, Clock::time_point now)
{
    const auto lineTime = std::chrono::duration_cast<Clock::duration>(
        Seconds(double(bytes) * m_settings.timing.characterSeconds()));
    m_lineBusyUntil = std::max(m_lineBusyUntil, now) + lineTime;
}

LineConditions::Clock::duration LineConditions::nextNoiseWait()
{
    if (m_settings.noisePerSecond <= 0.0)
        return std::chrono::hours(1);
    std::exponential_distribution<double> interval(m_settings.noisePerSecond / kMeanBurstBytes);
    return std::chrono::duration_cast<Clock::duration>(Seconds(interval(m_random)));
}

void LineConditions::maybeSendNoise(Clock::time_point now)
{
    if (m_settings.noisePerSecond <= 0.0 || now < m_nextNoise)
        return;
    const auto gap = quietGap(m_settings.timing);
    if (!m_toProgram.empty() || !m_toBus.empty() || now < m_lineBusyUntil + gap) {
        // A frame is on the line: the burst waits for the silence after it.
        m_nextNoise = std::max(now, m_lineBusyUntil) + gap;
        return;
    }
    std::uniform_int_distribution<int> length(1, 8);
    std::uniform_int_distribution<int> value(0, 255);
    QByteArray burst;
    for (int i = length(m_random); i > 0; --i)
        burst.append(char(value(m_random)));
    m_toProgram.push_back({burst, now, now});
    m_noiseBytes.fetch_add(quint64(burst.size()));
    noteLineBusy(burst.size(), now);
    m_holdUntil = m_lineBusyUntil + gap;
    m_nextNoise = now + nextNoiseWait();
    log(QStringLiteral("noise %1").arg(hex(burst)));
}

void LineConditions::log(const QString &line)
{
    if (m_logger)
        m_logger(line);
}
