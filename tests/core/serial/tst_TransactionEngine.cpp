#include "FakeCommLink.h"

#include "bus/BusReplyRule.h"
#include "bus/ModbusFrame.h"
#include "serial/MessageNumbers.h"
#include "serial/TransactionEngine.h"
#include "serial/WindowMessage.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

// Collects the completions posted to it; optionally reacts to each one.
class Requester : public QObject
{
public:
    QList<TransactionRecord> completions;
    std::function<void(const TransactionRecord &)> onCompletion;

protected:
    void customEvent(QEvent *event) override
    {
        if (event->type() != WindowMessage::eventType())
            return;
        auto *message = static_cast<WindowMessage *>(event);
        QVERIFY(message->record());
        completions.append(*message->record());
        if (onCompletion)
            onCompletion(completions.last());
    }
};

TransactionRecord request(QObject *notify, const QByteArray &hex, int slot = 1, uint32_t msg = 1227)
{
    TransactionRecord record;
    InitTransaction(record, notify, msg, 0, slot);
    const QByteArray bytes = QByteArray::fromHex(hex);
    std::memcpy(record.TxFrame, bytes.constData(), size_t(bytes.size()));
    record.TxLength = int32_t(bytes.size());
    return record;
}

} // namespace

class tst_TransactionEngine : public QObject
{
    Q_OBJECT

private slots:
    void submissionWhileIdleGoesOnTheLineAtOnce();
    void queuedSubmissionsKeepTheirOrderWithoutOverlap();
    void timeOutOnTheFourthTick();
    void replyCompletesWithItsBytes();
    void replyLongerThanTheRecordIsCut();
    void strayBytesRestartThePortOnce();
    void finishedExchangesAndStrayChunksAreReported();
    void restartDuringTransactionKeepsItRunning();
    void completionHandlerSubmittingKeepsQueueOrder();
    void completionOwnsItsRecord();
    void fullRingCompletesWithTimeOut();
    void frameText_data();
    void frameText();
    void onlyTheReplyToTheRequestInFlightCompletesIt();
    void timeOutGuardHoldsBackRequestsOfTheSameKind();
    void lateRepliesNeverShiftTheStream();
    void aDeviceSeenLateKeepsTheLineQuietForItsReply_data();
    void aDeviceSeenLateKeepsTheLineQuietForItsReply();
    void fastDeadlineEndsTheExchange();
    void brokenReplyEndsTheExchange_data();
    void brokenReplyEndsTheExchange();
    void closedPortFailsRequestsAtOnceWithoutWriting();
    void hangUpFailsEveryExchangeAtOnce();
    void aLostPortReopensWhenItsDeviceIsBack();
    void echoIsRemovedBeforeTheReply_data();
    void echoIsRemovedBeforeTheReply();
    void resyncPause_data();
    void resyncPause();
};

namespace {
const QByteArray Read = "01 03 01 6A 00 01 A5 EA";
const QByteArray Reply = "01 03 02 00 01 79 84";
const QByteArray Write = "2F 01 57 08 02 00 05 96"; // a KX200 write, confirmed by its copy
} // namespace

void tst_TransactionEngine::echoIsRemovedBeforeTheReply_data()
{
    // The chunks as the link hands them over; no reply: the exchange still waits.
    for (const char *column : {"fast", "seenEchoing", "echoed"})
        QTest::addColumn<bool>(column);
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("stray");
    const auto row = [](const char *name, bool fast, bool seen, bool echoed, EchoMode mode,
                        const QByteArray &request, const QByteArrayList &chunks,
                        const QByteArray &reply, int stray = 0) {
        QTest::newRow(name) << fast << seen << echoed << int(mode) << request << chunks << reply
                            << stray;
    };
    using enum EchoMode;
    row("fast: echo and reply in one chunk", true, false, true, Auto, Read, {Read + Reply}, Reply);
    row("fast: echo split", true, false, true, Auto, Read,
        {"01 03 01", "6A 00 01 A5 EA 01 03", "02 00 01 79 84"}, Reply);
    row("fast: reply in two batches", true, false, false, Auto, Read, {"01 03 02 00", "01 79 84"},
        Reply);
    row("fast, off: the echo is noise", true, false, false, Off, Read, {Read + Reply}, Reply, 1);
    row("standard: echo, then reply", false, false, true, Auto, Read, {Read, Reply}, Reply);
    row("auto: a write's copy is its reply", true, false, false, Auto, Write, {Write}, Write);
    row("auto: a write's echo and reply", true, false, true, Auto, Write, {Write + Write}, Write);
    row("auto, seen echoing: a write's echo waits", true, true, true, Auto, Write, {Write}, {});
    row("on: a write's echo waits", true, false, true, On, Write, {Write}, {});
}

