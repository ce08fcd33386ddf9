#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// The program's end of a simulated bus for tests: opens the slave device raw and talks to
// it with plain read and write.
class PtyClient
{
public:
    explicit PtyClient(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd >= 0) {
            termios tio{};
            tcgetattr(m_fd, &tio);
            cfmakeraw(&tio);
            tcsetattr(m_fd, TCSANOW, &tio);
            // As the program's serial driver does: nothing left from an earlier user counts.
            tcflush(m_fd, TCIOFLUSH);
        }
    }
    ~PtyClient() { close(); }
    PtyClient(const PtyClient &) = delete;
    PtyClient &operator=(const PtyClient &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    bool send(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }

    // Reads until `count` bytes have arrived or `timeoutMs` has passed.
    QByteArray readBytes(qsizetype count, int timeoutMs = 3000)
    {
        QByteArray out;
        QElapsedTimer timer;
        timer.start();
        while (out.size() < count && timer.elapsed() < timeoutMs) {
            if (waitReadable(static_cast<int>(timeoutMs - timer.elapsed())))
                out += readAvailable();
        }
        return out;
    }

    // One chunk as the program's receiver cuts it: waits up to firstByteMs for a byte, then
    // collects until the line has been silent for silenceMs.
    QByteArray readChunk(int silenceMs = 250, int firstByteMs = 3000)
    {
        QByteArray out;
        if (!waitReadable(firstByteMs))
            return out;
        out += readAvailable();
        while (waitReadable(silenceMs))
            out += readAvailable();
        return out;
    }

    // Sends a request and reads its reply of the expected length.
    QByteArray exchange(const QByteArray &request, qsizetype replyLength)
    {
        send(request);
        return readBytes(replyLength);
    }

private:
    bool waitReadable(int timeoutMs)
    {
        pollfd fd{m_fd, POLLIN, 0};
        return timeoutMs > 0 && ::poll(&fd, 1, timeoutMs) > 0 && (fd.revents & POLLIN);
    }

    QByteArray readAvailable()
    {
        char buffer[256];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        return n > 0 ? QByteArray(buffer, n) : QByteArray();
    }

    int m_fd = -1;
};

inline QByteArray hexBytes(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}
