#include "cli/SparkplugNode.h"

#include "cli/CliOutput.h"
#include "cli/MqttClient.h"
#include "sparkplug_b.pb.h"

#include <QDateTime>
#include <QJsonObject>

using drivelink::sparkplug::Payload;

namespace {

using Metric = Payload::Metric;

Metric *addMetric(Payload &payload, const QString &name, Payload::DataType type, uint64_t time)
{
    Metric *metric = payload.add_metrics();
    metric->set_name(name.toStdString());
    metric->set_datatype(type);
    metric->set_timestamp(time);
    return metric;
}

void addDriveMetric(Payload &payload, const DriveTelemetry &t, DriveTelemetry::Metric which,
                    uint64_t time)
{
    const QString name = DriveTelemetry::metricName(which);
    switch (which) {
    case DriveTelemetry::Frequency:
    case DriveTelemetry::Voltage:
    case DriveTelemetry::Current: {
        const float value = which == DriveTelemetry::Frequency ? t.frequency
                            : which == DriveTelemetry::Voltage ? t.voltage
                                                               : t.current;
        addMetric(payload, name, Payload::Float, time)->set_float_value(value);
        break;
    }
    case DriveTelemetry::Running:
    case DriveTelemetry::Reverse:
        addMetric(payload, name, Payload::Boolean, time)
            ->set_boolean_value(which == DriveTelemetry::Running ? t.running : t.reverse);
        break;
    case DriveTelemetry::Model:
        addMetric(payload, name, Payload::String, time)->set_string_value(t.model.toStdString());
        break;
    case DriveTelemetry::Address:
        addMetric(payload, name, Payload::UInt8, time)->set_int_value(uint32_t(t.address));
        break;
    case DriveTelemetry::Good:
    case DriveTelemetry::Timeouts:
    case DriveTelemetry::Errors:
        addMetric(payload, name, Payload::UInt64, time)
            ->set_long_value(which == DriveTelemetry::Good       ? t.good
                             : which == DriveTelemetry::Timeouts ? t.timeouts
                                                                 : t.errors);
        break;
    default:
        break;
    }
}

uint64_t now()
{
    return uint64_t(QDateTime::currentMSecsSinceEpoch());
}

QByteArray serialized(const Payload &payload)
{
    QByteArray bytes(qsizetype(payload.ByteSizeLong()), Qt::Uninitialized);
    payload.SerializeToArray(bytes.data(), int(bytes.size()));
    return bytes;
}

const QString RebirthMetric = QStringLiteral("Node Control/Rebirth");

} // namespace

SparkplugNode::SparkplugNode(MqttClient &client, CliOutput &out, const Identity &identity,
                             double deadbandPercent, QObject *parent)
    : QObject(parent), m_client(client), m_out(out), m_identity(identity),
      m_deadband(deadbandPercent)
{
    // Direct: the will must be in place before the attempt goes out.
    connect(&client, &MqttClient::aboutToConnect, this, &SparkplugNode::prepareConnection,
            Qt::DirectConnection);
    connect(&client, &MqttClient::connected, this, &SparkplugNode::connected);
    connect(&client, &MqttClient::disconnected, this, &SparkplugNode::disconnected);
    connect(&client, &MqttClient::messageReceived, this, &SparkplugNode::message);
}

QString SparkplugNode::deviceId(int address)
{
    return QStringLiteral("drive%1").arg(address);
}

QString SparkplugNode::topic(const QString &type, int address) const
{
    QString t = QStringLiteral("spBv1.0/%1/%2/%3").arg(m_identity.group, type, m_identity.node);
    if (address >= 0)
        t += QLatin1Char('/') + deviceId(address);
    return t;
}

int SparkplugNode::nextSeq()
{
    const int seq = m_seq;
    m_seq = (m_seq + 1) % 256;
    return seq;
}

QByteArray SparkplugNode::nodeDeath() const
{
    Payload payload;
    payload.set_timestamp(now());
    addMetric(payload, QStringLiteral("bdSeq"), Payload::UInt64, now())
        ->set_long_value(uint64_t(m_bdSeq));
    return serialized(payload);
}

void SparkplugNode::prepareConnection()
{
    m_bdSeq = (m_bdSeq + 1) % 256;
    m_client.setWill(topic(QStringLiteral("NDEATH")), nodeDeath());
}

void SparkplugNode::connected()
{
    // Commands are heard before the birth that announces the node.
    m_client.subscribe(topic(QStringLiteral("NCMD")));
    m_client.subscribe(topic(QStringLiteral("DCMD")) + QStringLiteral("/+"));
    publishBirths();
}

