#include "serial/TReadThread.h"

#include "FakeAdapter.h"
#include "PseudoTerminalPair.h"
#include "bus/BusReplyRule.h"
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
    // of it follows that could be taken for stray bytes. With the bus's rule, a reply behind
    // noise or a broken frame goes on with them as soon as it is whole. A listening line's
    // burst comes as one batch of its reads; only a read that saw the error is the notice.
    void lineErrorReplacesItsBurst_data()
    {
        // 0: bursts end by silence; 1: replies of four bytes; 2: the bus's rule, a read of 3;
        // 3: the bus's rule, a KX200 write to 3 on a line seen echoing.
        // 4: listening, stamped batches ended by 200 ms of quiet (shown as "b:" and the
        // pieces, each read apart, joined by '|').
        QTest::addColumn<int>("framing");
        // Written one after the other, each once the previous one has been read; a leading
        // '!' means a line error is counted with that piece.
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::newRow("two errors in one burst")
            << 0 << QByteArrayList{"!01 03", "!02 00 64"} << QByteArrayList{"Even"};
        QTest::newRow("clean burst")
            << 0 << QByteArrayList{"01 03", "02 00 64"} << QByteArrayList{"01 0302 00 64"};
        QTest::newRow("fast: reply hit, rest clean")
            << 1 << QByteArrayList{"!ab", "cdEF"} << QByteArrayList{"Even", "EF"};
        QTest::newRow("fast: reply clean, rest hit")
            << 1 << QByteArrayList{"abcd", "!EF"} << QByteArrayList{"abcd", "Even"};
        const QByteArray reply = QByteArray::fromHex("0303 0207d0 c228");
        QTest::newRow("bus: broken frame, then the reply")
            << 2 << QByteArrayList{QByteArray::fromHex("0383020000") + reply + "EF"}
            << QByteArrayList{QByteArray::fromHex("0383020000") + reply, "EF"};
        QTest::newRow("bus: noise, then the reply")
            << 2 << QByteArrayList{"\x55" + reply.left(3), reply.mid(3) + "EF"}
            << QByteArrayList{"\x55" + reply, "EF"};
        // A KX200 write is confirmed by a copy of itself: its echo must not end the burst.
        const QByteArray write = QByteArray::fromHex("2F035700100005 9E");
        QTest::newRow("bus: a write's echo, then its reply")
            << 3 << QByteArrayList{write.left(5), write.mid(5), write + "EF"}
            << QByteArrayList{write + write, "EF"};
        QTest::newRow("listening: one batch, a piece per read")
            << 4 << QByteArrayList{"01 03", "02 00 64"} << QByteArrayList{"b:01 03|02 00 64"};
        QTest::newRow("listening: the hit read alone is the notice")
            << 4 << QByteArrayList{"01 03", "!02 00", "64"}
            << QByteArrayList{"b:01 03", "Even", "b:64"};
    }
    void lineErrorReplacesItsBurst()
    {
        QFETCH(int, framing);
        QFETCH(QByteArrayList, pieces);
        QFETCH(QByteArrayList, chunks);
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        auto adapter = std::make_shared<FakeAdapter>();
        QCOMPARE(adapter->open(line.slavePath()), SerialDevice::OpenResult::Ok);
        auto burstEnd = std::make_shared<BurstEnd>();
        if (framing == 1) {
            burstEnd->set(std::make_shared<FourBytes>(), 200);
            burstEnd->setRequest("ask");
        } else if (framing == 2) {
            burstEnd->set(std::make_shared<BusReplyRule>(), 200);
            burstEnd->setRequest(QByteArray::fromHex("0303 0010 0001 842d"));
        } else if (framing == 3) {
            burstEnd->set(std::make_shared<BusReplyRule>(), 200);
            burstEnd->setEcho(EchoMode::Auto, true);
            burstEnd->setRequest(QByteArray::fromHex("2F035700100005 9E"));
        }
        auto stop = std::make_shared<WakeEvent>();
        TReadThread reader(adapter, stop);
        reader.setBurstEnd(burstEnd);
        reader.setBatchQuiet(std::make_shared<std::atomic<int>>(framing == 4 ? 200'000 : 0));
        QByteArrayList received;
        connect(
            &reader, &TReadThread::dataReceived, this,
            [&received](const QByteArray &chunk) { received << chunk; }, Qt::QueuedConnection);
        connect(
            &reader, &TReadThread::batchReceived, this,
            [&received](const ReceivedBatch &batch) {
                QByteArrayList pieces;
                for (qsizetype i = 0; i < batch.pieces().size(); ++i) {
                    pieces << batch.piece(i);
                    // Stamped as read, in order.
                    if (i > 0 && batch.pieces()[i].atUs < batch.pieces()[i - 1].atUs)
                        pieces << "out of order";
                }
                received << "b:" + pieces.join('|');
            },
            Qt::QueuedConnection);
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
