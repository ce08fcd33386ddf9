#include "serial/TcpLink.h"

#include "serial/ReplyLocator.h"
#include "serial/ReplyRule.h"

#include <QRegularExpression>
#include <QTcpSocket>

#include <algorithm>
#include <utility>

namespace {

QString socketReason(QAbstractSocket::SocketError error, const QString &fallback)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("соединение отклонено");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("имя узла не найдено");
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("шлюз закрыл соединение");
    case QAbstractSocket::NetworkError:
        return QStringLiteral("сеть недоступна");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("нет ответа");
    default:
        return fallback;
    }
}

} // namespace

TcpLink::TcpLink(QObject *parent) : CommLink(parent)
{
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, &TcpLink::flushChunk);
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(ConnectTimeoutMs);
    connect(&m_connectTimer, &QTimer::timeout, this, &TcpLink::onConnectTimeout);
}

TcpLink::~TcpLink()
{
    StopComm();
}

bool TcpLink::isTcpName(const QString &portName)
{
    return portName.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive);
}

std::optional<TcpLink::Endpoint> TcpLink::parseName(const QString &portName, QString *error)
{
    const auto fail = [&](const QString &why) -> std::optional<Endpoint> {
        if (error)
            *error = QStringLiteral("%1: %2").arg(portName, why);
        return std::nullopt;
    };
    if (!isTcpName(portName))
        return fail(QStringLiteral("not a tcp:HOST:PORT name"));
    const QString rest = portName.mid(4);
    QString host;
    QString port;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return fail(QStringLiteral("unclosed [ in the host"));
        host = rest.mid(1, close - 1);
        if (rest.mid(close + 1, 1) != QLatin1String(":"))
            return fail(QStringLiteral("missing port"));
        port = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return fail(QStringLiteral("missing port"));
        host = rest.left(colon);
        port = rest.mid(colon + 1);
        // A bare IPv6 address cannot be told from its port: it goes in brackets.
        if (host.contains(QLatin1Char(':')))
            return fail(QStringLiteral("an IPv6 address goes in brackets"));
    }
    if (host.trimmed().isEmpty())
        return fail(QStringLiteral("empty host"));
    // Host names are letters, digits, dots, hyphens and underscores; IPv6 addresses are hex
    // digits, colons, dots and a zone after '%'.
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9._-]+$"));
    static const QRegularExpression v6(QStringLiteral("^[0-9A-Fa-f:.]+(%[A-Za-z0-9_.-]+)?$"));
    if (!(host.contains(QLatin1Char(':')) ? v6 : name).match(host).hasMatch())
        return fail(QStringLiteral("invalid host"));
    bool digits = !port.isEmpty() && port.size() <= 5;
    for (const QChar c : port)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const int number = digits ? port.toInt() : 0;
    if (number < 1 || number > 65535)
        return fail(QStringLiteral("port must be 1..65535"));
    return Endpoint{host, quint16(number)};
}

QString TcpLink::endpointText(const Endpoint &endpoint)
{
    const QString host = endpoint.host.contains(QLatin1Char(':'))
                             ? QStringLiteral("[%1]").arg(endpoint.host)
                             : endpoint.host;
    return QStringLiteral("%1:%2").arg(host).arg(endpoint.port);
}

bool TcpLink::StartComm()
{
    if (m_started)
        return false;
    m_started = true;
    connectToGateway();
    return true;
}

void TcpLink::StopComm()
{
    m_started = false;
    m_connectTimer.stop();
    m_silence.stop();
    m_received.clear();
    m_unsent.clear();
    if (m_socket) {
        // abort() drops the connection at once; nothing waits for the peer.
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
}

bool TcpLink::isConnected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void TcpLink::connectToGateway()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &TcpLink::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &TcpLink::onReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &TcpLink::onSocketError);
    m_connectTimer.start();
    // The host name is resolved here, once per connection, without blocking.
    m_socket->connectToHost(m_endpoint.host, m_endpoint.port);
}

