// Backups of several buses behind TCP gateways at once, one drivelink-cli process per bus.
#include "setup/IniFile.h"
#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "cli/CliExit.h"
#include "cli/MultiPortBackup.h"
#include "sim/SimTcpGateway.h"
#include "sim/SimulatedPlant.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

namespace {
constexpr quint32 CD16 = 0x16;
constexpr int Buses = 4;
} // namespace

class tst_MultiPortBackup : public QObject
{
    Q_OBJECT

private slots:
    void fileForPort_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("expected");
        QTest::newRow("gateway") << "/tmp/plant.ini"
                                 << "tcp:10.0.0.5:4001"
                                 << "/tmp/plant-tcp_10.0.0.5_4001.ini";
        QTest::newRow("ipv6 gateway") << "plant.ini"
                                      << "tcp:[fe80::1]:4001"
                                      << "plant-tcp_fe80_1_4001.ini";
        QTest::newRow("device") << "a/b.ini"
                                << "/dev/ttyUSB0"
                                << "a/b-ttyUSB0.ini";
        QTest::newRow("no extension") << "plant"
                                      << "COM2"
                                      << "plant-COM2";
    }
    void fileForPort()
    {
        QFETCH(QString, file);
        QFETCH(QString, port);
        QFETCH(QString, expected);
        QCOMPARE(MultiPortBackup::fileForPort(file, port), expected);
    }

    void filesOfSeveralPortsNeverCollide()
    {
        QCOMPARE(MultiPortBackup::filesForPorts(
                     "plant.ini", {"/dev/serial/a/bus", "/dev/serial/b/bus", "COM2", "COM2"}),
                 QStringList({"plant-serial_a_bus.ini", "plant-serial_b_bus.ini", "plant-COM2.ini",
                              "plant-COM2-2.ini"}));
    }

    // Each port's process gets the shared options, its own port and its own addresses.
    void childArguments()
    {
        CliOptions options;
        QString why;
        QVERIFY2(options.parse({"--timeout-ms", "400", "--port", "tcp:h:1@3,5-6", "--json",
                                "--port", "tcp:h:2", "backup", "p.ini", "7"},
                               &why),
                 qPrintable(why));
        QCOMPARE(options.ports.size(), 2);
        QCOMPARE(MultiPortBackup::childArguments(options, options.ports[0]),
                 QStringList({"--timeout-ms", "400", "--json", "--port", "tcp:h:1", "backup",
                              "p-tcp_h_1.ini", "3", "5", "6"}));
        QCOMPARE(MultiPortBackup::childArguments(options, options.ports[1]),
                 QStringList({"--timeout-ms", "400", "--json", "--port", "tcp:h:2", "backup",
                              "p-tcp_h_2.ini", "7"}));
        QVERIFY(!CliOptions().parse({"--port", "tcp:h:1", "--port", "tcp:h:2", "scan"}, &why));
        QVERIFY(!CliOptions().parse({"--port", "tcp:h:1@1", "scan"}, &why));
        QVERIFY(!CliOptions().parse({"--port", "tcp:h:0", "scan"}, &why));
        QVERIFY(!CliOptions().parse({"--port", "tcp:h:1@40", "backup", "p.ini"}, &why));
    }

    // Four buses behind four gateways, each with a drive set apart by its own value, backed
    // up by one command: four complete files, each with its own bus's drive.
    void fourGatewaysAtOnce()
    {
        std::vector<std::unique_ptr<SimulatedPlant>> plants;
        std::vector<std::unique_ptr<SimTcpGateway>> gateways;
        QStringList arguments{"--timeout-ms", "400"};
        for (int bus = 0; bus < Buses; ++bus) {
            const int address = bus + 1;
            auto plant = std::make_unique<SimulatedPlant>(
                QList<SimulatedPlant::Member>{{QStringLiteral("KX200"), address}});
            plant->setTiming(SimulatedBus::Timing::fast());
            const QString device = plant->start();
            QVERIFY(!device.isEmpty());
            QVERIFY(plant->bus().setRegisterValue(0, CD16, quint16(600 + bus)));
            auto gateway = std::make_unique<SimTcpGateway>();
            QString why;
            QVERIFY2(gateway->start(device, QStringLiteral("127.0.0.1"), 0, &why), qPrintable(why));
            arguments << "--port"
                      << QStringLiteral("tcp:127.0.0.1:%1@%2").arg(gateway->port()).arg(address);
            plants.push_back(std::move(plant));
            gateways.push_back(std::move(gateway));
        }
        QTemporaryDir dir;
        const QString file = dir.filePath("plant.ini");
        QProcess cli;
        cli.start(QStringLiteral(DRIVELINK_CLI_EXECUTABLE), arguments << "backup" << file);
        QVERIFY(cli.waitForFinished(110000));
        const QString out = QString::fromUtf8(cli.readAllStandardOutput());
        QCOMPARE(cli.exitCode(), int(CliExit::Ok));
        QVERIFY2(out.contains(QStringLiteral("backup: 4 of 4 ports saved completely")),
                 qPrintable(out));

        for (int bus = 0; bus < Buses; ++bus) {
            const QString port =
                QStringLiteral("tcp:127.0.0.1:%1").arg(gateways[size_t(bus)]->port());
            QCOMPARE(gateways[size_t(bus)]->clientsServed(), 1);
            IniFile ini(MultiPortBackup::fileForPort(file, port));
            QVERIFY(ini.load());
            QCOMPARE(ini.readString("RS232 Section", "COM Port"), port);
            TDM opened;
            opened.LoadInverters(ini);
            for (int slot = 0; slot < TDM::SlotCount; ++slot)
                QCOMPARE(opened.GetTypeName(slot).isEmpty(), slot != bus + 1);
            QCOMPARE(opened.GetInverter(bus + 1)->param(16), 600 + bus);
            // Enable, TypeName and every one of the KX200's 49 parameters.
            QCOMPARE(ini.keys(TDM::SectionName(bus + 1)).size(), 2 + 49);
        }

        // A drive swapped behind the first gateway gets its values back over the same link.
        const QString port = QStringLiteral("tcp:127.0.0.1:%1").arg(gateways[0]->port());
        QVERIFY(plants[0]->bus().setRegisterValue(0, CD16, 123));
        cli.start(QStringLiteral(DRIVELINK_CLI_EXECUTABLE),
                  {"--timeout-ms", "400", "--port", port, "restore",
                   MultiPortBackup::fileForPort(file, port)});
        QVERIFY(cli.waitForFinished(110000));
        QCOMPARE(cli.exitCode(), int(CliExit::Ok));
        QCOMPARE(plants[0]->bus().registerValue(0, CD16), std::optional<quint16>(600));
        QCOMPARE(gateways[0]->clientsServed(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_MultiPortBackup)
#include "tst_MultiPortBackup.moc"
