// publish-bench: drivelink-cli publish against a mosquitto on 127.0.0.1, three rows:
//  1. 32 simulated drives (KX100, KX200, KX300 mixed) on one bus at one poll a second: the
//     publisher's CPU share of one core.
//  2. 8 publishers, each on a simulated bus behind its own TCP gateway, into one broker: every
//     birth and data message received, none lost, in order per node (seq without a gap).
//  3. The broker restarted under those 8: time from its return until every birth is back.
#include "cli/MqttClient.h"
#include "sparkplug_b.pb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

const QString Cli = QStringLiteral(DRIVELINK_CLI_EXECUTABLE);
const QString Sim = QStringLiteral(DRIVELINK_SIM_EXECUTABLE);

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool runUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        runFor(20);
    return done();
}

// CPU seconds (user + system) of a running process, from /proc.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(sysconf(_SC_CLK_TCK));
}

struct NodeTally
{
    int births = 0; // NBIRTH + DBIRTH
    int data = 0;
    int gaps = 0;       // seq not one after the previous
    int unbornData = 0; // DDATA before its DBIRTH
    int lastSeq = -1;
    QSet<QString> born;
};

class Watcher : public QObject
{
public:
    explicit Watcher(int port)
    {
        m_client.setReconnectDelayMs(50);
        m_client.setMaxReconnectDelayMs(100);
        connect(&m_client, &MqttClient::connected, this,
                [this] { m_client.subscribe(QStringLiteral("spBv1.0/bench/#")); });
        connect(&m_client, &MqttClient::messageReceived, this, &Watcher::take);
        MqttClient::Settings settings;
        settings.port = port;
        settings.clientId = QStringLiteral("publish-bench");
        m_client.start(settings, nullptr);
    }
    bool connected() const { return m_client.isConnected(); }
    QHash<QString, NodeTally> nodes;
    int total = 0;

private:
    void take(const QString &topic, const QByteArray &bytes)
    {
        const QStringList parts = topic.split(QLatin1Char('/'));
        drivelink::sparkplug::Payload payload;
        if (parts.size() < 4 || !payload.ParseFromArray(bytes.constData(), int(bytes.size())))
            return;
        ++total;
        NodeTally &n = nodes[parts[3]];
        const QString &type = parts[2];
        const int seq = payload.has_seq() ? int(payload.seq()) : -1;
        if (type == QLatin1String("NDEATH")) {
            n.lastSeq = -1;
            n.born.clear();
            return;
        }
        if (type == QLatin1String("NBIRTH")) {
            n.born.clear();
            ++n.births;
        } else if (n.lastSeq < 0 || seq != (n.lastSeq + 1) % 256) {
            ++n.gaps;
        }
        n.lastSeq = seq;
        if (type == QLatin1String("DBIRTH")) {
            ++n.births;
            n.born.insert(parts.value(4));
        } else if (type == QLatin1String("DDATA")) {
            ++n.data;
            n.unbornData += !n.born.contains(parts.value(4));
        }
    }
    MqttClient m_client;
};

class Broker
{
public:
    explicit Broker(const QString &dir) : m_dir(dir), m_port(freePort()) {}
    ~Broker() { stop(); }
    bool start()
    {
        QFile config(m_dir + QStringLiteral("/mosquitto.conf"));
        config.open(QIODevice::WriteOnly);
        config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n"
                                    "max_queued_messages 100000\n")
                         .arg(m_port)
                         .toUtf8());
        config.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("/usr/sbin/mosquitto"), {"-c", config.fileName()});
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
    int port() const { return m_port; }

private:
    QString m_dir;
    int m_port;
    QProcess m_process;
};

std::unique_ptr<QProcess> spawn(const QString &program, const QStringList &arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(program, arguments);
    process->waitForStarted();
    return process;
}

void stopAll(std::vector<std::unique_ptr<QProcess>> &processes)
{
    for (auto &p : processes)
        p->terminate();
    for (auto &p : processes)
        p->waitForFinished(20000);
    processes.clear();
}

