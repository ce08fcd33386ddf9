#include "sim/SimKX100.h"
#include "sim/SimKX200.h"
#include "sim/SimKX300.h"
#include "sim/SimulatedBus.h"

#include "PtyClient.h"

#include <QtTest>

#include <memory>

namespace {
const QByteArray kReadAddress1 = hexBytes("01 03 01 6A 00 01 A5 EA");
const QByteArray kAddress1Reply = hexBytes("01 03 02 00 01 79 84");

// KX100 at 1 (index 0), KX200 at 2 (index 1), KX300 at 3 (index 2).
void addDefaultInverters(SimulatedBus &bus)
{
    bus.addInverter(std::make_unique<SimKX100>(1));
    bus.addInverter(std::make_unique<SimKX200>(2));
    bus.addInverter(std::make_unique<SimKX300>(3));
}

SimulatedBus::Timing fastTiming()
{
    SimulatedBus::Timing timing = SimulatedBus::Timing::fast();
    timing.strayIntervalMs = 50;
    return timing;
}
} // namespace

class tst_SimulatedBus : public QObject
{
    Q_OBJECT

private slots:
    void eachRequestReachesTheAddressedInverter_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("KX100 at 1") << kReadAddress1 << kAddress1Reply;
        QTest::newRow("KX200 at 2")
            << hexBytes("2F 02 52 08 02 8D") << hexBytes("2F 02 52 08 02 00 02 8F");
        QTest::newRow("KX300 at 3")
            << hexBytes("03 03 04 1C 00 01 45 1E") << hexBytes("03 03 02 00 03 81 85");
        QTest::newRow("KX300 refuses 362")
            << hexBytes("03 03 01 6A 00 01 A4 08") << hexBytes("03 83 02 61 31");
        QTest::newRow("nobody at 4") << hexBytes("04 03 01 00 00 01 85 A3") << QByteArray();
        QTest::newRow("KX200 form at the KX100's address")
            << hexBytes("2F 01 52 08 02 8C") << QByteArray();
        QTest::newRow("noise in front of a request")
            << hexBytes("FF FE 55") + kReadAddress1 << kAddress1Reply;
        QTest::newRow("bad CRC unanswered") << hexBytes("01 03 01 6A 00 01 EA A5") << QByteArray();
        QTest::newRow("bad sum answered with N")
            << hexBytes("2F 02 52 08 02 8E") << hexBytes("2F 02 4E 08 02 00 00 89");
    }

    void eachRequestReachesTheAddressedInverter()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        SimulatedBus bus;
        bus.setTiming(fastTiming());
        addDefaultInverters(bus);
        QVERIFY(bus.start());
        PtyClient line(bus.slavePath());
        QVERIFY(line.isOpen());
        QVERIFY(line.send(request));
        QCOMPARE(line.readChunk(100, reply.isEmpty() ? 300 : 3000).toHex(' '), reply.toHex(' '));
    }

    void faults_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<SimFault>("fault");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("none") << 0 << SimFault::None << kReadAddress1 << kAddress1Reply;
        QTest::newRow("silent") << 0 << SimFault::Silent << kReadAddress1 << QByteArray();
        QTest::newRow("corrupt CRC")
            << 0 << SimFault::CorruptCheck << kReadAddress1 << hexBytes("01 03 02 00 01 86 7B");
        QTest::newRow("refuse") << 0 << SimFault::Refuse << kReadAddress1
                                << hexBytes("01 83 04 40 F3");
        QTest::newRow("line error")
            << 0 << SimFault::LineError << kReadAddress1 << hexBytes("FF 00 00 03 02 00 01 79 84");
        QTest::newRow("KX200 silent")
            << 1 << SimFault::Silent << hexBytes("2F 02 52 08 02 8D") << QByteArray();
        QTest::newRow("KX200 corrupt sum")
            << 1 << SimFault::CorruptCheck << hexBytes("2F 02 52 08 02 8D")
            << hexBytes("2F 02 52 08 02 00 02 70");
        QTest::newRow("KX200 refuse") << 1 << SimFault::Refuse << hexBytes("2F 02 52 08 02 8D")
                                      << hexBytes("2F 02 72 08 02 00 00 AD");
    }

    void faults()
    {
        QFETCH(int, index);
        QFETCH(SimFault, fault);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        SimulatedBus bus;
        bus.setTiming(fastTiming());
        addDefaultInverters(bus);
        bus.setFault(index, fault);
        QCOMPARE(bus.fault(index), fault);
        QVERIFY(bus.start());
        PtyClient line(bus.slavePath());
        QVERIFY(line.send(request));
        QCOMPARE(line.readChunk(100, reply.isEmpty() ? 300 : 3000).toHex(' '), reply.toHex(' '));
    }

    void silentInverterIgnoresWrites()
    {
        SimulatedBus bus;
        bus.setTiming(fastTiming());
        addDefaultInverters(bus);
        bus.setFault(0, SimFault::Silent);
        QVERIFY(bus.start());
        PtyClient line(bus.slavePath());
        // Run command to the KX100: not heard, so the motor stays stopped.
        line.send(hexBytes("01 10 00 01 00 01 02 00 01 66 41"));
        QVERIFY(line.readChunk(100, 300).isEmpty());
        QCOMPARE(bus.operationWord(0), quint16(0));
    }

    void splitReplyArrivesAsTwoChunks()
    {
        SimulatedBus bus;
        bus.setTiming(fastTiming());
        addDefaultInverters(bus);
        bus.setFault(0, SimFault::SplitReply);
        QVERIFY(bus.start());
        PtyClient line(bus.slavePath());
        line.send(kReadAddress1);
        // A receiver that ends a chunk after 250 ms of silence sees two chunks.
        QCOMPARE(line.readChunk(250).toHex(' '), hexBytes("01 03 02").toHex(' '));
        QCOMPARE(line.readChunk(250).toHex(' '), hexBytes("00 01 79 84").toHex(' '));
    }

    void strayBytesWhileIdle()
    {
        SimulatedBus bus;
        bus.setTiming(fastTiming());
        addDefaultInverters(bus);
        QVERIFY(bus.start());
        PtyClient line(bus.slavePath());
        QVERIFY(line.readChunk(100, 200).isEmpty()); // quiet without the fault
        QCOMPARE(bus.setFaultAt(3, SimFault::StrayBytes), 1);
        QCOMPARE(line.readBytes(6).size(), 6); // unprompted noise, repeatedly
        bus.setFaultAt(3, SimFault::None);
        line.readChunk(150, 150);
        QVERIFY(line.readChunk(100, 200).isEmpty());
        QCOMPARE(bus.framesReceived(), quint64(0));
    }

    void broadcastAddressWrite()
    {
        SimulatedBus bus;
        bus.setTiming(fastTiming());
        addDefaultInverters(bus);
        const int second = bus.addInverter(std::make_unique<SimKX100>(4));
        bus.setAnswersBroadcast(second, false);
        QVERIFY(bus.start());
        PtyClient line(bus.slavePath());

        // Modbus: both KX100 move to 7, only the one that answers broadcasts replies, from
        // its new address; the KX300 and the KX200 keep theirs.
        line.send(hexBytes("00 10 01 6A 00 01 02 00 07 F3 C8"));
        QCOMPARE(line.readChunk(100).toHex(' '), hexBytes("07 10 01 6A 00 01 20 4F").toHex(' '));
        QCOMPARE(bus.address(0), 7);
        QCOMPARE(bus.address(second), 7);
        QCOMPARE(bus.address(2), 3);
        QCOMPARE(bus.address(1), 2);
        QCOMPARE(bus.indicesAt(7), (QList<int>{0, second}));

        // Slash form: the KX200 answers without an address byte.
        line.send(hexBytes("2F 57 08 02 00 09 99"));
        QCOMPARE(line.readChunk(100).toHex(' '), hexBytes("2F 57 08 02 00 09 99").toHex(' '));
        QCOMPARE(bus.address(1), 9);
        QCOMPARE(bus.address(0), 7);

        // With the option off nobody answers, but the address still changes.
        bus.setAnswersBroadcast(1, false);
        line.send(hexBytes("2F 57 08 02 00 0A 9A"));
        QVERIFY(line.readChunk(100, 300).isEmpty());
        QCOMPARE(bus.address(1), 10);
    }

    void manualClockRampsTheOutput()
    {
        SimulatedBus bus;
        bus.setTiming(fastTiming());
        addDefaultInverters(bus);
        bus.setManualClock(true);
        QVERIFY(bus.start());
        PtyClient line(bus.slavePath());
        // Reference 50.0 Hz, then run forward.
        QCOMPARE(line.exchange(hexBytes("01 10 00 02 00 01 02 01 F4 A7 A5"), 8),
                 hexBytes("01 10 00 02 00 01 A0 09"));
        QCOMPARE(line.exchange(hexBytes("01 10 00 01 00 01 02 00 01 66 41"), 8),
                 hexBytes("01 10 00 01 00 01 50 09"));
        QCOMPARE(bus.operationWord(0), quint16(1));

        bus.advanceClock(2.0);
        QByteArray reply = line.exchange(hexBytes("01 03 00 24 00 01 C4 01"), 7);
        QCOMPARE(reply.left(5), hexBytes("01 03 02 00 C8")); // 20.0 Hz
        QCOMPARE(bus.driveState(0).frequency, 20.0);

        bus.advanceClock(10.0);
        reply = line.exchange(hexBytes("01 03 00 24 00 01 C4 01"), 7);
        QCOMPARE(reply.left(5), hexBytes("01 03 02 01 F4")); // 50.0 Hz
        const SimulatedBus::DriveState state = bus.driveState(0);
        QVERIFY(state.running);
        QCOMPARE(state.voltage, 380.0);
        QVERIFY(state.current > 0.0);
        // The other drives were not started.
        QCOMPARE(bus.driveState(2).frequency, 0.0);
    }

    void pacedRepliesAreWhole()
    {
        SimulatedBus bus; // 9600 bit/s, even parity, 5 ms turn-around
        addDefaultInverters(bus);
        QVERIFY(bus.timing().paced);
        QCOMPARE(bus.timing().characterSeconds(), 11.0 / 9600.0);
        QVERIFY(bus.start());
        PtyClient line(bus.slavePath());
        for (int i = 0; i < 3; ++i) {
            QVERIFY(line.send(kReadAddress1));
            QCOMPARE(line.readChunk(50), kAddress1Reply);
        }
    }

    // The pseudo-terminal hands a request over at once; the paced bus must still answer no
    // sooner than a real line could: request line time, t3.5, turn-around, reply line time,
    // and t3.5 between the reply and the next request. Lower bounds only.
    void pacedExchangesTakeTheirLineTime_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("turnaroundMs");
        QTest::newRow("9600, 5 ms") << 9600 << 5;
        QTest::newRow("19200, no turn-around") << 19200 << 0;
    }

    void pacedExchangesTakeTheirLineTime()
    {
        QFETCH(int, baud);
        QFETCH(int, turnaroundMs);
        SimulatedBus bus;
        addDefaultInverters(bus);
        SimulatedBus::Timing timing = bus.timing();
        timing.baud = baud;
        timing.turnaroundMs = turnaroundMs;
        bus.setTiming(timing);
        QVERIFY(bus.start());
        PtyClient line(bus.slavePath());
        QVERIFY(line.isOpen());

        const double c = timing.characterSeconds();
        const double exchange = (kReadAddress1.size() + 3.5 + kAddress1Reply.size()) * c +
                                turnaroundMs / 1000.0;
        QElapsedTimer timer;
        timer.start();
        for (int i = 1; i <= 3; ++i) {
            QCOMPARE(line.exchange(kReadAddress1, kAddress1Reply.size()), kAddress1Reply);
            // Each request after the first waits t3.5 behind the previous reply.
            const double earliest = i * exchange + (i - 1) * 3.5 * c;
            QVERIFY2(timer.nsecsElapsed() / 1e9 >= earliest,
                     qPrintable(QStringLiteral("reply %1 after %2 ms, line time %3 ms")
                                    .arg(i)
                                    .arg(timer.nsecsElapsed() / 1e6)
                                    .arg(earliest * 1e3)));
        }
    }

    void serviceSurvivesTheProgramClosingAndReopening()
    {
        SimulatedBus bus;
        bus.setTiming(fastTiming());
        addDefaultInverters(bus);
        QVERIFY(bus.start());
        {
            PtyClient line(bus.slavePath());
            QCOMPARE(line.exchange(kReadAddress1, 7), kAddress1Reply);
            line.send(kReadAddress1); // closed before the reply is read
            QTRY_COMPARE(bus.framesReceived(), quint64(2));
        }
        // The reply to the abandoned request has gone out (or been dropped) by now, even on a
        // loaded machine; the new user starts from an empty line.
        QTest::qWait(200);
        PtyClient again(bus.slavePath());
        QVERIFY(again.isOpen());
        QCOMPARE(again.exchange(hexBytes("03 03 04 1C 00 01 45 1E"), 7),
                 hexBytes("03 03 02 00 03 81 85"));
    }

    void logsFramesBothWays()
    {
        SimulatedBus bus;
        bus.setTiming(fastTiming());
        addDefaultInverters(bus);
        QStringList lines;
        std::mutex mutex;
        bus.setLogger([&](const QString &line) {
            std::lock_guard lock(mutex);
            lines << line;
        });
        QVERIFY(bus.start());
        PtyClient line(bus.slavePath());
        QCOMPARE(line.exchange(hexBytes("AA") + kReadAddress1, 7), kAddress1Reply);
        bus.stop();
        QVERIFY(lines.contains(QStringLiteral("rx noise AA")));
        QVERIFY(lines.contains(QStringLiteral("rx 01 03 01 6A 00 01 A5 EA")));
        QVERIFY(lines.contains(QStringLiteral("tx 01 03 02 00 01 79 84 (KX100 at 1)")));
    }

    void lifecycle()
    {
        SimulatedBus bus;
        QCOMPARE(bus.addInverter(std::make_unique<SimKX100>(0)), -1); // 0 is the broadcast
        QCOMPARE(bus.addInverter(std::make_unique<SimKX200>(32)), -1);
        QCOMPARE(bus.addInverter(std::make_unique<SimKX200>(0)), 0);
        QCOMPARE(bus.inverterCount(), 1);
        QVERIFY(bus.slavePath().isEmpty());
        QVERIFY(bus.start());
        QVERIFY(bus.isRunning());
        QVERIFY(bus.slavePath().startsWith(QStringLiteral("/dev/")));
        QString error;
        QVERIFY(!bus.start(&error));
        QVERIFY(!error.isEmpty());
        bus.stop();
        bus.stop();
        QVERIFY(!bus.isRunning());
        QVERIFY(bus.slavePath().isEmpty());
        // Accessors with a bad index are harmless.
        QCOMPARE(bus.registerValue(5, 1), std::nullopt);
        QVERIFY(!bus.setRegisterValue(-1, 1, 1));
        QCOMPARE(bus.address(7), -1);
    }
};

QTEST_GUILESS_MAIN(tst_SimulatedBus)
#include "tst_SimulatedBus.moc"
