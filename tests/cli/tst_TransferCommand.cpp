// upload and download of drivelink-cli against simulated KX200 inverters (the model with the
// shortest parameter set, so that a whole transfer takes seconds).
#include "CliTestSupport.h"
#include "setup/IniFile.h"
#include "bus/TDM.h"
#include "cli/CliExit.h"
#include "cli/TransferCommand.h"
#include "sim/SimKX100.h"
#include "sim/SimKX300.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace CliTestSupport;

namespace {
constexpr quint32 CD16 = 0x16;
constexpr quint32 CD28 = 0x28;
constexpr quint32 CD48 = 0x0802; // bus address

std::vector<std::unique_ptr<SimInverter>> one(std::unique_ptr<SimInverter> inverter)
{
    std::vector<std::unique_ptr<SimInverter>> list;
    list.push_back(std::move(inverter));
    return list;
}

void writeText(const QString &path, const QString &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
}

} // namespace

class tst_TransferCommand : public QObject
{
    Q_OBJECT

private slots:
    void uploadNamesTheFailedParameterAndLeavesItOut()
    {
        auto bus = startBus(one(std::make_unique<RefusingKX200>(2, CD16)));
        QVERIFY(bus);
        QVERIFY(bus->setRegisterValue(0, CD28, 4500));
        QTemporaryDir dir;
        const QString path = dir.filePath("drives.ini");
        // The file already holds the drive's tuned values; CD16 cannot be read this time.
        writeText(path,
                  QStringLiteral(
                      "[Notes]\nsite=Pump house\n[  ПЧ     #7]\nEnable=true\nTypeName=KX100\n") +
                      factorySection("KX200", 2, {{"CD16", "1234"}, {"CD28", "4000"}}));

        const Run run = runCli(bus->slavePath(), {"upload", "2", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        // One summary line and no progress lines: standard output is not a terminal.
        QCOMPARE(run.out,
                 QStringLiteral("address 2 KX200: upload: 1 of 49 parameters failed: CD16\n"));

        IniFile ini(path);
        QVERIFY(ini.load());
        const QString section = TDM::SectionName(2);
        QCOMPARE(ini.keys(section).size(), 2 + 48 + 1);
        QCOMPARE(ini.readString(section, "Enable"), QStringLiteral("true"));
        QCOMPARE(ini.readString(section, "TypeName"), QStringLiteral("KX200"));
        QCOMPARE(ini.readInteger(section, "CD28", -1), 4500);
        QCOMPARE(ini.readInteger(section, "CD48", -1), 2);
        // The value that could not be read is neither the file's old one nor a factory value.
        QVERIFY(!ini.valueExists(section, "CD16"));
        QCOMPARE(ini.readString(section, TransferCommand::IncompleteKey), QStringLiteral("CD16"));
        // Sections of other inverters and anything else in the file stay.
        QCOMPARE(ini.readString("Notes", "site"), QStringLiteral("Pump house"));
        QCOMPARE(ini.readString(TDM::SectionName(7), "TypeName"), QStringLiteral("KX100"));
    }

    void uploadOfASilentInverterChangesNoFile()
    {
        auto bus = startBus(one(std::make_unique<SimKX200>(2)));
        QVERIFY(bus);
        bus->setFault(0, SimFault::Silent);
        QTemporaryDir dir;
        const QString path = dir.filePath("drives.ini");
        const QString before =
            QStringLiteral("[  ПЧ     #2]\nEnable=true\nTypeName=KX200\nCD16=4\n");
        writeText(path, before);

        // The model given skips detection; every read times out (after 100 ms here).
        const Run run =
            runCli(bus->slavePath(), {"--timeout-ms=100", "--model", "KX200", "upload", "2", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        QVERIFY(run.out.startsWith(
            QStringLiteral("address 2 KX200: upload: 49 of 49 parameters failed: CD01, CD02,")));
        QCOMPARE(
            run.err,
            QStringLiteral("drivelink-cli: nothing could be read from address 2: %1 not changed\n")
                .arg(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), before);
    }

    void downloadWritesTheWholeSectionAndKeepsTheBusAddress()
    {
        auto bus = startBus(one(std::make_unique<SimKX200>(2)));
        QVERIFY(bus);
        QVERIFY(bus->setRegisterValue(0, CD28, 4500));
        QTemporaryDir dir;
        const QString path = dir.filePath("drive2.ini");
        // CD16 set, CD28 at its factory value, CD48 naming another address.
        writeText(path, factorySection("KX200", 2, {{"CD16", "777"}, {"CD48", "9"}}));

        const Run run = runCli(bus->slavePath(), {"download", "2", path});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.out, QStringLiteral("address 2 KX200: download OK, 43 parameters; not "
                                         "written: CD01, CD02, CD03, CD04, CD23, CD45*\n"));
        QCOMPARE(run.err,
                 QStringLiteral("drivelink-cli: warning: %1 gives the inverter at address 2 "
                                "the bus address 9; it keeps 2\n")
                     .arg(path));
        QCOMPARE(bus->registerValue(0, CD16), std::optional<quint16>(777));
        QCOMPARE(bus->registerValue(0, CD28), std::optional<quint16>(5000));
        QCOMPARE(bus->registerValue(0, CD48), std::optional<quint16>(2));
        QCOMPARE(bus->address(0), 2);
    }

    void downloadNamesTheFailedParameter()
    {
        auto bus = startBus(one(std::make_unique<RefusingKX200>(2, CD28)));
        QVERIFY(bus);
        QTemporaryDir dir;
        const QString path = dir.filePath("drive2.ini");
        writeText(path, factorySection("KX200", 2, {{"CD16", "321"}, {"CD48", "2"}}));

        const Run run = runCli(bus->slavePath(), {"--json", "download", "2", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        QCOMPARE(
            run.out,
            QStringLiteral(
                "{\"address\":2,\"attempted\":43,\"command\":\"download\",\"failed\":[\"CD28\"],"
                "\"file\":\"%1\",\"model\":\"KX200\",\"ok\":false,\"skipped\":[\"CD01\",\"CD02\","
                "\"CD03\",\"CD04\",\"CD23\",\"CD45*\"]}\n")
                .arg(path));
        QCOMPARE(bus->registerValue(0, CD16), std::optional<quint16>(321));
    }

    void downloadRefusesWhatDoesNotFit_data()
    {
        QTest::addColumn<QString>("fileText");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("code");
        QTest::newRow("another model")
            << factorySection("KX100", 2) << QStringList{}
            << "address 2 holds a KX200, not a KX100, %1 names a KX100: nothing written"
            << int(CliExit::Usage);
        QTest::newRow("another model named by --model")
            << factorySection("KX100", 2) << QStringList{"--model", "KX100"}
            << "address 2 holds a KX200, not a KX100, %1 names a KX100: nothing written"
            << int(CliExit::Usage);
        QTest::newRow("model option against the file")
            << "[  ПЧ     #2]\nEnable=true\nTypeName=KX200\n"
            << QStringList{"--model", "KX300"}
            << "%1 holds a KX200 for address 2, not a KX300: nothing written" << int(CliExit::Usage);
        QTest::newRow("no section") << "[  ПЧ     #3]\nEnable=true\nTypeName=KX200\n"
                                    << QStringList{} << "%1 holds no inverter for address 2"
                                    << int(CliExit::Failure);
        QTest::newRow("disabled section") << "[  ПЧ     #2]\nEnable=True\nTypeName=KX200\n"
                                          << QStringList{} << "%1 holds no inverter for address 2"
                                          << int(CliExit::Failure);
        QTest::newRow("CD44 beyond its field")
            << factorySection("KX200", 2, {{"CD44", "461"}}) << QStringList{}
            << "address 2: %1 holds values that cannot be sent: CD44: 461 is outside 0..460; "
               "nothing written (--force writes the others)"
            << int(CliExit::Failure);
    }

    void downloadRefusesWhatDoesNotFit()
    {
        QFETCH(QString, fileText);
        QFETCH(QStringList, options);
        QFETCH(QString, message);
        QFETCH(int, code);
        auto bus = startBus(one(std::make_unique<SimKX200>(2)));
        QVERIFY(bus);
        QVERIFY(bus->setRegisterValue(0, CD16, 111));
        QTemporaryDir dir;
        const QString path = dir.filePath("drive.ini");
        writeText(path, fileText);

        const Run run = runCli(bus->slavePath(), options + QStringList{"download", "2", path});
        QCOMPARE(run.code, code);
        QCOMPARE(run.err, QStringLiteral("drivelink-cli: ") + message.arg(path) + "\n");
        QCOMPARE(bus->registerValue(0, CD16), std::optional<quint16>(111));
    }

    void checkRefusesWhatCannotBeSent_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("problem"); // empty: accepted
        QTest::newRow("list beyond its items")
            << "KX200" << "CD05" << "70000"
            << "CD05: 70000 does not fit its unsigned 16-bit register (0..65535)";
        QTest::newRow("no item") << "KX200" << "CD05" << "2" << "CD05: 2 is no item of its list (0..1)";
        QTest::newRow("below the minimum") << "KX200" << "CD06" << "0" << "CD06: 0 is outside 1..36000";
        QTest::newRow("negative in an unsigned field")
            << "KX200" << "CD06" << "-5" << "CD06: -5 does not fit its unsigned 16-bit register (0..65535)";
        QTest::newRow("not an integer") << "KX200" << "CD16" << "12.5" << "CD16: \"12.5\" is not an integer";
        QTest::newRow("missing") << "KX200" << "CD16" << "" << "CD16: missing";
        QTest::newRow("in bounds, hexadecimal") << "KX200" << "CD16" << "0x100" << "";
        QTest::newRow("above 16 bits") << "KX100" << "n025" << "99999"
                                        << "CD025: 99999 does not fit its unsigned 16-bit register (0..65535)";
        // A factory value below its field's minimum is what the drive held: it goes back.
        QTest::newRow("factory value outside the field") << "KX100" << "n053" << "1" << "";
        QTest::newRow("other value outside the field") << "KX100" << "n053" << "60"
                                                       << "CD053: 60 is outside 5..50";
        QTest::newRow("the bus address is left to the download")
            << "KX100" << "n106" << "junk" << "";
    }

    void checkRefusesWhatCannotBeSent()
    {
        QFETCH(QString, model);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, problem);
        IniFile ini;
        ini.parse(factorySection(model, 4, {{key, value}}));
        const TransferCommand::SectionValues checked = TransferCommand::checkSection(ini, 4, model);
        QCOMPARE(checked.problems, problem.isEmpty() ? QStringList() : QStringList{problem});
        QCOMPARE(checked.refused.contains(key) || checked.forcible.contains(key), !problem.isEmpty());
        if (problem.isEmpty() && !key.startsWith("n106"))
            QCOMPARE(checked.values.value(key), ini.readInteger(TDM::SectionName(4), key, -1));
    }

    void sectionsThatLackValues()
    {
        // A section with nothing but its model sends nothing: every value is missing.
        IniFile bare;
        bare.parse(QStringLiteral("[%1]\nEnable=true\nTypeName=KX300\n").arg(TDM::SectionName(4)));
        const TransferCommand::SectionValues none = TransferCommand::checkSection(bare, 4, "KX300");
        QVERIFY(none.values.isEmpty());
        QCOMPARE(none.problems.size(), 248 - 1); // every setting but the bus address

        // Of the keys an incomplete section lacks, only those a download writes count.
        IniFile partial;
        partial.parse(factorySection("KX200", 4, {{"CD01", ""}, {"CD16", ""}}) +
                      "Incomplete=CD01,cd16\n");
        const TransferCommand::SectionValues lacking = TransferCommand::checkSection(partial, 4, "KX200");
        QCOMPARE(lacking.unread, QStringList{"CD16"});
        QVERIFY(lacking.problems.isEmpty());
    }

    void downloadSendsNothingUnlessForced()
    {
        auto bus = startBus(one(std::make_unique<SimKX200>(2)));
        QVERIFY(bus);
        QVERIFY(bus->setRegisterValue(0, CD16, 111));
        QVERIFY(bus->setRegisterValue(0, CD28, 4500));
        QTemporaryDir dir;
        const QString path = dir.filePath("drive2.ini");
        writeText(path, factorySection("KX200", 2, {{"CD16", "777"}, {"CD28", "-5"}, {"CD48", "2"}}));

        Run run = runCli(bus->slavePath(), {"download", "2", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        QCOMPARE(run.err, QStringLiteral("drivelink-cli: address 2: %1 holds values that cannot be "
                                         "sent: CD28: -5 does not fit its unsigned 16-bit "
                                         "register (0..65535); nothing written (--force writes "
                                         "the others)\n")
                              .arg(path));
        QCOMPARE(bus->framesReceived(), quint64(0));

        run = runCli(bus->slavePath(), {"--force", "download", "2", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        QVERIFY2(run.err.startsWith(QStringLiteral("drivelink-cli: address 2: forced, not written: "
                                                   "CD28: -5 does not fit its unsigned")),
                 qPrintable(run.err));
        QVERIFY2(run.out.contains(QStringLiteral("download OK, 42 parameters")), qPrintable(run.out));
        QCOMPARE(bus->registerValue(0, CD16), std::optional<quint16>(777));
        QCOMPARE(bus->registerValue(0, CD28), std::optional<quint16>(4500));
    }

    void restoreWritesWhatWasRead()
    {
        // A backup of a drive holding a value its field does not offer goes back as read; one
        // no register carries does not, and neither does a section of another model.
        auto bus = startBus(one(std::make_unique<SimKX200>(2)));
        QVERIFY(bus);
        QTemporaryDir dir;
        const QString path = dir.filePath("plant.ini");
        writeText(path, factorySection("KX200", 2, {{"CD44", "461"}, {"CD16", "9"}}));
        Run run = runCli(bus->slavePath(), {"restore", path});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(bus->registerValue(0, 0x44), std::optional<quint16>(461));

        writeText(path, factorySection("KX200", 2, {{"CD44", "65536"}, {"CD16", "8"}}));
        run = runCli(bus->slavePath(), {"restore", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        QVERIFY2(run.err.contains("CD44: 65536 does not fit"), qPrintable(run.err));
        QCOMPARE(bus->registerValue(0, CD16), std::optional<quint16>(9));

        writeText(path, factorySection("KX300", 2));
        run = runCli(bus->slavePath(), {"restore", path});
        QCOMPARE(run.code, int(CliExit::Usage));
    }

    void singleRegistersFollowTheDriveAndTheRow()
    {
        std::vector<std::unique_ptr<SimInverter>> plant;
        plant.push_back(std::make_unique<SimKX100>(1));
        plant.push_back(std::make_unique<SimKX300>(3));
        auto bus = startBus(std::move(plant));
        QVERIFY(bus);
        // --model does not stand in for the probe before a write.
        Run run = runCli(bus->slavePath(), {"--force", "--model", "KX300", "write", "1", "362", "7"});
        QCOMPARE(run.code, int(CliExit::Usage));
        QCOMPARE(run.err,
                 QStringLiteral("drivelink-cli: address 1 holds a KX100, not a KX300: not written\n"));
        QCOMPARE(bus->address(0), 1);
        // An unsigned row reads unsigned; a signed row refuses a word beyond its sign.
        QVERIFY(bus->setRegisterValue(1, 1282, 40000));
        run = runCli(bus->slavePath(), {"read", "3", "1282"});
        QCOMPARE(run.out, QStringLiteral("40000\n"));
        run = runCli(bus->slavePath(), {"write", "3", "410", "65535"});
        QCOMPARE(run.code, int(CliExit::Usage));
        QVERIFY2(run.err.contains("does not fit its signed 16-bit register"), qPrintable(run.err));
    }

    void fileCheckedBeforeTheBus_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing folder") << "/nonexistent/dir/plant.ini"
                                        << "the folder /nonexistent/dir does not exist";
        QTest::newRow("read-only place") << "/proc/version" << "";
        QTest::newRow("a directory") << "/tmp" << "it is a directory";
    }

    void fileCheckedBeforeTheBus()
    {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        auto bus = startBus(one(std::make_unique<SimKX200>(2)));
        QVERIFY(bus);
        for (const QStringList &args : {QStringList{"upload", "2", file}, QStringList{"backup", file, "2"}}) {
            const Run run = runCli(bus->slavePath(), args);
            QCOMPARE(run.code, int(CliExit::Failure));
            QVERIFY2(run.err.startsWith(QStringLiteral("drivelink-cli: cannot write %1: %2").arg(file, reason)),
                     qPrintable(run.err));
        }
        QCOMPARE(bus->framesReceived(), quint64(0));
    }

    void downloadOfAMissingFile()
    {
        auto bus = startBus(one(std::make_unique<SimKX200>(2)));
        QVERIFY(bus);
        const Run run = runCli(bus->slavePath(), {"download", "2", "/nonexistent/drive.ini"});
        QCOMPARE(run.code, int(CliExit::Failure));
        QCOMPARE(run.err, QStringLiteral(
                              "drivelink-cli: cannot read /nonexistent/drive.ini: no such file\n"));
        QCOMPARE(bus->framesReceived(), quint64(0));
    }
};

QTEST_GUILESS_MAIN(tst_TransferCommand)
#include "tst_TransferCommand.moc"
