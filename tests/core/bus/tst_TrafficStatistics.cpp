// Line statistics per address: a scripted line through the bus host (engine, registry and
// recorder as the program wires them), and the response-time arithmetic.
#include "BusTestSupport.h"
#include "FakeCommLink.h"
#include "bus/BusHost.h"
#include "bus/TrafficDecoder.h"
#include "bus/TrafficStatistics.h"
#include "serial/MessageNumbers.h"

#include <QSignalSpy>
#include <QtTest>

using namespace BusTestSupport;
using Outcome = TrafficEntry::Outcome;

class tst_TrafficStatistics : public QObject
{
    Q_OBJECT

private slots:
    void countsAScriptedLine()
    {
        FakeCommLink link;
        link.deferReplies = true;
        BusHost host(&link);
        TrafficRecorder &traffic = host.traffic();
        QSignalSpy recorded(&traffic, &TrafficRecorder::entryRecorded);
        QVERIFY(host.registry().CreateKX100(1));
        QVERIFY(host.registry().CreateKX200(2));

        const auto read = [&](int slot, int registerNumber) {
            TransactionRecord record;
            InitTransaction(record, nullptr, 0, 0, slot);
            QVERIFY(host.registry().ReadRegister(registerNumber, record));
        };
        // Address 1: good, bad CRC, exception, time-out, then three stray bytes.
        read(1, 259);
        link.receiveHex(withCrc("01 03 02 07 D0"));
        read(1, 259);
        QByteArray corrupt = QByteArray::fromHex(withCrc("01 03 02 07 D0"));
        corrupt[corrupt.size() - 1] = char(corrupt[corrupt.size() - 1] ^ 0x5A);
        link.receive(corrupt);
        read(1, 259);
        link.receiveHex(withCrc("01 83 02"));
        read(1, 259);
        for (int tick = 0; tick < 4; ++tick)
            host.engine().RS232OnTime();
        link.receiveHex("AA BB CC");
        // Address 2 (KX200): one good reply.
        read(2, 3);
        link.receiveHex(withSum("2F 02 52 00 03 07 D0"));

        QCOMPARE(recorded.size(), 6);
        const TrafficStatistics &stats = traffic.statistics();
        QCOMPARE(stats.rowCount(), 2);
        const TrafficStatistics::Counts *one = stats.find(1);
        QVERIFY(one);
        QCOMPARE(one->exchanges, 4);
        QCOMPARE(one->good, 1);
        QCOMPARE(one->checkErrors, 1);
        QCOMPARE(one->refusals, 1);
        QCOMPARE(one->timeOuts, 1);
        QCOMPARE(one->strayBytes, 3);
        QCOMPARE(one->replies, 3);
        QVERIFY(one->lastGood > 0);
        QCOMPARE(stats.index(0, 0).data(TrafficStatistics::AttentionRole).toInt(), 2);
        const TrafficStatistics::Counts *two = stats.find(2);
        QVERIFY(two);
        QCOMPARE(two->exchanges, 1);
        QCOMPARE(two->good, 1);
        QCOMPARE(stats.index(1, 0).data(TrafficStatistics::AttentionRole).toInt(), 0);

        // The log holds the same six rows, in order, once its batch is flushed.
        traffic.log().flush();
        QCOMPARE(traffic.log().rowCount(), 6);
        QCOMPARE(traffic.log().entry(4).kind, TrafficEntry::Kind::Stray);
        QCOMPARE(traffic.log().entry(5).model, TrafficEntry::Model::KX200);

        traffic.statistics().reset();
        QCOMPARE(stats.rowCount(), 0);
    }

