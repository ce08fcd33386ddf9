// drivelink-cli's --trace, --trace-file and --stats on a scan of the simulated bus.
#include "CliTestSupport.h"
#include "cli/CliExit.h"
#include "sim/SimulatedPlant.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace CliTestSupport;

namespace {
// The probes of a scan of address 1 holding a KX100: KX200 first (silence), then KX100.
const QRegularExpression Kx200Probe(QStringLiteral(
    R"(^\d\d:\d\d:\d\d\.\d{3}  #1   KX200  tx 2F 01 52 08 02 8C  rx -  1  \d+ ms  нет ответа \(чтение CD48\)$)"));
const QRegularExpression Kx100Probe(QStringLiteral(
    R"(^\d\d:\d\d:\d\d\.\d{3}  #1   KX100  tx 01 03 01 6A 00 01 A5 EA  rx 01 03 02 00 01 79 84  0  \d+ ms  чтение CD106 = 1$)"));
} // namespace

class tst_TrafficTrace : public QObject
{
    Q_OBJECT

private slots:
    void traceAndStatisticsOfAScan()
    {
        SimulatedPlant plant({{QStringLiteral("KX100"), 1}});
        plant.setTiming(SimulatedBus::Timing::fast());
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());

        Run run = runCli(device, {"--trace", "--stats", "scan", "1"});
        QCOMPARE(run.code, int(CliExit::Ok));
        const QStringList trace = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(trace.size(), 2);
        QVERIFY2(Kx200Probe.match(trace[0]).hasMatch(), qPrintable(trace[0]));
        QVERIFY2(Kx100Probe.match(trace[1]).hasMatch(), qPrintable(trace[1]));
        const QStringList out = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        // Scan heading and line, statistics heading and line, the adapter's latency.
        QCOMPARE(out.size(), 5);
        QVERIFY2(out[4].contains(QStringLiteral("not a USB adapter")), qPrintable(out[4]));
        // A scan is detection: its two probes are counted apart from the drive's exchanges.
        QVERIFY2(out[3].startsWith(
                     QStringLiteral("   1     0      2     0    0      0    0      0      0")),
                 qPrintable(out[3]));

        // The same lines into a file; the statistics as JSON.
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("trace.txt"));
        run = runCli(device, {"--trace-file", file, "--json", "--stats", "scan", "1"});
        QCOMPARE(run.code, int(CliExit::Ok));
        QCOMPARE(run.err, QString());
        QFile traced(file);
        QVERIFY(traced.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromUtf8(traced.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY(Kx100Probe.match(lines[1]).hasMatch());
        const QStringList json = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(json.size(), 3);
        const QJsonObject stats = QJsonDocument::fromJson(json[1].toUtf8()).object();
        QCOMPARE(stats.value("address").toInt(), 1);
        QCOMPARE(stats.value("exchanges").toInt(), 0);
        QCOMPARE(stats.value("probes").toInt(), 2);
        QCOMPARE(stats.value("timeouts").toInt(), 0);

        // A trace file that cannot be written stops the run before the bus is used.
        run = runCli(device, {"--trace-file", dir.filePath("no/such/dir/t.txt"), "scan", "1"});
        QCOMPARE(run.code, int(CliExit::Failure));
        QVERIFY(run.err.contains(QStringLiteral("trace file")));
        QCOMPARE(run.out, QString());
    }
};

QTEST_GUILESS_MAIN(tst_TrafficTrace)
#include "tst_TrafficTrace.moc"
