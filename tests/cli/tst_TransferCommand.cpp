// upload and download of drivelink-cli against simulated KX200 inverters (the model with the
// shortest parameter set, so that a whole transfer takes seconds).
#include "CliTestSupport.h"
#include "app/IniFile.h"
#include "bus/TDM.h"
#include "cli/CliExit.h"

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
    void uploadNamesTheFailedParameterAndKeepsTheFile()
    {
        auto bus = startBus(one(std::make_unique<RefusingKX200>(2, CD16)));
        QVERIFY(bus);
        QVERIFY(bus->setRegisterValue(0, CD28, 4500));
        QTemporaryDir dir;
        const QString path = dir.filePath("drives.ini");
        writeText(path,
                  QStringLiteral(
                      "[Notes]\nsite=Pump house\n[  ПЧ     #7]\nEnable=true\nTypeName=KX100\n"));

        const Run run = runCli(bus->slavePath(), {"upload", "2", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        // One summary line and no progress lines: standard output is not a terminal.
        QCOMPARE(run.out,
                 QStringLiteral("address 2 KX200: upload: 1 of 49 parameters failed: CD16\n"));

        IniFile ini(path);
        QVERIFY(ini.load());
        const QString section = TDM::SectionName(2);
        QCOMPARE(ini.readString(section, "Enable"), QStringLiteral("true"));
        QCOMPARE(ini.readString(section, "TypeName"), QStringLiteral("KX200"));
        QCOMPARE(ini.readInteger(section, "CD28", -1), 4500);
        QCOMPARE(ini.readInteger(section, "CD48", -1), 2);
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
        // CD16 set, CD28 missing (its factory value 5000 is written), CD48 naming another
        // address.
        writeText(path,
                  QStringLiteral("[  ПЧ     #2]\nEnable=true\nTypeName=KX200\nCD16=777\nCD48=9\n"));

        const Run run = runCli(bus->slavePath(), {"download", "2", path});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.out, QStringLiteral("address 2 KX200: download OK, 43 parameters\n"));
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
        writeText(path,
                  QStringLiteral("[  ПЧ     #2]\nEnable=true\nTypeName=KX200\nCD16=321\nCD48=2\n"));

        const Run run = runCli(bus->slavePath(), {"--json", "download", "2", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        QCOMPARE(
            run.out,
            QStringLiteral(
                "{\"address\":2,\"attempted\":43,\"command\":\"download\",\"failed\":[\"CD28\"],"
                "\"file\":\"%1\",\"model\":\"KX200\",\"ok\":false}\n")
                .arg(path));
        QCOMPARE(bus->registerValue(0, CD16), std::optional<quint16>(321));
    }

    void downloadRefusesWhatDoesNotFit_data()
    {
        QTest::addColumn<QString>("fileText");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("message");
        QTest::newRow("another model")
            << "[  ПЧ     #2]\nEnable=true\nTypeName=KX100\nn003=1\n"
            << QStringList{} << "address 2 holds a KX200, %1 a KX100: nothing written";
        QTest::newRow("model option against the file")
            << "[  ПЧ     #2]\nEnable=true\nTypeName=KX200\n"
            << QStringList{"--model", "KX300"}
            << "%1 holds a KX200 for address 2, not a KX300: nothing written";
        QTest::newRow("no section") << "[  ПЧ     #3]\nEnable=true\nTypeName=KX200\n"
                                    << QStringList{} << "%1 holds no inverter for address 2";
        QTest::newRow("disabled section") << "[  ПЧ     #2]\nEnable=True\nTypeName=KX200\n"
                                          << QStringList{} << "%1 holds no inverter for address 2";
    }

    void downloadRefusesWhatDoesNotFit()
    {
        QFETCH(QString, fileText);
        QFETCH(QStringList, options);
        QFETCH(QString, message);
        auto bus = startBus(one(std::make_unique<SimKX200>(2)));
        QVERIFY(bus);
        QVERIFY(bus->setRegisterValue(0, CD16, 111));
        QTemporaryDir dir;
        const QString path = dir.filePath("drive.ini");
        writeText(path, fileText);

        const Run run = runCli(bus->slavePath(), options + QStringList{"download", "2", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        QCOMPARE(run.err, QStringLiteral("drivelink-cli: ") + message.arg(path) + "\n");
        QCOMPARE(bus->registerValue(0, CD16), std::optional<quint16>(111));
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