void tst_TransactionEngine::echoIsRemovedBeforeTheReply()
{
    QFETCH(bool, fast);
    QFETCH(bool, seenEchoing);
    QFETCH(int, mode);
    QFETCH(QByteArray, request);
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArray, reply);
    FakeCommLink port;
    TransactionEngine engine(&port);
    engine.setReplyRule(std::make_shared<BusReplyRule>());
    engine.setTiming(fast ? TransactionEngine::Timing::Fast : TransactionEngine::Timing::Standard);
    engine.setEchoMode(EchoMode(mode));
    QList<TransactionRecord> finished;
    connect(&engine, &TransactionEngine::exchangeFinished, this,
            [&](const TransactionRecord &record, qint64) { finished.append(record); });
    Requester requester;
    if (seenEchoing) {
        engine.submit(::request(&requester, Read));
        port.receiveHex(Read + Reply);
        QVERIFY(engine.lineEchoes());
        finished.clear();
        engine.guardOver();
    }
    QSignalSpy stray(&engine, &TransactionEngine::strayReceived);
    engine.submit(::request(&requester, request));
    for (const QByteArray &chunk : chunks)
        port.receiveHex(chunk);
    QCOMPARE(finished.size(), reply.isEmpty() ? 0 : 1);
    QCOMPARE(engine.isBusy(), reply.isEmpty());
    if (reply.isEmpty())
        return;
    const TransactionRecord &record = finished.first();
    QCOMPARE(FakeCommLink::hex(
                 QByteArray(reinterpret_cast<const char *>(record.RxFrame), record.RxLength)),
             FakeCommLink::normalise(reply));
    QTEST(record.Echoed, "echoed");
    QTEST(int(stray.size()), "stray");
}

void tst_TransactionEngine::resyncPause_data()
{
    QTest::addColumn<int>("resyncMs");
    QTest::addColumn<bool>("otherFamily");
    QTest::addColumn<int>("sinceMs");
    QTest::addColumn<int>("waitMs");
    QTest::newRow("same family") << 500 << false << 0 << 0;
    QTest::newRow("part waited") << 500 << true << 200 << 300;
    QTest::newRow("all waited") << 500 << true << 800 << 0;
    QTest::newRow("clock behind") << 500 << true << -5 << 500;
}

void tst_TransactionEngine::resyncPause()
{
    QFETCH(int, resyncMs);
    QFETCH(bool, otherFamily);
    QFETCH(int, sinceMs);
    QTEST(TransactionEngine::resyncWaitMs(resyncMs, otherFamily, sinceMs), "waitMs");
    // In the engine: a Modbus request after a slash exchange waits for the pause's timer.
    FakeCommLink port;
    TransactionEngine engine(&port);
    engine.setReplyRule(std::make_shared<BusReplyRule>());
    engine.setTiming(TransactionEngine::Timing::Fast);
    engine.setResyncMs(60000);
    Requester requester;
    engine.submit(::request(&requester, "2F 01 52 08 02 8C"));
    engine.replyDeadline();
    engine.submit(::request(&requester, Read));
    QCOMPARE(port.written.size(), 1);
}

