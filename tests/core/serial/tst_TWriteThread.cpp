#include "serial/TWriteThread.h"

#include "FakeAdapter.h"
#include "PseudoTerminalPair.h"
#include "serial/WakeEvent.h"

#include <QScopeGuard>
#include <QTest>

using Transmitter = SerialDevice::Transmitter;

class tst_TWriteThread : public QObject
{
    Q_OBJECT

private slots:
    // With manual RTS switching the adapter listens again only after the frame has left it.
    void rtsDropsOnceTheFrameHasLeft_data()
    {
        QTest::addColumn<QList<int>>("queue");
        QTest::addColumn<QList<Transmitter>>("transmitter");
        QTest::addColumn<QByteArrayList>("expected");
        QTest::addColumn<int>("holdLines"); // frame line times RTS stays up after the drain
        QTest::newRow("empty reported")
            << QList<int>{3, 0} << QList<Transmitter>{Transmitter::Sending, Transmitter::Empty}
            << QByteArrayList{"rts on", "queue 3", "queue 0", "sending", "empty", "rts off"} << 0;
        QTest::newRow("transmitter cannot tell")
            << QList<int>{0} << QList<Transmitter>{Transmitter::Unknown}
            << QByteArrayList{"rts on", "queue 0", "unknown", "rts off"} << 1;
        QTest::newRow("queue and transmitter cannot tell")
            << QList<int>{-1} << QList<Transmitter>{Transmitter::Unknown}
            << QByteArrayList{"rts on", "queue -1", "unknown", "rts off"} << 2;
    }
    void rtsDropsOnceTheFrameHasLeft()
    {
        QFETCH(QList<int>, queue);
        QFETCH(QList<Transmitter>, transmitter);
        QFETCH(QByteArrayList, expected);
        QFETCH(int, holdLines);
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        auto adapter = std::make_shared<FakeAdapter>();
        QCOMPARE(adapter->open(line.slavePath()), SerialDevice::OpenResult::Ok);
        QVERIFY(adapter->applyLineSettings({2400, pNone, sb1_0, 8}));
        adapter->queueLengths = queue;
        adapter->transmitter = transmitter;
        auto stop = std::make_shared<WakeEvent>();
        TWriteThread writer(adapter, stop);
        writer.start();
        // A failed check must not leave the thread running when it is destroyed.
        const auto ending = qScopeGuard([&] {
            stop->set();
            writer.wait();
        });
        QVERIFY(writer.waitUntilRunning(5000));

        const QByteArray frame = QByteArray::fromHex("0106000A01F4A8");
        QVERIFY(writer.enqueue(frame));
        QCOMPARE(line.readExactly(int(frame.size()), 5000), frame);
        QTRY_VERIFY_WITH_TIMEOUT(adapter->eventNames().contains("rts off"), 5000);

        QCOMPARE(adapter->eventNames(), expected);
        // Measured from the last look at the driver's queue to the drop of RTS.
        const QList<FakeAdapter::Event> events = adapter->events();
        qint64 drainedNs = 0;
        for (const FakeAdapter::Event &event : events) {
            if (event.what.startsWith("queue"))
                drainedNs = event.ns;
        }
        const qint64 heldNs = events.last().ns - drainedNs;
        const qint64 lineNs = qint64(frame.size()) * adapter->characterTimeUs() * 1000;
        QVERIFY2(heldNs >= holdLines * lineNs,
                 qPrintable(QStringLiteral("RTS held %1 us").arg(heldNs / 1000)));
    }
};

QTEST_GUILESS_MAIN(tst_TWriteThread)
#include "tst_TWriteThread.moc"