int birthsOf(const Watcher &w, const QString &prefix)
{
    int n = 0;
    for (auto it = w.nodes.begin(); it != w.nodes.end(); ++it)
        n += it.key().startsWith(prefix) ? it->births : 0;
    return n;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 30;
    QTemporaryDir dir;
    Broker broker(dir.path());
    if (!broker.start()) {
        std::fprintf(stderr, "publish-bench: mosquitto did not start\n");
        return 1;
    }
    Watcher watcher(broker.port());
    runUntil([&] { return watcher.connected(); }, 5000);
    const QString url = QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port());
    std::printf("publish-bench: mosquitto on 127.0.0.1:%d, %d s per row\n", broker.port(), seconds);

    // 1. 32 drives on one bus at 115200 bit/s, one poll a second each.
    {
        QStringList simArgs{"--link", dir.filePath("bus32"), "--baud",
                            "115200", "--turnaround",        "1"};
        // KX200 at 0 (only its protocol has that address) and 12-21, KX100 1-11, KX300 22-31.
        for (int a = 0; a < 32; ++a) {
            const char *model = a == 0 || (a >= 12 && a < 22) ? "--kx200"
                                : a < 12                      ? "--kx100"
                                                              : "--kx300";
            simArgs << model << QString::number(a);
        }
        std::vector<std::unique_ptr<QProcess>> sims;
        sims.push_back(spawn(Sim, simArgs));
        runUntil([&] { return QFile::exists(dir.filePath("bus32")); }, 5000);
        std::vector<std::unique_ptr<QProcess>> publishers;
        publishers.push_back(
            spawn(Cli, {"--port", dir.filePath("bus32"), "--baud", "115200", "publish", "--broker",
                        url, "--group", "bench", "--node", "bus32", "0-31"}));
        const bool born = runUntil([&] { return birthsOf(watcher, "bus32") >= 33; }, 120000);
        const int dataBefore = watcher.nodes.value("bus32").data;
        const qint64 pid = publishers.front()->processId();
        const double cpu0 = cpuSeconds(pid);
        QElapsedTimer clock;
        clock.start();
        runFor(seconds * 1000);
        const double cpu = (cpuSeconds(pid) - cpu0) / (double(clock.elapsed()) / 1000.0);
        const int data = watcher.nodes.value("bus32").data - dataBefore;
        std::printf("32 drives, 1 poll/s, 115200 bit/s: %s; publisher CPU %.1f %% of a core "
                    "(goal < 5 %%: %s); %.1f DDATA/s\n",
                    born ? "33 births" : "births MISSING", cpu * 100.0,
                    cpu < 0.05 ? "pass" : "FAIL", data / (double(clock.elapsed()) / 1000.0));
        stopAll(publishers);
        stopAll(sims);
    }

    // 2. 8 buses behind gateways, 8 publishers, one broker.
    std::vector<std::unique_ptr<QProcess>> sims;
    std::vector<std::unique_ptr<QProcess>> publishers;
    for (int bus = 0; bus < 8; ++bus) {
        const int port = freePort();
        sims.push_back(
            spawn(Sim, {"--tcp", QStringLiteral("127.0.0.1:%1").arg(port), "--baud", "115200"}));
        runFor(200);
        publishers.push_back(
            spawn(Cli, {"--port", QStringLiteral("tcp:127.0.0.1:%1").arg(port), "--deadband", "0",
                        "publish", "--broker", url, "--group", "bench", "--node",
                        QStringLiteral("gw%1").arg(bus), "1-3"}));
    }
    const bool allBorn = runUntil([&] { return birthsOf(watcher, "gw") >= 8 * 4; }, 120000);
    runFor(seconds * 1000);
    int data = 0, gaps = 0, unborn = 0;
    for (auto it = watcher.nodes.begin(); it != watcher.nodes.end(); ++it) {
        if (!it.key().startsWith("gw"))
            continue;
        data += it->data;
        gaps += it->gaps;
        unborn += it->unbornData;
    }
    std::printf("8 publishers x 3 drives behind gateways: births %s, %d DDATA, %d seq gaps, %d "
                "data before birth: %s\n",
                allBorn ? "all 32" : "MISSING", data, gaps, unborn,
                allBorn && gaps == 0 && unborn == 0 ? "pass" : "FAIL");

    // 3. Broker restart under the 8.
    broker.stop();
    const int birthsBefore = birthsOf(watcher, "gw");
    runFor(500);
    broker.start();
    QElapsedTimer back;
    back.start();
    const bool reborn =
        runUntil([&] { return birthsOf(watcher, "gw") >= birthsBefore + 8 * 4; }, 60000);
    std::printf("broker restart (down 0.5 s): all 32 births again after %.2f s (goal <= 5 s: "
                "%s)\n",
                back.elapsed() / 1000.0, reborn && back.elapsed() <= 5000 ? "pass" : "FAIL");
    stopAll(publishers);
    stopAll(sims);
    return 0;
}