void tst_TransactionEngine::submissionWhileIdleGoesOnTheLineAtOnce()
{
    FakeCommLink port;
    TransactionEngine engine(&port);
    Requester requester;
    QSignalSpy frames(&engine, &TransactionEngine::frameShown);
    engine.submit(request(&requester, "01 03 01 6A 00 01 A5 EA"));
    QCOMPARE(port.written.size(), 1);
    QCOMPARE(port.lastWrittenHex(), QByteArray("01 03 01 6A 00 01 A5 EA"));
    QVERIFY(engine.isBusy());
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.at(0).at(0).toString(), QStringLiteral("RS233(Send):01 03 01 6A 00 01 A5 EA "));
}

void tst_TransactionEngine::queuedSubmissionsKeepTheirOrderWithoutOverlap()
{
    FakeCommLink port;
    port.deferReplies = true;
    port.script("01", "A1");
    port.script("02", "A2");
    port.script("03", "A3");
    TransactionEngine engine(&port);
    Requester requester;
    engine.submit(request(&requester, "01"));
    engine.submit(request(&requester, "02"));
    engine.submit(request(&requester, "03"));
    QCOMPARE(port.written.size(), 1);
    QCOMPARE(engine.pendingCount(), 2);
    for (int sent = 1; sent <= 3; ++sent) {
        QCOMPARE(port.written.size(), sent); // nothing else goes out before the reply
        port.deliverPending();
        QTRY_COMPARE(requester.completions.size(), sent);
        QTRY_COMPARE(port.written.size(), qMin(sent + 1, 3));
    }
    QCOMPARE(port.written, (QList<QByteArray>{"\x01", "\x02", "\x03"}));
    QCOMPARE(requester.completions.at(2).RxFrame[0], uint8_t(0xA3));
}

void tst_TransactionEngine::timeOutOnTheFourthTick()
{
    FakeCommLink port;
    TransactionEngine engine(&port);
    Requester requester;
    engine.submit(request(&requester, "01 03"));
    for (int tick = 1; tick <= 3; ++tick) {
        engine.RS232OnTime(); // 3000 ms is not yet beyond the limit
        QVERIFY(engine.isBusy());
    }
    engine.RS232OnTime();
    QVERIFY(!engine.isBusy());
    QTRY_COMPARE(requester.completions.size(), 1);
    QCOMPARE(requester.completions[0].Result, TransactionResult::TimeOut);
    QCOMPARE(requester.completions[0].RxLength, -1);
}

void tst_TransactionEngine::replyCompletesWithItsBytes()
{
    FakeCommLink port;
    port.script("01 03 01 6A 00 01 A5 EA", "01 03 02 00 01 79 84");
    TransactionEngine engine(&port);
    Requester requester;
    QSignalSpy frames(&engine, &TransactionEngine::frameShown);
    engine.submit(request(&requester, "01 03 01 6A 00 01 A5 EA", 1, Msg::DetectKX100Result));
    QTRY_COMPARE(requester.completions.size(), 1);
    const TransactionRecord &done = requester.completions[0];
    QCOMPARE(done.RxLength, 7);
    QCOMPARE(done.Result, TransactionResult::Ok);
    QCOMPARE(done.Slot, 1);
    QCOMPARE(done.NotifyMessage, Msg::DetectKX100Result);
    QCOMPARE(frames.last().at(0).toString(), QStringLiteral("RS232(Recieve):01 03 02 00 01 79 84 "));
    QVERIFY(!engine.isBusy());
}

void tst_TransactionEngine::replyLongerThanTheRecordIsCut()
{
    FakeCommLink port;
    TransactionEngine engine(&port);
    Requester requester;
    engine.submit(request(&requester, "01"));
    port.receive(QByteArray(2048, '\x55'));
    QTRY_COMPARE(requester.completions.size(), 1);
    QCOMPARE(requester.completions[0].RxLength, TransactionRecord::FrameSize);
}

void tst_TransactionEngine::strayBytesRestartThePortOnce()
{
    FakeCommLink port;
    TransactionEngine engine(&port);
    Requester requester;
    port.receiveHex("01 02 03");
    QCOMPARE(port.stopCount, 1);
    QCOMPARE(port.startCount, 1);
    QTest::qWait(10);
    QVERIFY(requester.completions.isEmpty());
}