void SparkplugNode::disconnected()
{
    m_nodeBorn = false;
    for (Device &device : m_devices)
        device.born = false;
}

void SparkplugNode::publishBirths()
{
    if (!m_client.isConnected())
        return;
    m_seq = 0;
    Payload payload;
    const uint64_t time = now();
    payload.set_timestamp(time);
    payload.set_seq(uint64_t(nextSeq()));
    addMetric(payload, QStringLiteral("bdSeq"), Payload::UInt64, time)
        ->set_long_value(uint64_t(m_bdSeq));
    addMetric(payload, RebirthMetric, Payload::Boolean, time)->set_boolean_value(false);
    addMetric(payload, QStringLiteral("Properties/Port"), Payload::String, time)
        ->set_string_value(m_identity.port.toStdString());
    addMetric(payload, QStringLiteral("Properties/Version"), Payload::String, time)
        ->set_string_value(m_identity.version.toStdString());
    send(topic(QStringLiteral("NBIRTH")), serialized(payload), payload.metrics_size(), true);
    m_nodeBorn = true;
    for (Device &device : m_devices)
        publishDeviceBirth(device);
}

void SparkplugNode::publishDeviceBirth(Device &device)
{
    Payload payload;
    const uint64_t time = now();
    payload.set_timestamp(time);
    payload.set_seq(uint64_t(nextSeq()));
    for (DriveTelemetry::Metric metric : DriveTelemetry::allMetrics())
        addDriveMetric(payload, device.latest, metric, time);
    send(topic(QStringLiteral("DBIRTH"), device.latest.address), serialized(payload),
         payload.metrics_size(), true);
    device.published = device.latest;
    device.born = true;
}

void SparkplugNode::deviceUpdate(const DriveTelemetry &telemetry)
{
    Device &device = m_devices[telemetry.address];
    device.latest = telemetry;
    if (!m_nodeBorn || !m_client.isConnected())
        return;
    if (!device.born) {
        publishDeviceBirth(device);
        return;
    }
    const QList<DriveTelemetry::Metric> changed =
        telemetry.changesFrom(device.published, m_deadband);
    if (changed.isEmpty())
        return;
    Payload payload;
    const uint64_t time = now();
    payload.set_timestamp(time);
    payload.set_seq(uint64_t(nextSeq()));
    for (DriveTelemetry::Metric metric : changed)
        addDriveMetric(payload, telemetry, metric, time);
    send(topic(QStringLiteral("DDATA"), telemetry.address), serialized(payload),
         payload.metrics_size(), true);
    device.published.adopt(telemetry, changed);
}

void SparkplugNode::deviceDeath(int address)
{
    const auto it = m_devices.find(address);
    if (it == m_devices.end())
        return;
    const bool born = it->born;
    m_devices.erase(it);
    if (!born || !m_nodeBorn || !m_client.isConnected())
        return;
    Payload payload;
    payload.set_timestamp(now());
    payload.set_seq(uint64_t(nextSeq()));
    send(topic(QStringLiteral("DDEATH"), address), serialized(payload), 0, true);
}

void SparkplugNode::shutdown()
{
    if (m_client.isConnected())
        send(topic(QStringLiteral("NDEATH")), nodeDeath(), 1, false, 1);
    m_client.disconnectFromBroker();
    disconnected();
}

void SparkplugNode::message(const QString &topicName, const QByteArray &bytes)
{
    Payload payload;
    const bool parsed = payload.ParseFromArray(bytes.constData(), int(bytes.size()));
    if (topicName.startsWith(topic(QStringLiteral("DCMD")) + QLatin1Char('/'))) {
        m_out.error(
            QStringLiteral("%1: ignored, publish writes nothing to a drive").arg(topicName));
        return;
    }
    if (topicName != topic(QStringLiteral("NCMD")))
        return;
    if (!parsed) {
        m_out.error(QStringLiteral("%1: payload is not a Sparkplug B payload").arg(topicName));
        return;
    }
    for (const Metric &metric : payload.metrics()) {
        if (QString::fromStdString(metric.name()) == RebirthMetric &&
            metric.value_case() == Metric::kBooleanValue && metric.boolean_value()) {
            publishBirths();
            return;
        }
    }
}

void SparkplugNode::send(const QString &topicName, const QByteArray &payload, int metrics,
                         bool hasSeq, int qos)
{
    if (!m_client.publish(topicName, payload, qos))
        return;
    if (!m_out.json())
        return;
    QJsonObject object{{QStringLiteral("topic"), topicName}, {QStringLiteral("metrics"), metrics}};
    if (hasSeq)
        object.insert(QStringLiteral("seq"), m_seq == 0 ? 255 : m_seq - 1);
    m_out.result(QString(), object);
}
