#include "cli/PublishCommand.h"

#include "bus/BusHost.h"
#include "bus/TDM.h"
#include "cli/CliExit.h"
#include "cli/CliOptions.h"
#include "cli/CliOutput.h"
#include "cli/MqttClient.h"
#include "cli/SparkplugNode.h"
#include "cli/StopSignal.h"
#include "serial/MessageNumbers.h"

#include <QElapsedTimer>
#include <QFile>

PublishCommand::PublishCommand(const CliOptions &options, CliOutput &out)
    : m_options(options), m_out(out)
{
}

PublishCommand::~PublishCommand() = default;

bool PublishCommand::openSession(QString *error)
{
    auto session = std::make_unique<CliSession>();
    const CliSession::Settings settings = CliSession::Settings::of(m_options);
    if (!session->open(settings, error))
        return false;
    // A service runs for months: no log table grows, only the statistics count.
    session->host().traffic().setKeepsLog(false);
    m_session = std::move(session);
    return true;
}

void PublishCommand::detect(const QList<int> &addresses)
{
    for (int address : addresses) {
        if (m_stop && m_stop->isRaised())
            return;
        if (m_misses.contains(address))
            continue;
        if (!m_options.model.isEmpty()) {
            if (m_session->ensureInverter(address, m_options.model, nullptr))
                m_misses.insert(address, 0);
            continue;
        }
        const QList<CliSession::Detection> found = m_session->detect({address});
        if (m_session->linkLost())
            return;
        if (!found.isEmpty() && found.first().state == InverterStateCode::Present)
            m_misses.insert(address, 0);
    }
}

void PublishCommand::pollDrive(int address)
{
    using Read = bool (TDM::*)(TransactionRecord &);
    const Read reads[] = {&TDM::ReadOutputFreq, &TDM::ReadOutputVoltage, &TDM::ReadOutputCurrent};
    bool ok = true;
    for (Read read : reads) {
        const auto record = m_session->exchange(
            address, 0, [read](TDM &dm, TransactionRecord &r) { return (dm.*read)(r); });
        if (!record || record->Result != TransactionResult::Ok) {
            ok = false;
            break;
        }
    }
    int &misses = m_misses[address];
    if (!ok) {
        if (++misses == MissesForDeath)
            m_node->deviceDeath(address);
        return;
    }
    misses = 0;
    const TDM &dm = m_session->registry();
    DriveTelemetry t;
    t.address = address;
    t.model = dm.GetTypeName(address);
    t.frequency = dm.GetOutputFreq(address);
    t.voltage = dm.GetOutputVoltage(address);
    t.current = dm.GetOutputCurrent(address);
    t.running = dm.GetRunning(address);
    t.reverse = dm.GetReverse(address);
    if (const auto *c = m_session->host().traffic().statistics().find(address)) {
        t.good = uint64_t(c->good);
        t.timeouts = uint64_t(c->timeOuts);
        t.errors = uint64_t(c->checkErrors + c->refusals + c->otherAddress + c->incomplete +
                            c->lineErrors);
    }
    m_node->deviceUpdate(t);
}

void PublishCommand::allDead()
{
    for (int address : m_node->devices())
        m_node->deviceDeath(address);
    m_misses.clear();
}

int PublishCommand::run()
{
    const PublishOptions &p = m_options.publish;
    MqttClient::Settings broker;
    broker.host = p.host;
    broker.port = p.port;
    broker.tls = p.tls;
    broker.caFile = p.caFile;
    broker.username = p.username;
    if (!p.passwordFile.isEmpty()) {
        QFile file(p.passwordFile);
        if (!file.open(QIODevice::ReadOnly)) {
            m_out.error(QStringLiteral("cannot read the password file %1: %2")
                            .arg(p.passwordFile, file.errorString()));
            return CliExit::Failure;
        }
        broker.password = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n'));
    }
    SparkplugNode::Identity identity;
    identity.group = p.group;
    identity.node = p.nodeId();
    identity.port = m_options.port;
    identity.version = QStringLiteral(DRIVELINK_VERSION);
    broker.clientId = QStringLiteral("drivelink-%1-%2").arg(identity.group, identity.node);

    QString why;
    if (!openSession(&why)) {
        m_out.error(why);
        return CliExit::Failure;
    }
    StopSignal stop;
    m_stop = &stop;
    QObject::connect(&stop, &StopSignal::received, [] { CliSession::wake(); });
    MqttClient client;
    SparkplugNode node(client, m_out, identity, p.deadbandPercent);
    m_node = &node;
    const QString endpoint = QStringLiteral("%1:%2").arg(p.host).arg(p.port);
    QObject::connect(&client, &MqttClient::disconnected, [&](const QString &reason) {
        m_out.error(QStringLiteral("broker %1: %2; connecting again in %3 s")
                        .arg(endpoint, reason)
                        .arg(double(client.retryInMs()) / 1000.0));
    });
    QObject::connect(&client, &MqttClient::connected,
                     [&] { m_out.error(QStringLiteral("broker %1: connected").arg(endpoint)); });
    if (!client.start(broker, &why)) {
        m_out.error(why);
        return CliExit::Failure;
    }

    const QList<int> &addresses = m_options.addresses;
    QElapsedTimer clock;
    clock.start();
    qint64 lastDetection = -1;
    bool busDown = false;
    while (!stop.isRaised()) {
        const qint64 cycleStart = clock.elapsed();
        if (m_session->linkLost()) {
            // The engine opens the device (or the gateway) again with the next request; the
            // drives are found again once it answers.
            if (!busDown)
                m_out.error(m_session->linkLostText());
            busDown = true;
            allDead();
            m_session->clearLinkLost();
            lastDetection = -1;
        }
        if (lastDetection < 0 || cycleStart - lastDetection >= p.rescanMs) {
            detect(addresses);
            lastDetection = m_session->linkLost() ? -1 : clock.elapsed();
        }
        if (busDown && !m_session->linkLost() && !m_misses.isEmpty()) {
            busDown = false;
            m_out.error(QStringLiteral("bus %1 answers again").arg(m_options.port));
        }
        const QList<int> known = m_misses.keys();
        for (int address : known) {
            if (stop.isRaised() || m_session->linkLost())
                break;
            pollDrive(address);
        }
        const qint64 due = cycleStart + qMax(1, m_options.intervalMs);
        CliSession::waitUntil([&] { return stop.isRaised(); },
                              int(qMax<qint64>(1, due - clock.elapsed())));
    }
    node.shutdown();
    m_node = nullptr;
    m_stop = nullptr;
    return CliExit::Ok;
}
