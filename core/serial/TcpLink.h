#pragma once

#include "serial/CommLink.h"

#include <QByteArray>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class QTcpSocket;

// The bus line behind a transparent RS-485-to-TCP gateway, named "tcp:HOST:PORT". Bytes go
// out as written; received bytes are cut into chunks by line silence, as the serial driver
// cuts them. The gateway applies the line settings itself. The link only ever connects out:
// it resolves the host name and connects on StartComm, and again on the first write after
// the connection was lost. Everything runs on the owner's thread, driven by its event loop,
// so nothing ever blocks on a dead socket.
class TcpLink : public CommLink
{
    Q_OBJECT

public:
    struct Endpoint
    {
        QString host; // a host name, an IPv4 address, or an IPv6 address without brackets
        quint16 port = 0;
    };

    static constexpr int ConnectTimeoutMs = 3000;
    static constexpr int ChunkLimit = 2048; // as the serial driver's receive buffer

    explicit TcpLink(QObject *parent = nullptr);
    ~TcpLink() override;

    // True when the port name asks for a gateway (it starts with "tcp:").
    static bool isTcpName(const QString &portName);
    // "tcp:HOST:PORT", with IPv6 addresses in brackets ("tcp:[::1]:4001"). Empty with *error
    // set for a missing or empty host, a missing port or one outside 1..65535.
    static std::optional<Endpoint> parseName(const QString &portName, QString *error = nullptr);
    // "host:port", or "[v6]:port" for an IPv6 address.
    static QString endpointText(const Endpoint &endpoint);

    void setEndpoint(const Endpoint &endpoint) { m_endpoint = endpoint; }
    Endpoint endpoint() const { return m_endpoint; }
    // The silence that ends a chunk; the serial driver's 250 ms unless set.
    int silenceMs() const { return m_silenceMs; }
    void setSilenceMs(int milliseconds) { m_silenceMs = milliseconds; }

    // Starts connecting; true unless the link is already open. A connection that fails is
    // reported through connectionFailed and a hang-up request.
    bool StartComm() override;
    void StopComm() override;
    // Queues the bytes; they go out once the connection stands, which a write on a lost
    // connection first makes again.
    bool WriteCommData(const uint8_t *buffer, uint16_t length) override;
    // True from StartComm to StopComm, also while the connection is being made again.
    bool isOpen() const override { return m_started; }
    bool isConnected() const;
    void discardInput() override;
    // With a rule, a chunk ends as soon as its bytes complete the reply to the request last
    // written, or after gapMs of silence; without one after the fixed silence.
    void setBurstEnd(std::shared_ptr<const ReplyRule> rule, int gapMs) override;

    // Takes bytes as the socket hands them over and cuts them into chunks; public so that the
    // chunking can be fed directly, byte by byte.
    void receive(const QByteArray &bytes);

signals:
    void connected();
    // The connection could not be made or was lost; the text names the gateway and why.
    void connectionFailed(const QString &text);

private:
    void connectToGateway();
    void onConnected();
    void onReadyRead();
    void onSocketError();
    void onConnectTimeout();
    void flushChunk();
    void fail(const QString &reason);

    Endpoint m_endpoint;
    QTcpSocket *m_socket = nullptr;
    QTimer m_silence;
    QTimer m_connectTimer;
    QByteArray m_received;
    std::shared_ptr<const ReplyRule> m_rule;
    int m_gapMs = 0;
    QByteArray m_request; // the request whose reply fast framing waits for
    QByteArray m_unsent; // written before the connection stood
    int m_silenceMs = 250;
    bool m_started = false;
};
