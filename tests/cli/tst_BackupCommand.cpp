// backup and restore of drivelink-cli against simulated inverters.
#include "CliTestSupport.h"
#include "app/IniFile.h"
#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "cli/CliExit.h"
#include "sim/SimulatedPlant.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace CliTestSupport;

namespace {
constexpr quint32 CD16 = 0x16;
constexpr quint32 CD28 = 0x28;
} // namespace

class tst_BackupCommand : public QObject
{
    Q_OBJECT

private slots:
    void backupThenRestoreGivesTheValuesBack()
    {
        SimulatedPlant plant({{QStringLiteral("KX200"), 2}});
        plant.setTiming(SimulatedBus::Timing::fast());
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        SimulatedBus &bus = plant.bus();
        QVERIFY(bus.setRegisterValue(0, CD16, 650));
        QVERIFY(bus.setRegisterValue(0, CD28, 4800));
        QTemporaryDir dir;
        const QString path = dir.filePath("site.ini");

        Run run = runCli(device, {"backup", path, "1-3"});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.out, QStringLiteral("address 2 KX200: upload OK, 49 parameters\n"
                                         "backup %1: 1 inverters saved\n")
                              .arg(path));

        // The program's setup file: 32 slot sections, the serial settings, no windows.
        IniFile ini(path);
        QVERIFY(ini.load());
        for (int slot = 0; slot < TDM::SlotCount; ++slot)
            QCOMPARE(ini.readString(TDM::SectionName(slot), "Enable"),
                     slot == 2 ? QStringLiteral("true") : QStringLiteral("false"));
        QCOMPARE(ini.readString("RS232 Section", "COM Port"), device);
        QCOMPARE(ini.readInteger("RS232 Section", "Parity", -1), 2);
        QCOMPARE(ini.readInteger("MDI Section", "Count", -1), 0);
        TDM opened;
        opened.LoadInverters(ini);
        QCOMPARE(opened.GetTypeName(2), QStringLiteral("KX200"));
        QCOMPARE(opened.GetInverter(2)->param(16), 650);
        QCOMPARE(opened.GetInverter(2)->param(28), 4800);

        // The drive is swapped for one with other settings; the restore brings them back.
        QVERIFY(bus.setRegisterValue(0, CD16, 123));
        QVERIFY(bus.setRegisterValue(0, CD28, 6000));
        run = runCli(device, {"restore", path});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.out, QStringLiteral("address 2 KX200: download OK, 43 parameters\n"
                                         "restore %1: 1 of 1 inverters written completely\n")
                              .arg(path));
        QCOMPARE(bus.registerValue(0, CD16), std::optional<quint16>(650));
        QCOMPARE(bus.registerValue(0, CD28), std::optional<quint16>(4800));
    }

    void backupOfAnEmptyBusWritesNoFile()
    {
        SimulatedPlant plant({{QStringLiteral("KX200"), 2}});
        plant.setTiming(SimulatedBus::Timing::fast());
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        QTemporaryDir dir;
        const QString path = dir.filePath("site.ini");

        const Run run = runCli(device, {"backup", path, "5"});
        QCOMPARE(run.code, int(CliExit::Failure));
        QCOMPARE(run.err,
                 QStringLiteral("drivelink-cli: no inverter found: %1 not written\n").arg(path));
        QVERIFY(!QFile::exists(path));
    }

    void backupLeavesAFaultyInverterOut()
    {
        SimulatedPlant plant({{QStringLiteral("KX200"), 2}, {QStringLiteral("KX200"), 4}});
        plant.setTiming(SimulatedBus::Timing::fast());
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        plant.bus().setFault(1, SimFault::Refuse);
        QTemporaryDir dir;
        const QString path = dir.filePath("site.ini");

        const Run run = runCli(device, {"--json", "backup", path, "2", "4"});
        QCOMPARE(run.code, int(CliExit::Failure));
        QCOMPARE(
            run.err,
            QStringLiteral("drivelink-cli: address 4 answers wrongly (KX200 probe): not saved\n"));
        QVERIFY(run.out.endsWith(
            QStringLiteral("{\"command\":\"backup\",\"file\":\"%1\",\"ok\":false,\"saved\":[2]}\n")
                .arg(path)));
        IniFile ini(path);
        QVERIFY(ini.load());
        QCOMPARE(ini.readString(TDM::SectionName(2), "Enable"), QStringLiteral("true"));
        QCOMPARE(ini.readString(TDM::SectionName(4), "Enable"), QStringLiteral("false"));
    }

    void restoreReportsEveryInverter()
    {
        SimulatedPlant plant({{QStringLiteral("KX200"), 2}});
        plant.setTiming(SimulatedBus::Timing::fast());
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        QTemporaryDir dir;
        const QString path = dir.filePath("site.ini");
        // Slot 6 names an inverter that is not on the bus: it fails, slot 2 is still written.
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[  ПЧ     #2]\nEnable=true\nTypeName=KX200\nCD16=432\nCD48=2\n"
                                  "[  ПЧ     #6]\nEnable=true\nTypeName=KX200\n")
                       .toUtf8());
        file.close();

        const Run run = runCli(device, {"restore", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        QCOMPARE(
            run.err,
            QStringLiteral("drivelink-cli: no inverter answers at address 6: nothing written\n"));
        QVERIFY(run.out.endsWith(
            QStringLiteral("restore %1: 1 of 2 inverters written completely\n").arg(path)));
        QCOMPARE(plant.bus().registerValue(0, CD16), std::optional<quint16>(432));
    }
};

QTEST_GUILESS_MAIN(tst_BackupCommand)
#include "tst_BackupCommand.moc"
