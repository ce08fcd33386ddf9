#include "serial/TReadThread.h"

#include "FakeAdapter.h"
#include "PseudoTerminalPair.h"
#include "serial/ReplyRule.h"
#include "serial/WakeEvent.h"

#include <QScopeGuard>
#include <QTest>

namespace {

// Replies of four bytes, whatever the request.
struct FourBytes : ReplyRule
{
    ReplyMatch match(const uint8_t *, int, const uint8_t *, int length) const override
    {
        return {length >= 4 ? ReplyMatch::Verdict::Complete : ReplyMatch::Verdict::Partial, 4};
    }
};

} // namespace

class tst_TReadThread : public QObject
{
    Q_OBJECT

private slots:
    // A burst hit by a line error arrives once, as the notice, in the burst's place: nothing
    // of it follows that could be taken for stray bytes.
    void lineErrorReplacesItsBurst_data()
    {
        QTest::addColumn<bool>("fast");
        // Written one after the other, each once the previous one has been read; a leading
        // '!' means a line error is counted with that piece.
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::newRow("two errors in one burst")
            << false << QByteArrayList{"!01 03", "!02 00 64"} << QByteArrayList{"Even"};
        QTest::newRow("clean burst")
            << false << QByteArrayList{"01 03", "02 00 64"} << QByteArrayList{"01 0302 00 64"};
        QTest::newRow("fast: reply hit, rest clean")
            << true << QByteArrayList{"!ab", "cdEF"} << QByteArrayList{"Even", "EF"};
        QTest::newRow("fast: reply clean, rest hit")
            << true << QByteArrayList{"abcd", "!EF"} << QByteArrayList{"abcd", "Even"};
    }
    void lineErrorReplacesItsBurst()
    {
        QFETCH(bool, fast);
        QFETCH(QByteArrayList, pieces);
        QFETCH(QByteArrayList, chunks);
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        auto adapter = std::make_shared<FakeAdapter>();
        QCOMPARE(adapter->open(line.slavePath()), SerialDevice::OpenResult::Ok);
        auto burstEnd = std::make_shared<BurstEnd>();
        if (fast) {
            burstEnd->set(std::make_shared<FourBytes>(), 200);
            burstEnd->setRequest("ask");
        }
        auto stop = std::make_shared<WakeEvent>();
        TReadThread reader(adapter, stop);
        reader.setBurstEnd(burstEnd);
        QByteArrayList received;
        connect(
            &reader, &TReadThread::dataReceived, this,
            [&received](const QByteArray &chunk) { received << chunk; }, Qt::QueuedConnection);
        reader.start();
        // A failed check must not leave the thread running when it is destroyed.
        const auto ending = qScopeGuard([&] {
            stop->set();
            reader.wait();
        });
        QVERIFY(reader.waitUntilRunning(5000));

        for (QByteArray piece : pieces) {
            const int reads = adapter->counterReads();
            if (piece.startsWith('!')) {
                ++adapter->frameErrors;
                piece.remove(0, 1);
            }
            QVERIFY(line.write(piece));
            QTRY_VERIFY_WITH_TIMEOUT(adapter->counterReads() > reads, 5000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), chunks.size(), 5000);
        // Nothing follows once the line has been quiet longer than a burst's end.
        QTest::qWait(300);
        QCOMPARE(received, chunks);
    }
};

QTEST_GUILESS_MAIN(tst_TReadThread)
#include "tst_TReadThread.moc"
