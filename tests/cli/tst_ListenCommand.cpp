// drivelink-cli listen against the simulator's foreign master: every exchange it holds shown
// once, decoded, in the traffic log's line format or as JSON, the statistics at the end, and
// not one byte sent.
#include "CliTestSupport.h"
#include "cli/CliExit.h"
#include "sim/ForeignMaster.h"
#include "sim/SimulatedPlant.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace CliTestSupport;

class tst_ListenCommand : public QObject
{
    Q_OBJECT

private slots:
    void hearsTheForeignMaster_data()
    {
        QTest::addColumn<bool>("json");
        QTest::newRow("text") << false;
        QTest::newRow("json") << true;
    }
    void hearsTheForeignMaster()
    {
        QFETCH(bool, json);
        QTemporaryDir dir;
        ForeignMaster::Settings settings;
        settings.count = 14;
        settings.delayMs = 150; // the listener is up by then
        settings.writeEvery = 2;
        settings.broadcastEvery = 7;
        settings.logFile = dir.filePath(QStringLiteral("foreign.log"));
        SimulatedPlant plant;
        ForeignMaster foreign(plant.members(), settings);
        QVERIFY(foreign.open(nullptr));
        plant.bus().setLineMaster(&foreign);
        SimulatedBus::Timing timing;
        timing.baud = 115200;
        timing.turnaroundMs = 0;
        plant.setTiming(timing);
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());

        QStringList arguments{"--baud",  "115200",     "listen", "--model",
                              "1=KX100", "--duration", "0.6",    "--stats"};
        if (json)
            arguments << "--json";
        const Run run = runCli(device, arguments);
        plant.stop();
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(foreign.bytesFromProgram(), quint64(0));
        QVERIFY2(run.err.contains(QStringLiteral("heard 14 exchanges; 0 writes refused")),
                 qPrintable(run.err));

        QFile log(settings.logFile);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QStringList logged =
            QString::fromLatin1(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(logged.size(), 14);
        const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QStringList heard;
        QStringList meanings;
        for (const QString &line : lines) {
            if (json) {
                const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
                if (!object.contains(QStringLiteral("meaning")))
                    continue; // a statistics row
                heard << object.value("request").toString() + QLatin1Char('|') +
                             object.value("reply").toString();
                meanings << object.value("meaning").toString();
                continue;
            }
            static const QRegularExpression form(QStringLiteral(
                R"(^\d\d:\d\d:\d\d\.\d{3}  #(\d+) +(\S+)  tx ([0-9A-F ]+)  rx ([0-9A-F -]+)  (\d)  (\S+ ms|-)  (.+)$)"));
            const QRegularExpressionMatch match = form.match(line);
            if (!match.hasMatch())
                continue; // the statistics
            const QString reply =
                match.captured(4) == QLatin1String("-") ? QString() : match.captured(4);
            heard << match.captured(3) + QLatin1Char('|') + reply;
            meanings << match.captured(7);
        }
        QCOMPARE(heard, logged);
        // Given, inferred from the registers, and the slash protocol's own.
        QVERIFY(meanings.contains(QStringLiteral("запись CD003 = 200.0 В")));
        QVERIFY(meanings.contains(QStringLiteral("запись CD06 = 3.0")));
        QVERIFY(meanings.contains(QStringLiteral("запись C1-01 = 10.0")));
        QVERIFY(meanings.contains(QStringLiteral("запись 0x0002 = 500 (всем)")));
        QVERIFY(run.out.contains(json ? QStringLiteral("\"exchanges\"") : QStringLiteral("addr")));
    }

    void refusesOptionsOfOtherCommands()
    {
        QCOMPARE(runCli(QStringLiteral("/dev/null"), {"scan", "--duration", "2"}).code,
                 int(CliExit::Usage));
        QCOMPARE(runCli(QStringLiteral("/dev/null"), {"listen", "--model", "1=KX900"}).code,
                 int(CliExit::Usage));
    }
};

QTEST_GUILESS_MAIN(tst_ListenCommand)
#include "tst_ListenCommand.moc"