    void responseTimesAndColours()
    {
        TrafficStatistics stats;
        const auto add = [&](int address, Outcome outcome, int ms) {
            TrafficEntry e;
            e.address = int8_t(address);
            e.outcome = outcome;
            e.responseMs = ms;
            e.time = 1000 + ms;
            stats.record(e);
        };
        add(7, Outcome::Good, 10);
        add(7, Outcome::Good, 30);
        add(7, Outcome::TimeOut, 4000); // a time-out's wait is not a response time
        add(3, Outcome::Good, 5);
        const TrafficStatistics::Counts *seven = stats.find(7);
        QCOMPARE(seven->meanMs(), 20.0);
        QCOMPARE(seven->maxMs, 30);
        QCOMPARE(seven->lastGood, 1030);
        // Rows in address order; the time-out marks address 7.
        QCOMPARE(stats.index(0, 0).data().toString(), QStringLiteral("3"));
        QCOMPARE(stats.index(1, 0).data(TrafficStatistics::AttentionRole).toInt(), 1);
        QCOMPARE(stats.index(1, TrafficStatistics::MeanColumn).data().toString(),
                 QStringLiteral("20.0"));
        const QJsonObject json = TrafficStatistics::toJson(*seven);
        QCOMPARE(json.value("timeouts").toInt(), 1);
        QCOMPARE(json.value("max_ms").toInt(), 30);
        // A mean beyond the range of int is written as it is.
        TrafficStatistics::Counts slow;
        slow.replies = 2;
        slow.totalMs = qint64(5) << 31;
        QCOMPARE(TrafficStatistics::toJson(slow).value("mean_ms").toDouble(), 5368709120.0);
    }

    // Detection asks an address for every model; the models it does not hold stay silent.
    void detectionProbesAreCountedApart()
    {
        TrafficStatistics stats;
        const auto add = [&](uint32_t message) {
            TransactionRecord record;
            InitTransaction(record, nullptr, message, 0, 4);
            record.TxLength = 1;
            record.RxLength = -1;
            stats.record(TrafficDecoder::exchange(record, 4000, TrafficEntry::Model::KX100, 1));
        };
        add(Msg::DetectKX200Result);
        add(Msg::DetectKX300Result);
        const TrafficStatistics::Counts *four = stats.find(4);
        QCOMPARE(four->probes, 2);
        QCOMPARE(four->exchanges, 0);
        QCOMPARE(stats.index(0, 0).data(TrafficStatistics::AttentionRole).toInt(), 0);
        QCOMPARE(stats.index(0, TrafficStatistics::ProbesColumn).data().toInt(), 2);
        add(0); // its own exchange's time-out does mark it
        QCOMPARE(four->timeOuts, 1);
        QCOMPARE(stats.index(0, 0).data(TrafficStatistics::AttentionRole).toInt(), 1);
        QCOMPARE(TrafficStatistics::toJson(*four).value("probes").toInt(), 2);
    }

    // An echoed request is one exchange, marked and counted, with no stray bytes; the port's
    // note is a row of the log and no address's.
    void echoedExchangeAndLineNote()
    {
        FakeCommLink link;
        BusHost host(&link);
        TrafficRecorder &traffic = host.traffic();
        QList<TrafficEntry> entries;
        connect(&traffic, &TrafficRecorder::entryRecorded, this,
                [&](const TrafficEntry &entry) { entries << entry; });
        emit link.lineNote(QStringLiteral("Адаптер /dev/ttyUSB0: таймер задержки 16 мс → 1 мс"));
        QVERIFY(host.registry().CreateKX200(2));
        TransactionRecord record;
        InitTransaction(record, nullptr, 0, 0, 2);
        QVERIFY(host.registry().ReadRegister(3, record));
        link.receive(link.written.last() + QByteArray::fromHex(withSum("2F 02 52 00 03 07 D0")));

        QCOMPARE(entries.size(), 2);
        QVERIFY(TrafficDecoder::meaning(entries[0]).endsWith(QStringLiteral("16 мс → 1 мс")));
        QVERIFY(TrafficDecoder::meaning(entries[1]).endsWith(QStringLiteral("= 2000 (эхо)")));
        const TrafficStatistics &stats = traffic.statistics();
        QCOMPARE(stats.rowCount(), 1);
        const QJsonObject two = TrafficStatistics::toJson(*stats.find(2));
        QCOMPARE(
            (QList<int>{two["good"].toInt(), two["echoes"].toInt(), two["stray_bytes"].toInt()}),
            (QList<int>{1, 1, 0}));
    }
};

QTEST_GUILESS_MAIN(tst_TrafficStatistics)
#include "tst_TrafficStatistics.moc"