void tst_TransactionEngine::finishedExchangesAndStrayChunksAreReported()
{
    FakeCommLink port;
    TransactionEngine engine(&port);
    Requester requester;
    QList<TransactionRecord> finished;
    connect(&engine, &TransactionEngine::exchangeFinished, this,
            [&](const TransactionRecord &record, qint64 ms) {
                QVERIFY(ms >= 0);
                finished.append(record);
            });
    QSignalSpy stray(&engine, &TransactionEngine::strayReceived);
    engine.submit(request(&requester, "01 03", 4));
    for (int tick = 0; tick < 4; ++tick)
        engine.RS232OnTime();
    port.receiveHex("AA BB"); // after the time-out: nobody waits for it
    engine.submit(request(&requester, "02 03", 5));
    port.receiveHex("02 03 02");
    QCOMPARE(finished.size(), 2);
    QCOMPARE(finished[0].Slot, 4);
    QCOMPARE(finished[0].Result, TransactionResult::TimeOut);
    QCOMPARE(finished[1].RxLength, 3);
    QCOMPARE(stray.size(), 1);
    QCOMPARE(stray[0][0].toByteArray(), QByteArray::fromHex("AABB"));
}

void tst_TransactionEngine::restartDuringTransactionKeepsItRunning()
{
    FakeCommLink port;
    TransactionEngine engine(&port);
    Requester requester;
    engine.submit(request(&requester, "01"));
    SendMessage(&engine, Msg::RestartPort);
    QCOMPARE(port.stopCount, 1);
    QCOMPARE(port.startCount, 1);
    QVERIFY(engine.isBusy());
    port.receiveHex("02");
    QTRY_COMPARE(requester.completions.size(), 1);
    QCOMPARE(requester.completions[0].Result, TransactionResult::Ok);
}

void tst_TransactionEngine::completionHandlerSubmittingKeepsQueueOrder()
{
    FakeCommLink port;
    port.deferReplies = true;
    for (const char *hex : {"01", "02", "03", "04"})
        port.script(hex, "AA");
    TransactionEngine engine(&port);
    Requester requester;
    bool resubmitted = false;
    requester.onCompletion = [&](const TransactionRecord &) {
        if (!resubmitted) {
            resubmitted = true;
            engine.submit(request(&requester, "04"));
        }
    };
    engine.submit(request(&requester, "01"));
    engine.submit(request(&requester, "02"));
    engine.submit(request(&requester, "03"));
    while (requester.completions.size() < 4) {
        const int before = requester.completions.size();
        QCOMPARE(port.pending.size(), 1); // exactly one exchange on the line
        port.deliverPending();
        QTRY_COMPARE(requester.completions.size(), before + 1);
        QTest::qWait(1);
    }
    QCOMPARE(port.written, (QList<QByteArray>{"\x01", "\x02", "\x03", "\x04"}));
}

void tst_TransactionEngine::completionOwnsItsRecord()
{
    FakeCommLink port;
    port.script("01", "11");
    port.script("02", "22");
    TransactionEngine engine(&port);
    QList<TransactionPtr> kept;
    struct Keeper : QObject
    {
        QList<TransactionPtr> *kept;
        void customEvent(QEvent *e) override
        {
            kept->append(static_cast<WindowMessage *>(e)->sharedRecord());
        }
    } keeper;
    keeper.kept = &kept;
    engine.submit(request(&keeper, "01"));
    engine.submit(request(&keeper, "02"));
    QTRY_COMPARE(kept.size(), 2);
    // The first completion still holds its own reply after the second exchange.
    QCOMPARE(kept[0]->RxFrame[0], uint8_t(0x11));
    QCOMPARE(kept[1]->RxFrame[0], uint8_t(0x22));
}

