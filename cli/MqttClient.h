#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

struct mosquitto;
class QSocketNotifier;

// One MQTT 3.1.1 client connection (libmosquitto), driven by the Qt event loop: socket
// notifiers feed libmosquitto's read and write steps and a timer its keep-alive, so no thread
// is started and waiting costs nothing. After a lost or refused connection it connects again
// by itself, first after reconnectDelayMs, the delay doubling up to maxReconnectDelayMs; a
// connection that stands resets the delay. aboutToConnect() comes before every attempt (the
// first included), the time to set the will that belongs to that connection.
class MqttClient : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        QString host = QStringLiteral("127.0.0.1");
        int port = 1883;
        bool tls = false;
        QString caFile; // with tls
        QString username;
        QString password;
        QString clientId;
        int keepAliveS = 10;
    };

    explicit MqttClient(QObject *parent = nullptr);
    ~MqttClient() override;

    // Creates the client and makes the first attempt. False with the reason for settings
    // libmosquitto refuses (a missing CA file); a broker that cannot be reached is not an
    // error: the client keeps trying.
    bool start(const Settings &settings, QString *error);
    bool isConnected() const { return m_connected; }

    // The will of the next connection attempts (QoS 1, not retained).
    void setWill(const QString &topic, const QByteArray &payload);
    // Publishes at QoS 0, not retained (QoS 1 when asked). False when not connected.
    bool publish(const QString &topic, const QByteArray &payload, int qos = 0);
    bool subscribe(const QString &pattern, int qos = 0);
    // Sends what is queued and a DISCONNECT (no will), waiting at most guardMs for the socket
    // to take it; no reconnection follows.
    void disconnectFromBroker(int guardMs = 2000);

    int reconnectDelayMs() const { return m_firstDelayMs; }
    void setReconnectDelayMs(int ms) { m_firstDelayMs = m_delayMs = ms; }
    int maxReconnectDelayMs() const { return m_maxDelayMs; }
    void setMaxReconnectDelayMs(int ms) { m_maxDelayMs = ms; }
    // The wait before the attempt planned after the last loss.
    int retryInMs() const { return m_retryTimer.interval(); }

signals:
    void aboutToConnect();
    void connected();
    void disconnected(const QString &reason);
    void messageReceived(const QString &topic, const QByteArray &payload);

private:
    void attempt();
    void watchSocket();
    void unwatchSocket();
    void readable();
    void writable();
    void housekeeping();
    void updateWriteInterest();
    // The connection has gone (or the attempt failed): tears the watch down and plans the next
    // attempt.
    void lost(const QString &reason);

    static void onConnect(mosquitto *, void *self, int rc);
    static void onDisconnect(mosquitto *, void *self, int rc);
    static void onMessage(mosquitto *, void *self, const struct mosquitto_message *message);

    mosquitto *m_client = nullptr;
    Settings m_settings;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    QTimer m_miscTimer;
    QTimer m_retryTimer;
    int m_firstDelayMs = 1000;
    int m_maxDelayMs = 30000;
    int m_delayMs = 1000;
    bool m_connected = false;
    bool m_stopping = false;
    bool m_firstAttempt = true;
};
