#include "sim/SimTcpGateway.h"

#include <QFile>

#include <array>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Writes all bytes to a blocking descriptor; false when the peer has gone.
bool writeAll(int fd, const char *data, ssize_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// The bus device as the gateway's serial side: raw, so no byte is echoed or edited.
int openDevice(const QString &device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

} // namespace

SimTcpGateway::~SimTcpGateway()
{
    stop();
}

bool SimTcpGateway::parseListen(const QString &text, QString *address, int *port, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("bad --tcp %1: %2").arg(text, why);
        return false;
    };
    QString host = QStringLiteral("127.0.0.1");
    QString portText = text;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1String("]:"));
        if (close < 0)
            return fail(QStringLiteral("expected [ADDR]:PORT"));
        host = text.mid(1, close - 1);
        portText = text.mid(close + 2);
    } else if (text.contains(QLatin1Char(':'))) {
        host = text.section(QLatin1Char(':'), 0, -2);
        portText = text.section(QLatin1Char(':'), -1);
        if (host.contains(QLatin1Char(':')))
            return fail(QStringLiteral("an IPv6 address goes in brackets"));
    }
    in6_addr probe6{};
    in_addr probe4{};
    const QByteArray hostBytes = host.toLatin1();
    if (::inet_pton(AF_INET, hostBytes.constData(), &probe4) != 1 &&
        ::inet_pton(AF_INET6, hostBytes.constData(), &probe6) != 1)
        return fail(QStringLiteral("the address must be numeric"));
    bool ok = false;
    const int number = portText.toInt(&ok);
    if (!ok || portText.startsWith(QLatin1Char('+')) || number < 0 || number > 65535)
        return fail(QStringLiteral("the port must be 0..65535"));
    *address = host;
    *port = number;
    return true;
}

bool SimTcpGateway::start(const QString &device, const QString &address, int port, QString *error)
{
    const auto fail = [&](const QString &text) {
        if (error)
            *error = text;
        closeFd(m_listen);
        return false;
    };
    if (isRunning())
        return fail(QStringLiteral("the gateway is already serving"));
    m_device = device;

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const QByteArray host = address.toLatin1();
    const QByteArray service = QByteArray::number(port);
    if (::getaddrinfo(host.constData(), service.constData(), &hints, &found) != 0 || !found)
        return fail(QStringLiteral("cannot listen on %1: not a numeric address").arg(address));
    m_listen = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    const bool bound =
        m_listen >= 0 && ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) == 0 &&
        ::bind(m_listen, found->ai_addr, found->ai_addrlen) == 0 && ::listen(m_listen, 8) == 0;
    ::freeaddrinfo(found);
    if (!bound)
        return fail(
            QStringLiteral("cannot listen on %1:%2: %3").arg(address).arg(port).arg(systemError()));

    sockaddr_storage local{};
    socklen_t length = sizeof local;
    ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&local), &length);
    m_port = local.ss_family == AF_INET6
                 ? ntohs(reinterpret_cast<sockaddr_in6 *>(&local)->sin6_port)
                 : ntohs(reinterpret_cast<sockaddr_in *>(&local)->sin_port);

    if (::pipe2(m_stopPipe, O_CLOEXEC) != 0)
        return fail(QStringLiteral("cannot create the stop pipe: %1").arg(systemError()));
    m_thread = std::thread(&SimTcpGateway::serve, this);
    return true;
}

void SimTcpGateway::stop()
{
    if (!m_thread.joinable())
        return;
    const char wake = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_stopPipe[1], &wake, 1);
    m_thread.join();
    closeFd(m_stopPipe[0]);
    closeFd(m_stopPipe[1]);
    closeFd(m_listen);
}

void SimTcpGateway::serve()
{
    int client = -1;
    int device = -1;
    std::array<char, 4096> buffer;
    for (;;) {
        // While a client is served, the listening socket is left alone: the next client waits
        // in the queue, as at a gateway that serves one connection at a time.
        std::array<pollfd, 3> fds{{{m_stopPipe[0], POLLIN, 0},
                                   {client >= 0 ? client : m_listen, POLLIN, 0},
                                   {device, POLLIN, 0}}};
        const int rc = ::poll(fds.data(), device >= 0 ? 3 : 2, -1);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0 || fds[0].revents != 0)
            break;
        if (client < 0) {
            if (!(fds[1].revents & POLLIN))
                continue;
            client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            const int yes = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            device = openDevice(m_device);
            if (device < 0) {
                closeFd(client);
                continue;
            }
            ++m_clients;
            continue;
        }
        bool gone = false;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(client, buffer.data(), buffer.size());
            gone = n <= 0 && !(n < 0 && errno == EINTR);
            if (n > 0)
                gone = !writeAll(device, buffer.data(), n);
        }
        if (!gone && (fds[2].revents & POLLIN)) {
            const ssize_t n = ::read(device, buffer.data(), buffer.size());
            if (n > 0)
                gone = !writeAll(client, buffer.data(), n);
        } else if (!gone && (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            gone = true; // the bus has stopped under the client
        }
        if (gone) {
            closeFd(client);
            closeFd(device);
        }
    }
    closeFd(client);
    closeFd(device);
}
