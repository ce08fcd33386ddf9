#include "cli/MqttClient.h"

#include <QEventLoop>
#include <QSocketNotifier>

#include <mosquitto.h>

#include <algorithm>

namespace {

void initLibrary()
{
    static const bool done = [] {
        mosquitto_lib_init();
        return true;
    }();
    Q_UNUSED(done);
}

} // namespace

MqttClient::MqttClient(QObject *parent) : QObject(parent)
{
    m_miscTimer.setInterval(1000);
    connect(&m_miscTimer, &QTimer::timeout, this, &MqttClient::housekeeping);
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &MqttClient::attempt);
}

MqttClient::~MqttClient()
{
    unwatchSocket();
    if (m_client)
        mosquitto_destroy(m_client);
}

bool MqttClient::start(const Settings &settings, QString *error)
{
    initLibrary();
    m_settings = settings;
    const QByteArray id = settings.clientId.toUtf8();
    m_client = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
    if (!m_client) {
        if (error)
            *error = QStringLiteral("the MQTT client could not be created");
        return false;
    }
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_client, &MqttClient::onConnect);
    mosquitto_disconnect_callback_set(m_client, &MqttClient::onDisconnect);
    mosquitto_message_callback_set(m_client, &MqttClient::onMessage);
    if (!settings.username.isEmpty()) {
        const QByteArray user = settings.username.toUtf8();
        const QByteArray password = settings.password.toUtf8();
        mosquitto_username_pw_set(m_client, user.constData(),
                                  settings.password.isNull() ? nullptr : password.constData());
    }
    if (settings.tls) {
        const QByteArray ca = settings.caFile.toLocal8Bit();
        const int rc =
            mosquitto_tls_set(m_client, ca.isEmpty() ? nullptr : ca.constData(),
                              ca.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            if (error)
                *error = QStringLiteral("TLS set-up failed: %1")
                             .arg(QString::fromUtf8(mosquitto_strerror(rc)));
            return false;
        }
    }
    m_miscTimer.start();
    attempt();
    return true;
}

void MqttClient::setWill(const QString &topic, const QByteArray &payload)
{
    const QByteArray t = topic.toUtf8();
    mosquitto_will_set(m_client, t.constData(), int(payload.size()), payload.constData(), 1, false);
}

void MqttClient::attempt()
{
    if (m_stopping)
        return;
    emit aboutToConnect();
    const QByteArray host = m_settings.host.toUtf8();
    // The TLS handshake of libmosquitto only finishes inside its own loop; that connection is
    // made blocking, everything after it is driven here.
    const int rc = m_settings.tls ? mosquitto_connect(m_client, host.constData(), m_settings.port,
                                                      m_settings.keepAliveS)
                                  : mosquitto_connect_async(m_client, host.constData(),
                                                            m_settings.port, m_settings.keepAliveS);
    if (rc != MOSQ_ERR_SUCCESS) {
        lost(QString::fromUtf8(rc == MOSQ_ERR_ERRNO ? strerror(errno) : mosquitto_strerror(rc)));
        return;
    }
    watchSocket();
}

void MqttClient::watchSocket()
{
    unwatchSocket();
    const int fd = mosquitto_socket(m_client);
    if (fd < 0)
        return;
    m_readNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &MqttClient::readable);
    m_writeNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &MqttClient::writable);
    updateWriteInterest();
}

void MqttClient::unwatchSocket()
{
    // A notifier may be the one whose signal is running: it goes when the event loop is back.
    for (auto *notifier : {&m_readNotifier, &m_writeNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->disconnect(this);
            notifier->release()->deleteLater();
        }
    }
}

void MqttClient::updateWriteInterest()
{
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(mosquitto_socket(m_client) >= 0 &&
                                    mosquitto_want_write(m_client));
}

void MqttClient::readable()
{
    const int rc = mosquitto_loop_read(m_client, 1);
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(m_client) < 0) {
        lost(QString::fromUtf8(
            mosquitto_strerror(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc)));
        return;
    }
    updateWriteInterest();
}