bool TcpLink::WriteCommData(const uint8_t *buffer, uint16_t length)
{
    if (refuseWrite())
        return false;
    if (!m_started)
        return false;
    if (length == 0)
        return true;
    if (!buffer)
        return false;
    const QByteArray bytes(reinterpret_cast<const char *>(buffer), length);
    m_request = bytes;
    if (isConnected())
        return m_socket->write(bytes) == bytes.size();
    m_unsent += bytes;
    if (!m_socket || m_socket->state() == QAbstractSocket::UnconnectedState)
        connectToGateway();
    return true;
}

void TcpLink::onConnected()
{
    m_connectTimer.stop();
    // The bus is half duplex: bytes the gateway held from before are no reply to anything.
    m_received.clear();
    if (!m_unsent.isEmpty())
        m_socket->write(std::exchange(m_unsent, {}));
    emit connected();
}

void TcpLink::discardInput()
{
    m_silence.stop();
    m_received.clear();
    if (m_socket)
        m_socket->readAll();
}

void TcpLink::setBurstEnd(std::shared_ptr<const ReplyRule> rule, int gapMs)
{
    m_rule = std::move(rule);
    m_gapMs = gapMs;
}

void TcpLink::onReadyRead()
{
    receive(m_socket->readAll());
}

void TcpLink::receive(const QByteArray &bytes)
{
    m_received += bytes;
    // Fast framing: the reply goes on as soon as it is whole, with the noise or broken frame
    // before it; bytes after it start a chunk of their own.
    while (m_rule && !m_request.isEmpty() && !m_received.isEmpty()) {
        ReplyLocator::Span span = ReplyLocator::locate(
            *m_rule, reinterpret_cast<const uint8_t *>(m_request.constData()),
            int(m_request.size()), reinterpret_cast<const uint8_t *>(m_received.constData()),
            int(m_received.size()));
        if (span.length == 0)
            break;
        // Long noise goes ahead in chunks of the usual size.
        for (; span.start >= ChunkLimit; span.start -= ChunkLimit) {
            emit OnReceiveData(m_received.left(ChunkLimit));
            m_received.remove(0, ChunkLimit);
        }
        const int taken = span.start + span.length;
        m_request.clear();
        emit OnReceiveData(m_received.left(taken));
        m_received.remove(0, taken);
    }
    while (m_received.size() >= ChunkLimit) {
        emit OnReceiveData(m_received.left(ChunkLimit));
        m_received.remove(0, ChunkLimit);
    }
    if (m_received.isEmpty()) {
        m_silence.stop();
        return;
    }
    m_silence.start(m_rule ? std::max(1, m_gapMs) : m_silenceMs);
}

void TcpLink::flushChunk()
{
    if (!m_received.isEmpty())
        emit OnReceiveData(std::exchange(m_received, {}));
}

void TcpLink::onSocketError()
{
    if (!m_socket)
        return;
    fail(socketReason(m_socket->error(), m_socket->errorString()));
}

void TcpLink::onConnectTimeout()
{
    fail(QStringLiteral("нет соединения за %1 с").arg(ConnectTimeoutMs / 1000));
}

void TcpLink::fail(const QString &reason)
{
    m_connectTimer.stop();
    // A burst cut short by the drop is delivered as it stands; the engine judges it.
    m_silence.stop();
    flushChunk();
    m_unsent.clear();
    if (m_socket) {
        // This may run inside the socket's own error signal, and the socket still uses itself
        // after the signal returns: no abort() here, and no parent that could delete it now
        // (the port drops this link on the hang-up). Its destructor drops the connection.
        m_socket->disconnect(this);
        m_socket->setParent(nullptr);
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    // The link stays started: the next write connects again.
    emit connectionFailed(
        QStringLiteral("Нет связи со шлюзом %1: %2").arg(endpointText(m_endpoint), reason));
    emit OnRequestHangup(this);
}
