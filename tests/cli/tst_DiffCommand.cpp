// diff of drivelink-cli: a simulated KX200 against its backup, and two setup files.
#include "CliTestSupport.h"
#include "setup/IniFile.h"
#include "bus/TDM.h"
#include "cli/CliExit.h"
#include "cli/CliFileName.h"
#include "params/EditorPlans.h"
#include "params/ParameterDiff.h"

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

QStringList lines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
} // namespace

class tst_DiffCommand : public QObject
{
    Q_OBJECT

private slots:
    void driveAgainstItsBackup()
    {
        auto bus = startBus(one(std::make_unique<SimKX200>(2)));
        QVERIFY(bus);
        QTemporaryDir dir;
        const QString path = dir.filePath("backup.ini");
        QCOMPARE(runCli(bus->slavePath(), {"--model", "KX200", "upload", "2", path}).code,
                 int(CliExit::Ok));

        Run run = runCli(bus->slavePath(), {"--model", "KX200", "diff", "2", path});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.out,
                 QStringLiteral("address 2 KX200: equal to %1, 45 parameters\n").arg(path));

        // Changed on the drive since the backup: exactly that parameter is listed.
        const quint16 before = *bus->registerValue(0, CD16);
        QVERIFY(bus->setRegisterValue(0, CD16, quint16(before + 3)));
        run = runCli(bus->slavePath(), {"--model", "KX200", "diff", "2", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        const QStringList out = lines(run.out);
        QCOMPARE(out.size(), 2);
        QVERIFY2(out[0].startsWith(QStringLiteral("address 2 CD16 ")), qPrintable(out[0]));
        const ParameterRow row = EditorPlans::kx200().rows[15];
        QCOMPARE(row.code, QStringLiteral("CD16"));
        QVERIFY2(out[0].endsWith(QStringLiteral(": drive %1, file %2")
                                     .arg(ParameterDiff::displayText(row, before + 3),
                                          ParameterDiff::displayText(row, before))),
                 qPrintable(out[0]));
        QCOMPARE(out[1], QStringLiteral("address 2 KX200: 1 of 45 parameters differ, 0 not read"));

        // A drive that refuses a read: the parameter is listed as failed, never as equal.
        bus.reset();
        bus = startBus(one(std::make_unique<RefusingKX200>(2, CD28)));
        QVERIFY(bus);
        run = runCli(bus->slavePath(), {"--json", "--model", "KX200", "diff", "2", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        const QStringList json = lines(run.out);
        QCOMPARE(json.size(), 2);
        QVERIFY(json[0].contains(QStringLiteral("\"code\":\"CD28\"")));
        QVERIFY(json[0].contains(QStringLiteral("\"drive\":\"read failed\"")));
        QVERIFY(json[0].contains(QStringLiteral("\"status\":\"failed\"")));
        QVERIFY(json[1].contains(QStringLiteral("\"failed\":1")));
        QVERIFY(json[1].contains(QStringLiteral("\"equal\":false")));

        // Two files, slot by slot, without a bus.
        const QString copy = dir.filePath("copy.ini");
        QVERIFY(QFile::copy(path, copy));
        QCOMPARE(runCli(QStringLiteral("/nonexistent"), {"diff", path, copy}).code,
                 int(CliExit::Ok));
        IniFile ini(copy);
        QVERIFY(ini.load());
        ini.writeInteger(TDM::SectionName(2), QStringLiteral("CD16"), before + 3);
        QVERIFY(ini.save());
        run = runCli(QStringLiteral("/nonexistent"), {"diff", path, copy});
        QCOMPARE(run.code, int(CliExit::Failure));
        QVERIFY(lines(run.out).first().startsWith(QStringLiteral("slot 2 CD16 ")));
    }

    void fileWithoutTheAddressIsAFailure()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("empty.ini");
        IniFile ini(path);
        ini.writeString(QStringLiteral("RS232 Section"), QStringLiteral("COM Port"), "COM1");
        QVERIFY(ini.save());
        auto bus = startBus(one(std::make_unique<SimKX200>(2)));
        QVERIFY(bus);
        const Run run = runCli(bus->slavePath(), {"--model", "KX200", "diff", "2", path});
        QCOMPARE(run.code, int(CliExit::Failure));
        QVERIFY(run.err.contains(QStringLiteral("holds no inverter for address 2")));
    }

    void namesThatAreNotUtf8()
    {
        // The names reach diff as the bytes the shell passed, as they reach the other commands.
        QTemporaryDir dir;
        const QByteArray native = QFile::encodeName(dir.path()) + "/plant-\xe0\xff.ini";
        IniFile ini;
        ini.setNativeFileName(native);
        ini.parse(factorySection("KX200", 2));
        QVERIFY(ini.save());
        const QString name = CliFileName::fromArgument(native);
        const Run run = runCli(QStringLiteral("/nonexistent"), {"diff", name, name});
        QVERIFY2(run.code == int(CliExit::Ok), qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(tst_DiffCommand)
#include "tst_DiffCommand.moc"
