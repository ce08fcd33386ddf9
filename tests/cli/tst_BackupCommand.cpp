// backup and restore of drivelink-cli against simulated inverters.
#include "CliTestSupport.h"
#include "setup/IniFile.h"
#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "cli/CliExit.h"
#include "cli/TransferCommand.h"
#include "params/EditorPlans.h"
#include "sim/SimulatedPlant.h"

#include <QRandomGenerator>

#include <QTemporaryDir>
#include <QtTest>

using namespace CliTestSupport;

namespace {
constexpr quint32 CD16 = 0x16;
constexpr quint32 CD28 = 0x28;

std::vector<std::unique_ptr<SimInverter>> one(std::unique_ptr<SimInverter> inverter)
{
    std::vector<std::unique_ptr<SimInverter>> list;
    list.push_back(std::move(inverter));
    return list;
}
} // namespace

class tst_BackupCommand : public QObject
{
    Q_OBJECT

private slots:
    void backupRestoreBackupRoundTrip()
    {
        // A tuned drive is saved, restored into a factory drive, and saved again: the two
        // files hold the same values, key by key.
        SimulatedPlant tuned({{QStringLiteral("KX200"), 2}});
        tuned.setTiming(SimulatedBus::Timing::fast());
        const QString device = tuned.start();
        QVERIFY(!device.isEmpty());
        QVERIFY(tuned.bus().setRegisterValue(0, CD16, 650));
        QVERIFY(tuned.bus().setRegisterValue(0, CD28, 4800));
        QVERIFY(tuned.bus().setRegisterValue(0, 0x05, 1)); // CD05, a list
        QTemporaryDir dir;
        const QString path = dir.filePath("site.ini");

        Run run = runCli(device, {"backup", path, "1-3"});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.out, QStringLiteral("address 2 KX200: upload OK, 49 parameters\n"
                                         "backup %1: 1 inverters saved\n")
                              .arg(path));

        // The program's setup file: 32 slot sections, the serial settings, no windows.
        IniFile first(path);
        QVERIFY(first.load());
        for (int slot = 0; slot < TDM::SlotCount; ++slot)
            QCOMPARE(first.readString(TDM::SectionName(slot), "Enable"),
                     slot == 2 ? QStringLiteral("true") : QStringLiteral("false"));
        QCOMPARE(first.readString("RS232 Section", "COM Port"), device);
        QCOMPARE(first.readInteger("MDI Section", "Count", -1), 0);
        TDM opened;
        opened.LoadInverters(first);
        QCOMPARE(opened.GetInverter(2)->param(16), 650);

