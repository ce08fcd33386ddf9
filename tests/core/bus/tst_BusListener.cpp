#include "bus/BusListener.h"

#include <QTest>

class tst_BusListener : public QObject
{
    Q_OBJECT

private slots:
    // A serial line's batch keeps the time of each read (here at 9600 bit/s): a reply read in
    // two pieces is timed by its last one, not by the batch's end.
    void timesFramesByTheirReads()
    {
        const QByteArray request = QByteArray::fromHex("010300020001 25CA");
        const QByteArray reply = QByteArray::fromHex("0103020000 B844");
        constexpr qint64 T = 1'800'000'000'000'000;
        ReceivedBatch batch;
        batch.append(request.constData(), request.size(), T);
        batch.append(reply.constData(), 3, T + 10'000);
        batch.append(reply.constData() + 3, reply.size() - 3, T + 15'000);

        BusListener listener;
        QList<TrafficEntry> heard;
        connect(&listener, &BusListener::heard, this,
                [&heard](const TrafficEntry &entry) { heard << entry; });
        listener.receive(batch);
        QCOMPARE(heard.size(), 1);
        QCOMPARE(heard[0].request, request);
        QCOMPARE(heard[0].reply, reply);
        QCOMPARE(heard[0].responseMs, 15);
        // The request began its eight characters before it was read.
        QCOMPARE(heard[0].time, (T - 8 * 1145) / 1000);
    }
};

QTEST_GUILESS_MAIN(tst_BusListener)
#include "tst_BusListener.moc"