void tst_TransactionEngine::fullRingCompletesWithTimeOut()
{
    FakeCommLink port;
    TransactionEngine engine(&port);
    Requester requester;
    QSignalSpy overflow(&engine, &TransactionEngine::queueOverflow);
    engine.submit(request(&requester, "01")); // on the line
    for (int i = 0; i < TransactionEngine::RingSize - 1; ++i)
        engine.submit(request(&requester, "02"));
    QCOMPARE(engine.pendingCount(), TransactionEngine::RingSize - 1);
    QVERIFY(overflow.isEmpty());
    engine.submit(request(&requester, "03", 7));
    QCOMPARE(overflow.size(), 1);
    QCOMPARE(overflow.at(0).at(0).toInt(), 7);
    QTRY_COMPARE(requester.completions.size(), 1);
    QCOMPARE(requester.completions[0].Slot, 7);
    QCOMPARE(requester.completions[0].Result, TransactionResult::TimeOut);
    QCOMPARE(port.written.size(), 1);
}

void tst_TransactionEngine::frameText_data()
{
    QTest::addColumn<bool>("request");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("request") << true << QByteArray::fromHex("0103016A0001A5EA")
                             << "RS233(Send):01 03 01 6A 00 01 A5 EA ";
    QTest::newRow("high byte") << false << QByteArray::fromHex("A0FF80") << "RS232(Recieve):A0 FF 80 ";
    QTest::newRow("empty") << false << QByteArray() << "RS232(Recieve):";
    // 80 reply bytes still fit in 255 characters; the 81st would not.
    QTest::newRow("cut at 255") << false << QByteArray(100, '\x11')
                                << QStringLiteral("RS232(Recieve):") + QString("11 ").repeated(80);
}

void tst_TransactionEngine::frameText()
{
    QFETCH(bool, request);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QString shown = TransactionEngine::frameText(
        request, reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()));
    QCOMPARE(shown, text);
    QVERIFY(shown.size() <= 255);
}

QTEST_GUILESS_MAIN(tst_TransactionEngine)
#include "tst_TransactionEngine.moc"

namespace {
const QByteArray ReadAt5 = "05 03 00 24 00 01 c5 85";
const QByteArray ReplyFrom5 = "05 03 02 00 24 49 9f";

// Completes three ticks short of the limit and the fourth past it.
void timeOut(TransactionEngine &engine)
{
    for (int tick = 0; tick < 4; ++tick)
        engine.RS232OnTime();
}
} // namespace

void tst_TransactionEngine::onlyTheReplyToTheRequestInFlightCompletesIt()
{
    FakeCommLink port;
    TransactionEngine engine(&port);
    engine.setReplyRule(std::make_shared<BusReplyRule>());
    Requester requester;
    engine.submit(request(&requester, ReadAt5));
    port.receiveHex("06 03 02 00 24 0d 9f"); // another slave
    port.receiveHex("45 76 65 6e 00");       // noise
    QCoreApplication::processEvents();
    QVERIFY(engine.isBusy());
    QCOMPARE(requester.completions.size(), 0);
    QCOMPARE(engine.strayCount(), 2);
    QCOMPARE(port.stopCount, 0); // a reply may still come: the port is left alone

    // The link hands on a broken frame together with the whole reply behind it: the frame
    // is stray, the reply is taken.
    port.receiveHex("05 83 02 00 00 " + ReplyFrom5);
    port.receiveHex(ReplyFrom5); // a second copy completes nothing
    QTRY_COMPARE(requester.completions.size(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(requester.completions.size(), 1);
    QCOMPARE(requester.completions[0].RxLength, 7);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(requester.completions[0].RxFrame), 7),
             QByteArray::fromHex(ReplyFrom5));
    QCOMPARE(engine.strayCount(), 4);
}

void tst_TransactionEngine::timeOutGuardHoldsBackRequestsOfTheSameKind()
{
    FakeCommLink port;
    TransactionEngine engine(&port);
    engine.setReplyRule(std::make_shared<BusReplyRule>());
    engine.setGuardMs(60000);
    Requester requester;
    const QByteArray slashRead = "2f 05 52 00 01 87";
    engine.submit(request(&requester, slashRead));
    engine.submit(request(&requester, ReadAt5)); // another protocol
    engine.submit(request(&requester, slashRead));
    timeOut(engine);
    // A late reply to the first cannot pass for the Modbus frame's: that one goes at once.
    QTRY_COMPARE(port.written.size(), 2);
    QVERIFY(engine.isGuarding());

    engine.setGuardMs(1);
    port.receiveHex("00"); // noise never restarts a guard, not even with a shorter time
    QCoreApplication::processEvents();
    QVERIFY(engine.isGuarding());
    QCOMPARE(port.written.size(), 2);
}