        SimulatedPlant factory({{QStringLiteral("KX200"), 2}});
        factory.setTiming(SimulatedBus::Timing::fast());
        const QString factoryDevice = factory.start();
        QVERIFY(!factoryDevice.isEmpty());
        run = runCli(factoryDevice, {"restore", path});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.out, QStringLiteral("address 2 KX200: download OK, 45 parameters; not written: "
                                         "CD01, CD02, CD03, CD04\n"
                                         "restore %1: 1 of 1 inverters written completely\n")
                              .arg(path));
        QCOMPARE(factory.bus().registerValue(0, CD16), std::optional<quint16>(650));

        const QString again = dir.filePath("again.ini");
        QCOMPARE(runCli(factoryDevice, {"backup", again, "2"}).code, int(CliExit::Ok));
        IniFile second(again);
        QVERIFY(second.load());
        const QString section = TDM::SectionName(2);
        QCOMPARE(second.keys(section), first.keys(section));
        for (const QString &key : first.keys(section))
            QVERIFY2(second.readString(section, key) == first.readString(section, key),
                     qPrintable(key));
    }

    void roundTripOfEveryModel_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("outside"); // a setting held outside its field
        QTest::newRow("KX100") << "KX100" << "n003";
        QTest::newRow("KX200") << "KX200" << "CD44";
        QTest::newRow("KX300") << "KX300" << "O1-03";
    }

    void roundTripOfEveryModel()
    {
        // Every setting gets a random value of its field (fixed seed), one a value beyond it;
        // backup, restore into a factory drive and backup again give the same section, and
        // diff finds the files equal.
        QFETCH(QString, model);
        QFETCH(QString, outside);
        SimulatedPlant tuned({{model, 2}});
        tuned.setTiming(SimulatedBus::Timing::fast());
        const QString device = tuned.start();
        QVERIFY(!device.isEmpty());
        QRandomGenerator random(23);
        for (const ParameterTransfer::Plan &plan : EditorPlans::forModel(model)) {
            for (int entry = 0; entry < plan.count() && !plan.uploadOnly; ++entry) {
                const ParameterRow &row = plan.rows[entry];
                if (!EditorPlans::isSetting(plan, entry) ||
                    row.registerNumber == TDM::AddressRegisterOf(model))
                    continue;
                int64_t value = row.isList() ? random.bounded(int(row.items.size()))
                                : row.bounded ? row.rawMinimum + random.bounded(
                                                    int(row.rawMaximum - row.rawMinimum + 1))
                                              : random.bounded(1000);
                if (row.key == outside)
                    value = row.rawMaximum + 1;
                QVERIFY2(tuned.bus().setRegisterValue(0, row.registerNumber, uint16_t(value)),
                         qPrintable(row.key));
            }
        }
        QTemporaryDir dir;
        const QString first = dir.filePath("first.ini");
        const QString again = dir.filePath("again.ini");
        QCOMPARE(runCli(device, {"backup", first, "2"}).code, int(CliExit::Ok));

        SimulatedPlant factory({{model, 2}});
        factory.setTiming(SimulatedBus::Timing::fast());
        const QString factoryDevice = factory.start();
        Run run = runCli(factoryDevice, {"restore", first});
        QVERIFY2(run.code == int(CliExit::Ok), qPrintable(run.err));
        QCOMPARE(runCli(factoryDevice, {"backup", again, "2"}).code, int(CliExit::Ok));
        IniFile left(first);
        IniFile right(again);
        QVERIFY(left.load() && right.load());
        const QString section = TDM::SectionName(2);
        QCOMPARE(right.keys(section), left.keys(section));
        for (const QString &key : left.keys(section)) {
            if (model != "KX300" || !key.startsWith('U')) // KX300 monitor values live
                QVERIFY2(right.readString(section, key) == left.readString(section, key),
                         qPrintable(key));
        }
        QCOMPARE(runCli(factoryDevice, {"diff", first, again}).code, int(CliExit::Ok));
    }

    void silentDriveKeepsThePreviousFile()
    {
        auto bus = startBus(one(std::make_unique<SimKX200>(2)));
        QVERIFY(bus);
        QTemporaryDir dir;
        const QString path = dir.filePath("plant.ini");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write((factorySection("KX200", 2) + factorySection("KX100", 5)).toUtf8());
        file.close();
        const Run run = runCli(bus->slavePath(), {"backup", path, "1-5"});
        QCOMPARE(run.code, int(CliExit::Failure));
        QCOMPARE(run.err, QStringLiteral("drivelink-cli: address 5 (KX100) did not answer: not in "
                                         "the new %1; the previous file is kept as %1.previous\n")
                              .arg(path));
        IniFile kept(path + ".previous");
        QVERIFY(kept.load());
        QCOMPARE(kept.readString(TDM::SectionName(5), "TypeName"), QStringLiteral("KX100"));
    }

    void incompleteBackupIsKeptAndRestoredOnlyByForce()
    {
        auto bus = startBus(one(std::make_unique<RefusingKX200>(2, CD16)));
        QVERIFY(bus);
        QVERIFY(bus->setRegisterValue(0, CD28, 4800));
        QTemporaryDir dir;
        const QString path = dir.filePath("site.ini");

        Run run = runCli(bus->slavePath(), {"backup", path, "2"});
        QCOMPARE(run.code, int(CliExit::Failure));
        QVERIFY(run.out.endsWith(QStringLiteral("1 inverters saved, with failures\n")));
        // What was read is kept; the value that was not is left out and named last.
        IniFile ini(path);
        QVERIFY(ini.load());
        const QString section = TDM::SectionName(2);
        QVERIFY(!ini.valueExists(section, "CD16"));
        QCOMPARE(ini.keys(section).last(), TransferCommand::IncompleteKey);
        QCOMPARE(ini.readString(section, TransferCommand::IncompleteKey), QStringLiteral("CD16"));
        QCOMPARE(ini.readInteger(section, "CD28", -1), 4800);
        TDM opened; // the program opens it as any setup file
        opened.LoadInverters(ini);
        QCOMPARE(opened.GetTypeName(2), QStringLiteral("KX200"));

        QVERIFY(bus->setRegisterValue(0, CD28, 5000));
        const quint64 frames = bus->framesReceived();
        run = runCli(bus->slavePath(), {"restore", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        QVERIFY2(run.err.startsWith(QStringLiteral("drivelink-cli: address 2: %1 marks the section "
                                                   "incomplete, not read: CD16; nothing written")
                                        .arg(path)),
                 qPrintable(run.err));
        QVERIFY(run.out.endsWith(QStringLiteral("0 of 1 inverters written completely\n")));
        QCOMPARE(bus->framesReceived(), frames);

        // Forced, it writes what was read and nothing for CD16.
        run = runCli(bus->slavePath(), {"--json", "--force", "restore", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        QVERIFY2(run.out.contains(QStringLiteral("\"attempted\":44,")) &&
                     run.out.contains(QStringLiteral("\"CD04\",\"CD16\"]")),
                 qPrintable(run.out));
        QCOMPARE(bus->registerValue(0, CD28), std::optional<quint16>(4800));
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
        file.write((factorySection("KX200", 2, {{"CD16", "432"}, {"CD48", "2"}}) +
                    factorySection("KX200", 6, {{"CD48", "6"}}))
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