void MqttClient::writable()
{
    const int rc = mosquitto_loop_write(m_client, 1);
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(m_client) < 0) {
        lost(QString::fromUtf8(
            mosquitto_strerror(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc)));
        return;
    }
    updateWriteInterest();
}

void MqttClient::housekeeping()
{
    if (!m_readNotifier)
        return;
    mosquitto_loop_misc(m_client); // keep-alive: a ping, or the end of a silent connection
    if (mosquitto_socket(m_client) < 0) {
        lost(QStringLiteral("keep-alive timed out"));
        return;
    }
    updateWriteInterest();
}

void MqttClient::lost(const QString &reason)
{
    const bool wasConnected = m_connected;
    m_connected = false;
    unwatchSocket();
    if (m_stopping || m_retryTimer.isActive())
        return;
    m_retryTimer.start(m_delayMs);
    m_delayMs = std::min(m_delayMs * 2, m_maxDelayMs);
    if (wasConnected || m_firstAttempt)
        emit disconnected(reason);
    m_firstAttempt = false;
}

bool MqttClient::publish(const QString &topic, const QByteArray &payload, int qos)
{
    if (!m_connected)
        return false;
    const QByteArray t = topic.toUtf8();
    const int rc = mosquitto_publish(m_client, nullptr, t.constData(), int(payload.size()),
                                     payload.constData(), qos, false);
    updateWriteInterest();
    return rc == MOSQ_ERR_SUCCESS;
}

bool MqttClient::subscribe(const QString &pattern, int qos)
{
    if (!m_connected)
        return false;
    const QByteArray p = pattern.toUtf8();
    const int rc = mosquitto_subscribe(m_client, nullptr, p.constData(), qos);
    updateWriteInterest();
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttClient::disconnectFromBroker(int guardMs)
{
    m_stopping = true;
    m_retryTimer.stop();
    if (!m_client || mosquitto_socket(m_client) < 0)
        return;
    mosquitto_disconnect(m_client);
    if (mosquitto_socket(m_client) < 0 || !mosquitto_want_write(m_client)) {
        unwatchSocket();
        m_connected = false;
        return;
    }
    // What the socket did not take at once goes out as it becomes writable.
    unwatchSocket();
    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    QSocketNotifier notifier(mosquitto_socket(m_client), QSocketNotifier::Write);
    connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
        mosquitto_loop_write(m_client, 1);
        if (mosquitto_socket(m_client) < 0 || !mosquitto_want_write(m_client))
            loop.quit();
    });
    guard.start(guardMs);
    loop.exec();
    m_connected = false;
}

void MqttClient::onConnect(mosquitto *, void *self, int rc)
{
    auto *client = static_cast<MqttClient *>(self);
    if (rc != 0) {
        const QString reason = QStringLiteral("broker refused the connection: %1")
                                   .arg(QString::fromUtf8(mosquitto_connack_string(rc)));
        QMetaObject::invokeMethod(
            client, [client, reason] { client->lost(reason); }, Qt::QueuedConnection);
        return;
    }
    client->m_connected = true;
    client->m_delayMs = client->m_firstDelayMs;
    client->m_firstAttempt = false;
    QMetaObject::invokeMethod(
        client,
        [client] {
            if (client->m_connected)
                emit client->connected();
        },
        Qt::QueuedConnection);
}

void MqttClient::onDisconnect(mosquitto *, void *self, int rc)
{
    auto *client = static_cast<MqttClient *>(self);
    const QString reason = QString::fromUtf8(mosquitto_strerror(rc));
    QMetaObject::invokeMethod(
        client, [client, reason] { client->lost(reason); }, Qt::QueuedConnection);
}

void MqttClient::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *client = static_cast<MqttClient *>(self);
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    QMetaObject::invokeMethod(
        client, [client, topic, payload] { emit client->messageReceived(topic, payload); },
        Qt::QueuedConnection);
}
