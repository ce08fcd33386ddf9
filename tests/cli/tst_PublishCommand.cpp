// publish against a real broker: a mosquitto started here on 127.0.0.1, drivelink-cli as a
// child process on a simulated bus of this process, and a subscriber that decodes every
// payload with the schema the publisher uses.
#include "cli/MqttClient.h"
#include "sim/SimTcpGateway.h"
#include "sim/SimulatedPlant.h"
#include "sparkplug_b.pb.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using drivelink::sparkplug::Payload;

namespace {

const QString Node = QStringLiteral("spBv1.0/plant/%1/line1");

// mosquitto on 127.0.0.1 and a port that was free; restart() keeps the port.
class Broker
{
public:
    bool start()
    {
        if (m_port == 0) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0))
                return false;
            m_port = probe.serverPort();
        }
        QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(
            QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n").arg(m_port).toUtf8());
        config.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("/usr/sbin/mosquitto"), {"-c", config.fileName()});
        if (!m_process.waitForStarted())
            return false;
        QByteArray log;
        while (!log.contains("running") && m_process.waitForReadyRead(10000))
            log += m_process.readAll();
        return log.contains("running");
    }
    void stop()
    {
        m_process.terminate();
        m_process.waitForFinished();
    }
    ~Broker() { stop(); }
    int port() const { return m_port; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

struct Message
{
    QString type;   // NBIRTH, DDATA, ...
    QString device; // empty for the node
    int seq = -1;   // -1: none
    qint64 bdSeq = -1;
    QStringList metrics;
};

// Every message of the node, decoded, in the order of arrival.
class Subscriber : public QObject
{
public:
    explicit Subscriber(int port)
    {
        m_client.setReconnectDelayMs(100);
        m_client.setMaxReconnectDelayMs(200);
        connect(&m_client, &MqttClient::connected, this, [this] {
            m_client.subscribe(QStringLiteral("spBv1.0/#"));
            m_client.publish(QStringLiteral("spBv1.0/probe"), "x");
        });
        connect(&m_client, &MqttClient::messageReceived, this, &Subscriber::take);
        MqttClient::Settings settings;
        settings.port = port;
        settings.clientId = QStringLiteral("tst-subscriber");
        m_client.start(settings, nullptr);
    }
    // The subscription stands once its own probe came back.
    bool ready() const { return m_probes > 0; }
    void send(const QString &type, const QString &device, const QString &metric)
    {
        Payload payload;
        auto *m = payload.add_metrics();
        m->set_name(metric.toStdString());
        m->set_datatype(Payload::Boolean);
        m->set_boolean_value(true);
        const std::string bytes = payload.SerializeAsString();
        m_client.publish(Node.arg(type) + device,
                         QByteArray(bytes.data(), qsizetype(bytes.size())));
    }
    QList<Message> messages;
    int count(const QString &type, const QString &device = {}, int from = 0) const
    {
        int n = 0;
        for (int i = from; i < messages.size(); ++i)
            n += messages[i].type == type && (device.isEmpty() || messages[i].device == device);
        return n;
    }
    int lastIndex(const QString &type, const QString &device = {}) const
    {
        for (int i = int(messages.size()) - 1; i >= 0; --i) {
            if (messages[i].type == type && (device.isEmpty() || messages[i].device == device))
                return i;
        }
        return -1;
    }

private:
    void take(const QString &topic, const QByteArray &bytes)
    {
        if (topic == QLatin1String("spBv1.0/probe")) {
            ++m_probes;
            return;
        }
        const QStringList parts = topic.split(QLatin1Char('/'));
        if (parts.size() < 4 || parts[1] != QLatin1String("plant") ||
            parts[3] != QLatin1String("line1") || parts[2].endsWith(QLatin1String("CMD")))
            return;
        Payload payload;
        QVERIFY(payload.ParseFromArray(bytes.constData(), int(bytes.size())));
        Message m;
        m.type = parts[2];
        m.device = parts.value(4);
        m.seq = payload.has_seq() ? int(payload.seq()) : -1;
        for (const auto &metric : payload.metrics()) {
            m.metrics << QString::fromStdString(metric.name());
            if (metric.name() == "bdSeq")
                m.bdSeq = qint64(metric.long_value());
        }
        messages.append(m);
    }

    MqttClient m_client;
    int m_probes = 0;
};

// Sparkplug's order: NBIRTH first with seq 0, then seq counts on by one (mod 256); a device
// publishes data or death only after its birth on the current node birth.
void checkOrder(const QList<Message> &messages)
{
    QSet<QString> born;
    int seq = -1;
    for (const Message &m : messages) {
        if (m.type == QLatin1String("NDEATH")) {
            QCOMPARE(m.seq, -1);
            seq = -1;
            born.clear();
            continue;
        }
        if (m.type == QLatin1String("NBIRTH")) {
            QCOMPARE(m.seq, 0);
            QCOMPARE(m.metrics, QStringList({"bdSeq", "Node Control/Rebirth", "Properties/Port",
                                             "Properties/Version"}));
            born.clear();
        } else {
            QVERIFY2(seq >= 0, qPrintable(m.type + " before NBIRTH"));
            QCOMPARE(m.seq, (seq + 1) % 256);
        }
        seq = m.seq;
        if (m.type == QLatin1String("DBIRTH")) {
            QCOMPARE(m.metrics.size(), 10);
            born.insert(m.device);
        } else if (m.type == QLatin1String("DDATA") || m.type == QLatin1String("DDEATH")) {
            QVERIFY2(born.contains(m.device), qPrintable(m.type + " of unborn " + m.device));
            if (m.type == QLatin1String("DDEATH"))
                born.remove(m.device);
        }
    }
}

} // namespace