void tst_TransactionEngine::lateRepliesNeverShiftTheStream()
{
    FakeCommLink port;
    TransactionEngine engine(&port);
    engine.setReplyRule(std::make_shared<BusReplyRule>());
    engine.setGuardMs(60000);
    Requester requester;
    const QByteArray read25 = "05 03 00 25 00 01 94 45";
    const QByteArray read26 = "05 03 00 26 00 01 64 45";
    engine.submit(request(&requester, ReadAt5));
    engine.submit(request(&requester, read25));
    timeOut(engine);
    // The next exchange with slave 5 reads two registers; a late one-register reply is stray.
    QTRY_COMPARE(port.lastWrittenHex(), FakeCommLink::normalise("05 03 00 25 00 02 d4 44"));
    port.receiveHex(ReplyFrom5);
    QCoreApplication::processEvents();
    QCOMPARE(port.written.size(), 2);
    port.receiveHex("05 03 04 00 01 00 02 6f f2");
    QTRY_COMPARE(port.lastWrittenHex(), FakeCommLink::normalise(read25));
    port.receiveHex("05 03 02 00 25 88 5f");
    QTRY_COMPARE(requester.completions.size(), 2);
    QCOMPARE(requester.completions[0].Result, TransactionResult::TimeOut);
    QCOMPARE(FakeCommLink::hex(
                 QByteArray(reinterpret_cast<const char *>(requester.completions[1].RxFrame),
                            requester.completions[1].RxLength)),
             FakeCommLink::normalise("05 03 02 00 25 88 5f"));
    QCOMPARE(engine.syncCount(), 1);

    // Unanswered synchronisation: one quiet wait; a late frame of the slave in it makes the
    // request fail unsent, and the next synchronising request differs from the last ones.
    engine.submit(request(&requester, read26));
    timeOut(engine); // the read of 0x26
    engine.submit(request(&requester, read26));
    QTRY_COMPARE(port.lastWrittenHex(), FakeCommLink::normalise("05 03 00 26 00 03 e5 84"));
    timeOut(engine);
    QVERIFY(engine.isGuarding());
    port.receiveHex("05 03 02 00 26 c8 5e"); // late, in the wait
    engine.submit(request(&requester, read26));
    QCoreApplication::processEvents();
    QCOMPARE(requester.completions.size(), 3);
    engine.guardOver();
    QTRY_COMPARE(requester.completions.size(), 4);
    QCOMPARE(requester.completions[3].Result, TransactionResult::TimeOut);
    QCOMPARE(port.written.count(QByteArray::fromHex(read26)), 1); // it did not go out again
    QVERIFY(engine.isUnsynchronised(5));
    QTRY_COMPARE(port.lastWrittenHex(), FakeCommLink::normalise("05 03 00 26 00 04 a4 46"));
}

void tst_TransactionEngine::aDeviceSeenLateKeepsTheLineQuietForItsReply_data()
{
    QTest::addColumn<bool>("seenLate");
    QTest::newRow("never seen late: the neighbour goes at once") << false;
    QTest::newRow("seen late: the neighbour waits for its late reply") << true;
}

