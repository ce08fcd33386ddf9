#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal pair that stands in for a serial line in tests. The code under test opens
// slavePath() as its serial device; the test plays the far end of the line through the master
// side. The line is raw (no echo, no line editing) from the start, and the pair holds a slave
// handle of its own so the master stays usable while the code under test closes and reopens
// the device. That handle never reads, so it takes no bytes away from the code under test.
class PseudoTerminalPair
{
public:
    PseudoTerminalPair() { open(); }
    ~PseudoTerminalPair()
    {
        closeMaster();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    PseudoTerminalPair(const PseudoTerminalPair &) = delete;
    PseudoTerminalPair &operator=(const PseudoTerminalPair &) = delete;

    bool isOpen() const { return m_master >= 0 && m_slave >= 0; }
    // Why the pair could not be opened.
    QString errorString() const { return m_error; }
    // The device path for the code under test, such as "/dev/pts/3".
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // The line settings in force on the device side.
    termios slaveAttributes() const
    {
        termios tio{};
        ::tcgetattr(m_slave, &tio);
        return tio;
    }

    // Sends bytes towards the device side; false on an error or when the time runs out first.
    bool write(const QByteArray &bytes, int timeoutMs = 5000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (!waitFor(POLLOUT, deadline))
                return false;
        }
        return true;
    }

    // What the device side has sent: waits up to timeoutMs for the first byte, then returns
    // whatever is ready at once, at most maxBytes.
    QByteArray read(int maxBytes, int timeoutMs)
    {
        if (!waitFor(POLLIN, QDeadlineTimer(timeoutMs)))
            return {};
        return readReady(maxBytes);
    }

    // Collects count bytes sent by the device side, or fewer when the time runs out first.
    QByteArray readExactly(int count, int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        QByteArray result;
        while (result.size() < count && waitFor(POLLIN, deadline))
            result += readReady(count - int(result.size()));
        return result;
    }

    // Takes the line away as an unplugged adapter would: the device side sees a hang-up.
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    void open()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
            m_error = QStringLiteral("posix_openpt: ") + QString::fromLocal8Bit(strerror(errno));
            closeMaster();
            return;
        }
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
        char name[128] = {};
        if (::ptsname_r(m_master, name, sizeof name) != 0) {
            m_error = QStringLiteral("ptsname_r failed");
            closeMaster();
            return;
        }
        m_slavePath = QString::fromLocal8Bit(name);
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_slave < 0) {
            m_error = QStringLiteral("open %1: %2")
                          .arg(m_slavePath, QString::fromLocal8Bit(strerror(errno)));
            closeMaster();
            return;
        }
        termios tio{};
        ::tcgetattr(m_slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_slave, TCSANOW, &tio);
    }

    bool waitFor(short events, const QDeadlineTimer &deadline) const
    {
        for (;;) {
            pollfd p{m_master, events, 0};
            const int rc = ::poll(&p, 1, int(deadline.remainingTime()));
            if (rc < 0 && errno == EINTR)
                continue;
            return rc > 0 && (p.revents & events);
        }
    }

    QByteArray readReady(int maxBytes)
    {
        QByteArray bytes(maxBytes, Qt::Uninitialized);
        ssize_t n;
        do {
            n = ::read(m_master, bytes.data(), size_t(maxBytes));
        } while (n < 0 && errno == EINTR);
        bytes.resize(n > 0 ? n : 0);
        return bytes;
    }

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_error;
};