class tst_PublishCommand : public QObject
{
    Q_OBJECT

private:
    void startPublisher(QProcess &process, const QString &device, int brokerPort)
    {
        process.start(QStringLiteral(DRIVELINK_CLI_EXECUTABLE),
                      {"--port", device, "--timeout-ms=400", "--interval-ms", "200", "--json",
                       "publish", "--broker", QStringLiteral("mqtt://127.0.0.1:%1").arg(brokerPort),
                       "--group", "plant", "--node", "line1", "--rescan-ms", "1000", "1-3"});
        QVERIFY(process.waitForStarted());
    }

private slots:
    // Births, data, a drive that falls silent and returns, a rebirth command, an ignored
    // device command and the node's death on SIGTERM, with --json naming every message.
    void lifeCycle()
    {
        Broker broker;
        QVERIFY(broker.start());
        Subscriber subscriber(broker.port());
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.ready(), 10000);
        SimulatedPlant plant({{"KX100", 1}, {"KX200", 2}, {"KX300", 3}});
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        QProcess publisher;
        startPublisher(publisher, device, broker.port());

        QTRY_VERIFY_WITH_TIMEOUT(
            subscriber.count("DBIRTH") == 3 && subscriber.count("DDATA", "drive3") > 0, 30000);
        plant.bus().setFaultAt(2, SimFault::Silent);
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.count("DDEATH", "drive2") == 1, 30000);
        plant.bus().setFaultAt(2, SimFault::None);
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.lastIndex("DBIRTH", "drive2") >
                                     subscriber.lastIndex("DDEATH", "drive2"),
                                 30000);

        subscriber.send("NCMD", {}, "Node Control/Rebirth");
        QTRY_VERIFY_WITH_TIMEOUT(
            subscriber.count("NBIRTH") == 2 &&
                subscriber.count("DBIRTH", {}, subscriber.lastIndex("NBIRTH")) == 3,
            30000);
        subscriber.send("DCMD", "/drive1", "Output/Frequency");
        QByteArray errors;
        QTRY_VERIFY_WITH_TIMEOUT(
            (errors += publisher.readAllStandardError()).contains("DCMD/line1/drive1: ignored"),
            10000);

        publisher.terminate();
        QVERIFY(publisher.waitForFinished(20000));
        QCOMPARE(publisher.exitStatus(), QProcess::NormalExit);
        QCOMPARE(publisher.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(subscriber.count("NDEATH"), 1, 10000);
        const QList<Message> &got = subscriber.messages;
        QCOMPARE(got.last().bdSeq, got.first().bdSeq);
        checkOrder(got);

        // --json: one line per message, in the order the broker delivered them.
        const QList<QByteArray> lines = publisher.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), got.size());
        for (int i = 0; i < got.size(); ++i) {
            const QJsonObject o = QJsonDocument::fromJson(lines[i]).object();
            QCOMPARE(o.value("topic").toString(),
                     Node.arg(got[i].type) +
                         (got[i].device.isEmpty() ? QString() : "/" + got[i].device));
            QCOMPARE(o.value("seq").toInt(-1), got[i].seq);
            QCOMPARE(o.value("metrics").toInt(), int(got[i].metrics.size()));
        }
    }

    // A broker restart gives a new connection with the next bdSeq and all births again; a
    // killed publisher's death comes from the broker as its will.
    void brokerRestartAndWill()
    {
        Broker broker;
        QVERIFY(broker.start());
        Subscriber subscriber(broker.port());
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.ready(), 10000);
        SimulatedPlant plant({{"KX100", 1}});
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        QProcess publisher;
        startPublisher(publisher, device, broker.port());
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.count("DBIRTH", "drive1") == 1, 30000);
        const qint64 firstBdSeq = subscriber.messages.first().bdSeq;

        broker.stop();
        QVERIFY(broker.start());
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.count("DBIRTH", "drive1") == 2, 30000);
        const Message &rebirth = subscriber.messages[subscriber.lastIndex("NBIRTH")];
        QCOMPARE(rebirth.bdSeq, firstBdSeq + 1);

        publisher.kill();
        QVERIFY(publisher.waitForFinished());
        // mosquitto sends the wills of its clients when it shuts down: the first death.
        QTRY_COMPARE_WITH_TIMEOUT(subscriber.count("NDEATH"), 2, 20000);
        QCOMPARE(subscriber.messages[subscriber.lastIndex("NBIRTH") - 1].bdSeq, firstBdSeq);
        QCOMPARE(subscriber.messages.last().bdSeq, firstBdSeq + 1);
        checkOrder(subscriber.messages);
    }

    // A gateway that goes away: its drives die, and are born again when it is back.
    void gatewayLoss()
    {
        Broker broker;
        QVERIFY(broker.start());
        Subscriber subscriber(broker.port());
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.ready(), 10000);
        SimulatedPlant plant({{"KX300", 1}});
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        SimTcpGateway gateway;
        QString why;
        QVERIFY2(gateway.start(device, "127.0.0.1", 0, &why), qPrintable(why));
        const int port = gateway.port();
        QProcess publisher;
        startPublisher(publisher, QStringLiteral("tcp:127.0.0.1:%1").arg(port), broker.port());
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.count("DBIRTH", "drive1") == 1, 30000);
        gateway.stop();
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.count("DDEATH", "drive1") == 1, 30000);
        QVERIFY2(gateway.start(device, "127.0.0.1", port, &why), qPrintable(why));
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.count("DBIRTH", "drive1") == 2, 30000);
        publisher.terminate();
        QVERIFY(publisher.waitForFinished(20000));
        QCOMPARE(publisher.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(subscriber.count("NDEATH"), 1, 10000);
        checkOrder(subscriber.messages);
    }
};

QTEST_GUILESS_MAIN(tst_PublishCommand)
#include "tst_PublishCommand.moc"