void tst_TransactionEngine::aDeviceSeenLateKeepsTheLineQuietForItsReply()
{
    QFETCH(bool, seenLate);
    FakeCommLink port;
    TransactionEngine engine(&port);
    engine.setReplyRule(std::make_shared<BusReplyRule>());
    engine.setGuardMs(60000);
    Requester requester;
    const QByteArray read25 = "05 03 00 25 00 01 94 45";
    const QByteArray readAt6 = "06 03 00 24 00 01 c5 b6";
    engine.submit(request(&requester, ReadAt5));
    timeOut(engine);
    engine.submit(request(&requester, read25));
    QTRY_COMPARE(port.lastWrittenHex(), FakeCommLink::normalise("05 03 00 25 00 02 d4 44"));
    if (seenLate) {
        // Both the first read's reply and the synchronising request's come after their time.
        timeOut(engine);
        port.receiveHex(ReplyFrom5);
    }
    port.receiveHex("05 03 04 00 01 00 02 6f f2");
    QTRY_COMPARE(port.lastWrittenHex(), FakeCommLink::normalise(read25));
    QCOMPARE(engine.lateUs(5) >= 0, seenLate);

    // The in-step device times out again while its neighbour's request waits.
    engine.submit(request(&requester, readAt6));
    timeOut(engine);
    QCoreApplication::processEvents();
    QCOMPARE(engine.isGuarding(), seenLate);
    QCOMPARE(port.lastWrittenHex() == FakeCommLink::normalise(readAt6), !seenLate);
    if (seenLate) {
        port.receiveHex("05 03 02 00 25 88 5f"); // lands in silence
        QCoreApplication::processEvents();
        QCOMPARE(port.lastWrittenHex(), FakeCommLink::normalise(read25));
        engine.guardOver();
    }
    QTRY_COMPARE(port.lastWrittenHex(), FakeCommLink::normalise(readAt6));
    port.receiveHex("06 03 02 00 24 0d 9f");
    QTRY_COMPARE(requester.completions.size(), 3);
    QCOMPARE(requester.completions[2].RxLength, 7);
}

void tst_TransactionEngine::fastDeadlineEndsTheExchange()
{
    FakeCommLink port;
    TransactionEngine engine(&port);
    engine.setTiming(TransactionEngine::Timing::Fast);
    engine.setReplyTimeoutMs(5);
    QCOMPARE(engine.replyTimeoutMs(), TransactionEngine::MinReplyTimeoutMs);
    Requester requester;
    engine.submit(request(&requester, ReadAt5));
    engine.RS232OnTime(); // the standard ticks play no part
    timeOut(engine);
    QVERIFY(engine.isBusy());
    engine.replyDeadline();
    QVERIFY(!engine.isBusy());
    QTRY_COMPARE(requester.completions.size(), 1);
    QCOMPARE(requester.completions[0].Result, TransactionResult::TimeOut);
    engine.replyDeadline(); // never a second completion
    QCoreApplication::processEvents();
    QCOMPARE(requester.completions.size(), 1);
}

void tst_TransactionEngine::brokenReplyEndsTheExchange_data()
{
    QTest::addColumn<bool>("fast");
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArray>("reply"); // empty: the exchange times out
    QTest::addColumn<int>("strays");
    const QByteArray half = "05 03 02 00 24 49";
    QTest::newRow("half a reply") << false << QByteArrayList{half} << half << 0;
    QTest::newRow("three bytes") << false << QByteArrayList{"05 03 02"} << QByteArray("05 03 02")
                                 << 0;
    QTest::newRow("reply with a byte after it")
        << false << QByteArrayList{ReplyFrom5 + " ff"} << ReplyFrom5 + " ff" << 0;
    QTest::newRow("reply with another slave's frame close behind it")
        << false << QByteArrayList{ReplyFrom5 + " 06 03 02 00 24 0d 9f"} << ReplyFrom5 << 1;
    QTest::newRow("broken byte count") << false << QByteArrayList{"05 03 07 00 24 49 9f"}
                                       << QByteArray("05 03 07 00 24 49 9f") << 0;
    QTest::newRow("well-formed write echo of the same slave")
        << false << QByteArrayList{"05 10 00 24 00 01 40 46"} << QByteArray() << 1;
    QTest::newRow("another slave's broken reply")
        << false << QByteArrayList{"06 03 02 00"} << QByteArray() << 1;
    QTest::newRow("fast: broken at the deadline") << true << QByteArrayList{half} << half << 0;
    QTest::newRow("fast: noise like a beginning, then the reply")
        << true << QByteArrayList{"05", ReplyFrom5} << ReplyFrom5 << 1;
    QTest::newRow("fast: another slave") << true << QByteArrayList{"06 03 02 00 24 0d 9f"}
                                         << QByteArray() << 1;
}

