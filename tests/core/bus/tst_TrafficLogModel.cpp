// The traffic log table: batched insertion, the ring bound with its dropped count, pause,
// clear, and the address and error filter over it.
#include "bus/TrafficLogFilter.h"
#include "bus/TrafficLogModel.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
using Outcome = TrafficEntry::Outcome;

TrafficEntry entry(int number, int address = 1, Outcome outcome = Outcome::Good)
{
    TrafficEntry e;
    e.kind = address < 0 ? TrafficEntry::Kind::Stray : TrafficEntry::Kind::Exchange;
    e.address = int8_t(address);
    e.outcome = address < 0 ? Outcome::Stray : outcome;
    e.responseMs = number; // tells the entries apart
    return e;
}

QList<int> numbers(const QAbstractItemModel &model, const TrafficLogModel &log,
                   const TrafficLogFilter *filter = nullptr)
{
    QList<int> out;
    for (int row = 0; row < model.rowCount(); ++row) {
        const int source = filter ? filter->mapToSource(filter->index(row, 0)).row() : row;
        out << log.entry(source).responseMs;
    }
    return out;
}
} // namespace

class tst_TrafficLogModel : public QObject
{
    Q_OBJECT

private slots:
    void appendsInBatchesWithinTheRing()
    {
        TrafficLogModel log;
        log.setCapacity(5);
        QSignalSpy inserted(&log, &QAbstractItemModel::rowsInserted);
        for (int i = 0; i < 3; ++i)
            log.append(entry(i));
        QCOMPARE(log.rowCount(), 0); // nothing reaches a view before the batch is flushed
        log.flush();
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(numbers(log, log), (QList<int>{0, 1, 2}));

        for (int i = 3; i < 11; ++i)
            log.append(entry(i));
        log.flush();
        QCOMPARE(numbers(log, log), (QList<int>{6, 7, 8, 9, 10}));
        QCOMPARE(log.droppedCount(), 6);
        QCOMPARE(log.appendedCount(), 11);

        log.clear();
        QCOMPARE(log.rowCount(), 0);
        QCOMPARE(log.droppedCount(), 0);
    }

    void pauseHoldsTheViewButKeepsRecording()
    {
        TrafficLogModel log;
        log.setCapacity(3);
        log.append(entry(0));
        log.flush();
        log.setPaused(true);
        QSignalSpy counts(&log, &TrafficLogModel::countsChanged);
        for (int i = 1; i < 6; ++i)
            log.append(entry(i));
        log.flush();
        QCOMPARE(counts.size(), 1); // the waiting count is shown while paused
        QCOMPARE(numbers(log, log), (QList<int>{0}));
        QCOMPARE(log.pendingCount(), 3); // held back within the same bound
        QCOMPARE(log.appendedCount(), 6);
        log.setPaused(false);
        QCOMPARE(numbers(log, log), (QList<int>{3, 4, 5}));
        QCOMPARE(log.droppedCount(), 3);
    }

    void filtersByAddressAndErrors()
    {
        TrafficLogModel log;
        TrafficLogFilter filter;
        filter.setSourceModel(&log);
        log.append(entry(0, 1));
        log.append(entry(1, 1, Outcome::TimeOut));
        log.append(entry(2, 2));
        log.append(entry(3, -1)); // stray bytes
        log.append(entry(4, 2, Outcome::OtherAddress));
        log.flush();

        QCOMPARE(numbers(filter, log, &filter), (QList<int>{0, 1, 2, 3, 4}));
        filter.setAddress(1);
        QCOMPARE(numbers(filter, log, &filter), (QList<int>{0, 1}));
        filter.setErrorsOnly(true);
        QCOMPARE(numbers(filter, log, &filter), (QList<int>{1}));
        filter.setAddress(-1);
        QCOMPARE(numbers(filter, log, &filter), (QList<int>{1, 3, 4}));
        // Rows arriving later pass the same filter.
        log.append(entry(5, 3));
        log.append(entry(6, 3, Outcome::CheckError));
        log.flush();
        QCOMPARE(numbers(filter, log, &filter), (QList<int>{1, 3, 4, 6}));
    }
};

QTEST_GUILESS_MAIN(tst_TrafficLogModel)
#include "tst_TrafficLogModel.moc"
