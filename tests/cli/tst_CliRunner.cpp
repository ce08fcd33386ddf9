// drivelink-cli in-process against simulated inverters on a pseudo-terminal: scan, read,
// write, monitor, the port's errors, and the built program's exit status.
#include "CliTestSupport.h"
#include "cli/CliExit.h"
#include "serial/TComm32.h"
#include "sim/SimKX100.h"
#include "sim/SimKX300.h"
#include "sim/SimulatedPlant.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace CliTestSupport;

namespace {
QList<QJsonObject> jsonLines(const QString &text)
{
    QList<QJsonObject> objects;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        objects.append(QJsonDocument::fromJson(line.toUtf8()).object());
    return objects;
}
} // namespace

class tst_CliRunner : public QObject
{
    Q_OBJECT

private slots:
    void scanPrintsOneLinePerAddress()
    {
        SimulatedPlant plant;
        plant.setTiming(SimulatedBus::Timing::fast());
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());

        const Run run = runCli(device, {"scan", "1-4"});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.out, QStringLiteral("addr  model  state\n"
                                         "   1  KX100  present\n"
                                         "   2  KX200  present\n"
                                         "   3  KX300  present\n"
                                         "   4  none   no inverter\n"));
        QCOMPARE(run.err, QString());
    }

    void scanReportsAFaultInJson()
    {
        SimulatedPlant plant({{QStringLiteral("KX200"), 2}});
        plant.setTiming(SimulatedBus::Timing::fast());
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        plant.bus().setFault(0, SimFault::Refuse);

        const Run run = runCli(device, {"--json", "scan", "2", "4"});
        QCOMPARE(run.code, int(CliExit::Failure));
        const QList<QJsonObject> lines = jsonLines(run.out);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], (QJsonObject{{"address", 2}, {"model", "KX200"}, {"state", "fault"}}));
        QCOMPARE(lines[1],
                 (QJsonObject{{"address", 4}, {"model", QJsonValue()}, {"state", "no inverter"}}));
    }

    void writeThenReadGivesTheValueBack()
    {
        SimulatedPlant plant({{QStringLiteral("KX100"), 1}, {QStringLiteral("KX300"), 3}});
        plant.setTiming(SimulatedBus::Timing::fast());
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());

        Run run = runCli(device, {"write", "1", "259", "2234"});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.out, QStringLiteral("OK\n"));
        QCOMPARE(plant.bus().registerValue(0, 259), std::optional<quint16>(2234));

        QVERIFY(plant.bus().setRegisterValue(0, 260, 0xFFF6));
        run = runCli(device, {"read", "1", "260"});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.out, QStringLiteral("65526\n")); // KX100 words are unsigned

        // A signed KX300 row reads signed; the model given skips detection.
        QVERIFY(plant.bus().setRegisterValue(1, 410, 0xFFF6));
        run = runCli(device, {"--model", "KX300", "--json", "read", "3", "410"});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(jsonLines(run.out).value(0), (QJsonObject{{"command", "read"},
                                                           {"address", 3},
                                                           {"register", 410},
                                                           {"result", "OK"},
                                                           {"value", -10}}));

        // A negative value is written as its 16-bit word.
        run = runCli(device, {"--model", "KX300", "write", "3", "410", "-2"});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(plant.bus().registerValue(1, 410), std::optional<quint16>(0xFFFE));
    }

    void commandCodesAreNotWrittenAsRegisters_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("reg");
        QTest::newRow("KX100 Run") << "KX100" << 1 << "3";
        QTest::newRow("KX100 operation word") << "KX100" << 1 << "1";
        QTest::newRow("KX300 RunReverse") << "KX300" << 3 << "6";
        QTest::newRow("KX200 Run") << "KX200" << 2 << "64005";
    }

    void commandCodesAreNotWrittenAsRegisters()
    {
        QFETCH(QString, model);
        QFETCH(int, address);
        QFETCH(QString, reg);
        SimulatedPlant plant({{model, address}});
        plant.setTiming(SimulatedBus::Timing::fast());
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        const quint64 framesBefore = plant.bus().framesReceived();

        const Run run =
            runCli(device, {"--model", model, "write", QString::number(address), reg, "1"});
        QCOMPARE(run.code, int(CliExit::Usage));
        QVERIFY2(
            run.err.contains(
                QStringLiteral("code of the %1 driver, not a register: not written").arg(model)),
            qPrintable(run.err));
        QVERIFY(!plant.bus().driveState(0).running);
        QCOMPARE(plant.bus().framesReceived(), framesBefore); // nothing went on the line
    }

    void failedExchangesExitWithTheResult_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("no inverter") << QStringList{"read", "5", "259"} << int(SimFault::None)
                                     << "drivelink-cli: no inverter answers at address 5\n";
        QTest::newRow("time out") << QStringList{"--model", "KX100", "read", "1", "259"}
                                  << int(SimFault::Silent)
                                  << "drivelink-cli: address 1 register 259: RS232 time out\n";
        QTest::newRow("inverter error")
            << QStringList{"read", "1", "9999"} << int(SimFault::None)
            << "drivelink-cli: address 1 register 9999: Inverter error\n";
        QTest::newRow("communication error")
            << QStringList{"--model", "KX100", "read", "1", "259"}
            << int(SimFault::CorruptCheck)
            << "drivelink-cli: address 1 register 259: RS232 communication error\n";
    }

    void failedExchangesExitWithTheResult()
    {
        QFETCH(QStringList, args);
        QFETCH(int, fault);
        SimulatedPlant plant({{QStringLiteral("KX100"), 1}});
        plant.setTiming(SimulatedBus::Timing::fast());
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        plant.bus().setFault(0, SimFault(fault));

        const Run run = runCli(device, args);
        QCOMPARE(run.code, int(CliExit::Failure));
        QTEST(run.err, "message");
        QCOMPARE(run.out, QString());
    }

    void monitorPrintsTheReadouts()
    {
        SimulatedPlant plant({{QStringLiteral("KX100"), 1}});
        plant.setTiming(SimulatedBus::Timing::fast());
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        plant.bus().setManualClock(true);
        plant.bus().withInverter(0, [](SimInverter &inverter) {
            inverter.drive().setReference(40.0);
            inverter.drive().setRunning(true);
        });
        plant.bus().advanceClock(60.0);
        const SimulatedBus::DriveState drive = plant.bus().driveState(0);
        QVERIFY(drive.frequency > 39.0);

        const Run run =
            runCli(device, {"--json", "--interval-ms=10", "monitor", "1", "--count", "2"});
        QCOMPARE(run.code, int(CliExit::Ok));
        const QList<QJsonObject> lines = jsonLines(run.out);
        QCOMPARE(lines.size(), 2);
        for (const QJsonObject &line : lines) {
            QCOMPARE(line.value("address").toInt(), 1);
            // KX100 readouts: frequency and current in tenths, voltage in whole units.
            QCOMPARE(line.value("frequency").toDouble(), std::round(drive.frequency * 10) / 10);
            QCOMPARE(line.value("voltage").toDouble(), double(std::lround(drive.voltage)));
            QVERIFY(qAbs(line.value("current").toDouble() - drive.current) <= 0.051);
        }
    }

    void monitorReportsFailedSamplesAndGoesOn()
    {
        SimulatedPlant plant({{QStringLiteral("KX100"), 1}});
        plant.setTiming(SimulatedBus::Timing::fast());
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        plant.bus().setFault(0, SimFault::Silent);

        // Each failed sample is a line; the second in a row ends the watch.
        Run run = runCli(device, {"--model", "KX100", "--json", "--interval-ms=10", "monitor", "1",
                                  "--max-errors", "2"});
        QCOMPARE(run.code, int(CliExit::Failure));
        const QList<QJsonObject> lines = jsonLines(run.out);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.first().value("error").toString(), QStringLiteral("RS232 time out"));
        QCOMPARE(run.err, QStringLiteral("drivelink-cli: address 1: 2 samples in a row failed\n"));

        // A sample that failed makes the exit status 1 even when the watch ran its course.
        run = runCli(device, {"--model", "KX100", "--interval-ms=10", "monitor", "1", "--count", "1"});
        QCOMPARE(run.code, int(CliExit::Failure));
        QCOMPARE(run.out, QStringLiteral("address 1: RS232 time out\n"));
    }

    void addressRegistersNeedForce_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("reg");
        QTest::newRow("KX100") << "KX100" << "362";
        QTest::newRow("KX200") << "KX200" << "0x0802";
        QTest::newRow("KX300") << "KX300" << "1052";
    }

    void addressRegistersNeedForce()
    {
        QFETCH(QString, model);
        QFETCH(QString, reg);
        SimulatedPlant plant({{model, 1}});
        plant.setTiming(SimulatedBus::Timing::fast());
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());

        Run run = runCli(device, {"--model", model, "write", "1", reg, "5"});
        QCOMPARE(run.code, int(CliExit::Usage));
        QVERIFY2(run.err.contains(QStringLiteral("is the bus address of the %1: not written").arg(model)) &&
                     run.err.contains(QStringLiteral("\"Уст. адреса\"")),
                 qPrintable(run.err));
        QCOMPARE(plant.bus().framesReceived(), quint64(0));
        if (model != QLatin1String("KX100"))
            return;
        run = runCli(device, {"--model", model, "--force", "write", "1", reg, "5"});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(plant.bus().address(0), 5);

        // The named way: the broadcast of the address setting, checked on both addresses.
        run = runCli(device, {"set-address", "5", "7"});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.out, QStringLiteral("address 5 KX100: now at address 7\n"));
        QCOMPARE(plant.bus().address(0), 7);
        run = runCli(device, {"set-address", "5", "9"});
        QCOMPARE(run.code, int(CliExit::Failure));
        QCOMPARE(plant.bus().address(0), 7);
    }

    void portErrorsNameTheDevice()
    {
        Run run = runCli(QStringLiteral("/nonexistent/ttyX"), {"scan", "1"});
        QCOMPARE(run.code, int(CliExit::Failure));
        QVERIFY2(run.err.contains(
                     QStringLiteral("cannot open serial port /nonexistent/ttyX: no such device")),
                 qPrintable(run.err));
        QCOMPARE(run.out, QString());

        // A port another program holds is refused: the open is exclusive.
        SimulatedPlant plant({{QStringLiteral("KX100"), 1}});
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        TComm32 holder;
        holder.setCommPort(device);
        QVERIFY(holder.StartComm());
        run = runCli(device, {"scan", "1"});
        QCOMPARE(run.code, int(CliExit::Failure));
        QVERIFY2(run.err.contains(QStringLiteral("cannot open serial port %1: in use").arg(device)),
                 qPrintable(run.err));
    }

    void programExitStatus()
    {
        QProcess cli;
        cli.start(QStringLiteral(DRIVELINK_CLI_EXECUTABLE), {"read", "1"});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), int(CliExit::Usage));
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        // The reason and a pointer to the help, not the whole usage text.
        QCOMPARE(err, QStringLiteral("drivelink-cli: usage: drivelink-cli read ADDR REGISTER\n"
                                     "Try 'drivelink-cli --help'\n"));
        QCOMPARE(cli.readAllStandardOutput(), QByteArray());

        // The built-in simulated plant: KX200 at 2, nothing at 5.
        cli.start(QStringLiteral(DRIVELINK_CLI_EXECUTABLE),
                  {"--simulate", "--json", TimeoutOption, "scan", "2", "5"});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), int(CliExit::Ok));
        const QList<QJsonObject> lines = jsonLines(QString::fromUtf8(cli.readAllStandardOutput()));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0].value("model").toString(), QStringLiteral("KX200"));
        QCOMPARE(lines[1].value("state").toString(), QStringLiteral("no inverter"));

        // A port that does not open: one line with the device, the reason and what to do,
        // and no driver text before it.
        cli.start(QStringLiteral(DRIVELINK_CLI_EXECUTABLE),
                  {"--port", "/nonexistent/ttyUSB9", "scan", "1"});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), int(CliExit::Failure));
        QCOMPARE(QString::fromUtf8(cli.readAllStandardError()),
                 QStringLiteral("drivelink-cli: cannot open serial port /nonexistent/ttyUSB9: no "
                                "such device; check that the adapter is plugged in and name it "
                                "with --port DEV\n"));
    }
};

QTEST_GUILESS_MAIN(tst_CliRunner)
#include "tst_CliRunner.moc"