// A reply that begins right but is short or fails its check ends the exchange, so that the
// reply check reports a communication error; well-formed frames of others never do.
void tst_TransactionEngine::brokenReplyEndsTheExchange()
{
    QFETCH(bool, fast);
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArray, reply);
    QFETCH(int, strays);
    FakeCommLink port;
    TransactionEngine engine(&port);
    engine.setReplyRule(std::make_shared<BusReplyRule>());
    if (fast)
        engine.setTiming(TransactionEngine::Timing::Fast);
    Requester requester;
    engine.submit(request(&requester, ReadAt5));
    for (const QByteArray &chunk : chunks)
        port.receiveHex(chunk);
    if (fast)
        engine.replyDeadline();
    else
        timeOut(engine);
    QTRY_COMPARE(requester.completions.size(), 1);
    const TransactionRecord &done = requester.completions[0];
    if (reply.isEmpty()) {
        QCOMPARE(done.Result, TransactionResult::TimeOut);
    } else {
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(done.RxFrame), done.RxLength),
                 QByteArray::fromHex(reply));
        QVERIFY(ModbusFrame::checkReply(done) != TransactionResult::Ok || reply == ReplyFrom5);
    }
    QCOMPARE(engine.strayCount(), strays);
}

void tst_TransactionEngine::closedPortFailsRequestsAtOnceWithoutWriting()
{
    FakeCommLink port;
    port.open = false;
    TransactionEngine engine(&port);
    Requester requester;
    QSignalSpy frames(&engine, &TransactionEngine::frameShown);
    QSignalSpy unavailable(&engine, &TransactionEngine::portUnavailable);
    for (int i = 0; i < 3; ++i)
        engine.submit(request(&requester, ReadAt5));
    QTRY_COMPARE(requester.completions.size(), 3);
    for (const TransactionRecord &record : requester.completions)
        QCOMPARE(record.Result, TransactionResult::TimeOut);
    QVERIFY(port.written.isEmpty());
    QCOMPARE(unavailable.size(), 3);
    QCOMPARE(frames.last().at(0).toString(), TransactionEngine::closedPortText(QString()));
}

void tst_TransactionEngine::hangUpFailsEveryExchangeAtOnce()
{
    FakeCommLink port;
    TransactionEngine engine(&port);
    Requester requester;
    QSignalSpy lost(&engine, &TransactionEngine::portLost);
    for (int i = 0; i < 3; ++i)
        engine.submit(request(&requester, ReadAt5));
    emit port.OnRequestHangup(&port);
    emit port.OnRequestHangup(&port); // both workers may ask
    QVERIFY(!engine.isBusy());
    QCOMPARE(engine.pendingCount(), 0);
    QTRY_COMPARE(requester.completions.size(), 3);
    for (const TransactionRecord &record : requester.completions)
        QCOMPARE(record.Result, TransactionResult::TimeOut);
    QCOMPARE(lost.size(), 1);
    QCOMPARE(port.stopCount, 1);
    QCOMPARE(port.written.size(), 1);
}

void tst_TransactionEngine::aLostPortReopensWhenItsDeviceIsBack()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FakeCommLink port;
    port.file = dir.filePath(QStringLiteral("usb-adapter"));
    TransactionEngine engine(&port);
    QSignalSpy returned(&engine, &TransactionEngine::portReturned);
    emit port.OnRequestHangup(&port); // pulled: its file is gone
    QVERIFY(!port.isOpen());
    const int starts = port.startCount;
    QFile device(port.file);
    QVERIFY(device.open(QIODevice::WriteOnly)); // put back
    QVERIFY(returned.wait(2000));
    QCOMPARE(port.startCount, starts + 1);
    QVERIFY(port.isOpen());
    Requester requester;
    engine.submit(request(&requester, ReadAt5));
    QCOMPARE(port.written.size(), 1); // no request needed to open it, none lost after
}
