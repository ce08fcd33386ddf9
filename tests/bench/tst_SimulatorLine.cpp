#include "bench/SimulatorLine.h"
#include "sim/SimKX100.h"
#include "sim/SimulatedBus.h"

#include "sim/PtyClient.h"

#include <QtTest>

#include <memory>
#include <mutex>

// The benchmark's floors come from the simulator's frame log; a change of its wording must
// not go unnoticed as a floor of zero.
class tst_SimulatorLine : public QObject
{
    Q_OBJECT

private slots:
    void countsTheFramesTheBusLogs()
    {
        SimulatedBus bus;
        bus.addInverter(std::make_unique<SimKX100>(1));
        bus.setTiming(SimulatedBus::Timing::fast());
        std::mutex mutex;
        QList<QByteArray> lines;
        bus.setLogger([&](const QString &line) {
            std::lock_guard lock(mutex);
            lines.append(line.toLatin1());
        });
        QVERIFY(bus.start());
        PtyClient line(bus.slavePath());
        const QByteArray reply = line.exchange(hexBytes("01 03 01 01 00 01 D4 36"), 7);
        QCOMPARE(reply.size(), 7);
        // Noise in front of a request is logged but is no frame.
        QCOMPARE(line.exchange(hexBytes("AA 01 03 01 01 00 01 D4 36"), 7), reply);
        bus.stop();

        SimulatorLine::Tally tally;
        for (const QByteArray &text : std::as_const(lines))
            SimulatorLine::count(text, tally);
        QCOMPARE(tally.frames, 4);
        QCOMPARE(tally.bytes, 2 * (8 + 7));
    }

    void countsLogLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("bytes");
        QTest::newRow("request") << QByteArray("rx 01 03 01 01 00 01 D4 36") << 1 << 8;
        QTest::newRow("bad sum") << QByteArray("rx 2F 02 52 08 01 AA (bad sum)") << 1 << 6;
        QTest::newRow("reply") << QByteArray("tx 01 03 02 00 01 79 84 (KX100 at 1)") << 1 << 7;
        QTest::newRow("noise") << QByteArray("rx noise AA BB") << 0 << 0;
        QTest::newRow("timed reply")
            << QByteArray("13:13:12.716  tx 01 03 02 00 01 79 84 (KX100 at 1)") << 1 << 7;
        QTest::newRow("start-up") << QByteArray("serving on /tmp/bus (/dev/pts/3)") << 0 << 0;
        QTest::newRow("empty") << QByteArray("tx ") << 0 << 0;
    }

    void countsLogLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, frames);
        QFETCH(int, bytes);
        SimulatorLine::Tally tally;
        SimulatorLine::count(line, tally);
        QCOMPARE(tally.frames, frames);
        QCOMPARE(tally.bytes, bytes);
    }
};

QTEST_GUILESS_MAIN(tst_SimulatorLine)
#include "tst_SimulatorLine.moc"
