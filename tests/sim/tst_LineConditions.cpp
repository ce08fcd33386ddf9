#include "sim/LineConditions.h"
#include "sim/SimulatedPlant.h"

#include "PtyClient.h"

#include <QtTest>

#include <memory>

namespace {
const QByteArray kRequest = hexBytes("01 03 01 6A 00 01 A5 EA");
const QByteArray kReply = hexBytes("01 03 02 00 01 79 84");
} // namespace

// The relay between the program and the simulated bus: echo, latency batches and noise.
class tst_LineConditions : public QObject
{
    Q_OBJECT

    SimulatedPlant m_plant{{{QStringLiteral("KX100"), 1}}};
    QString m_bus;

    std::unique_ptr<LineConditions> relay(const LineConditions::Settings &settings)
    {
        auto line = std::make_unique<LineConditions>();
        line->setSettings(settings);
        QString error;
        if (!line->start(m_bus, &error))
            qWarning("%s", qPrintable(error));
        return line;
    }

private slots:
    void initTestCase()
    {
        m_plant.setTiming(SimulatedBus::Timing::fast());
        m_bus = m_plant.start();
        QVERIFY(!m_bus.isEmpty());
    }

    void echoComesFirstAndLatencyBatches_data()
    {
        QTest::addColumn<bool>("echo");
        QTest::addColumn<int>("latencyMs");
        QTest::addColumn<QByteArray>("firstChunk");
        QTest::newRow("clean") << false << 0 << kReply;
        QTest::newRow("echo") << true << 0 << kRequest + kReply;
        // One batch carries both the echo and the reply, nothing of them comes alone.
        QTest::newRow("echo, latency 150 ms") << true << 150 << kRequest + kReply;
        QTest::newRow("latency 150 ms") << false << 150 << kReply;
    }

    void echoComesFirstAndLatencyBatches()
    {
        QFETCH(bool, echo);
        QFETCH(int, latencyMs);
        QFETCH(QByteArray, firstChunk);
        LineConditions::Settings settings;
        settings.echo = echo;
        settings.latencyMs = latencyMs;
        const auto line = relay(settings);
        QVERIFY(line->isRunning());
        PtyClient program(line->frontPath());
        QVERIFY(program.isOpen());
        QVERIFY(program.send(kRequest));
        const QByteArray received = program.readBytes(firstChunk.size());
        QCOMPARE(received, firstChunk);
        if (latencyMs > 0) {
            // The batch came whole: a chunk read with a short silence holds it all.
            QVERIFY(program.send(kRequest));
            QCOMPARE(program.readChunk(latencyMs / 3), firstChunk);
        }
    }

    void noiseStaysBetweenFrames()
    {
        LineConditions::Settings settings;
        settings.noisePerSecond = 400;
        settings.seed = 3;
        const auto line = relay(settings);
        PtyClient program(line->frontPath());
        QVERIFY(program.isOpen());
        QByteArray stream;
        constexpr int kExchanges = 20;
        for (int i = 1; i <= kExchanges; ++i) {
            QVERIFY(program.send(kRequest));
            // Each reply arrives whole, whatever noise comes around it.
            QElapsedTimer waited;
            waited.start();
            while (stream.count(kReply) < i && waited.elapsed() < 3000)
                stream += program.readChunk(10, 100); // silences the noise can use
            QCOMPARE(stream.count(kReply), i);
        }
        // A loaded machine may leave the exchanges no silence long enough: wait for one.
        QTRY_VERIFY_WITH_TIMEOUT(
            (stream += program.readChunk(10, 100)).size() > kExchanges * kReply.size(), 5000);
        QVERIFY(line->noiseBytes() > 0);
        QCOMPARE(stream.count(kReply), kExchanges);
    }
};

QTEST_GUILESS_MAIN(tst_LineConditions)
#include "tst_LineConditions.moc"
