#pragma once

#include "cli/DriveTelemetry.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>

class CliOutput;
class MqttClient;

// A Sparkplug B edge node over one MqttClient: the node's births and death, one device per
// drive, and the sequence numbers. Topics are spBv1.0/GROUP/TYPE/NODE[/DEVICE].
//  - Every connection attempt takes the next bdSeq (0..255) and registers NDEATH with it as the
//    will; once connected the node subscribes to its NCMD and DCMD topics and publishes NBIRTH
//    (seq 0) and a DBIRTH for every live drive.
//  - seq counts 0..255 over all messages of the node after NBIRTH; NDEATH carries none.
//  - "Node Control/Rebirth" true in an NCMD republishes all births. DCMDs are refused with
//    one line on standard error each: nothing is written to a drive.
// The node only publishes from what it was told; it never waits for the bus.
class SparkplugNode : public QObject
{
    Q_OBJECT

public:
    struct Identity
    {
        QString group = QStringLiteral("drivelink");
        QString node;
        QString port;    // Properties/Port
        QString version; // Properties/Version
    };

    SparkplugNode(MqttClient &client, CliOutput &out, const Identity &identity,
                  double deadbandPercent, QObject *parent = nullptr);

    // A drive answered: DBIRTH when it is new, else a DDATA with what changed (none when
    // nothing did). Stored only while the broker is away; the births follow the connection.
    void deviceUpdate(const DriveTelemetry &telemetry);
    // The drive stopped answering: DDEATH, and it is forgotten until it answers again.
    void deviceDeath(int address);
    bool hasDevice(int address) const { return m_devices.contains(address); }
    QList<int> devices() const { return m_devices.keys(); }

    // Publishes NDEATH and disconnects: the end of a clean stop.
    void shutdown();

    QString topic(const QString &type, int address = -1) const;
    static QString deviceId(int address);
    int bdSeq() const { return m_bdSeq; }

private:
    struct Device
    {
        DriveTelemetry latest;
        DriveTelemetry published;
        bool born = false; // DBIRTH sent on the current connection
    };

    void prepareConnection();
    void connected();
    void disconnected();
    void message(const QString &topic, const QByteArray &payload);
    void publishBirths();
    void publishDeviceBirth(Device &device);
    QByteArray nodeDeath() const;
    void send(const QString &topic, const QByteArray &payload, int metrics, bool hasSeq,
              int qos = 0);
    int nextSeq();

    MqttClient &m_client;
    CliOutput &m_out;
    Identity m_identity;
    double m_deadband;
    QMap<int, Device> m_devices;
    int m_bdSeq = -1;
    int m_seq = 0;
    bool m_nodeBorn = false;
};
