#pragma once

#include <QString>

#include <atomic>
#include <thread>

// A transparent RS-485-to-TCP gateway in front of a simulated bus: it listens on a TCP port
// and relays the bytes of one client at a time to and from the bus's serial device, as the
// Ethernet serial servers of real plants do. Further clients wait in the listen queue until
// the one being served goes. It serves on a thread of its own, blocked in poll() on the
// sockets, the device and a stop pipe.
class SimTcpGateway
{
public:
    SimTcpGateway() = default;
    ~SimTcpGateway();
    SimTcpGateway(const SimTcpGateway &) = delete;
    SimTcpGateway &operator=(const SimTcpGateway &) = delete;

    // "[ADDR:]PORT": a numeric IPv4 address or an IPv6 address in brackets (127.0.0.1 when
    // left out) and a port 0..65535 (0: any free port). False with *error set otherwise.
    static bool parseListen(const QString &text, QString *address, int *port, QString *error);

    // Listens on the address and port and serves the device; false with *error set when the
    // port cannot be bound.
    bool start(const QString &device, const QString &address, int port, QString *error);
    void stop();
    bool isRunning() const { return m_thread.joinable(); }
    // The port listened on (the one chosen when 0 was asked for).
    int port() const { return m_port; }
    // Clients served so far, the one being served included.
    int clientsServed() const { return m_clients.load(); }

private:
    void serve();

    QString m_device;
    int m_listen = -1;
    int m_stopPipe[2] = {-1, -1};
    int m_port = 0;
    std::atomic<int> m_clients{0};
    std::thread m_thread;
};
