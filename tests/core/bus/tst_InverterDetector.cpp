#include "BusTestSupport.h"
#include "FakeCommLink.h"

#include "bus/BusHost.h"
#include "bus/InverterDetector.h"
#include "bus/TInverterBase.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace BusTestSupport;

class tst_InverterDetector : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void probeChain_data();
    void probeChain();
    void detectionDiscardsOldDriver();
    void addressesProbedInQueueOrder();
    void sameAddressTwice();
    void slotQueuedWhileChainRuns();
    void outOfRangeSlotsRefused();
    void staleCompletionIgnored();
    void refusedProbeLeavesTheSlotAsItWas();
    void stopSendsNothingMoreAndGivesTheSlotBack();
    void interleavedScanFindsTheChainsModels_data();
    void interleavedScanFindsTheChainsModels();
    void deafDrivesAndTheSecondLook_data();
    void deafDrivesAndTheSecondLook();

private:
    // "slot model state" of each slot's finished chain, in the order given; "slot -" for a slot
    // whose chain has not reported.
    QStringList outcomes(const QList<int> &addresses) const
    {
        QStringList result;
        for (int slot : addresses) {
            const auto it = std::find_if(m_finished->begin(), m_finished->end(),
                                         [slot](const auto &s) { return s[0].toInt() == slot; });
            result << (it == m_finished->end() ? QStringLiteral("%1 -").arg(slot)
                                               : QStringLiteral("%1 %2 %3")
                                                     .arg(slot)
                                                     .arg(m_host->registry().GetTypeName(slot))
                                                     .arg((*it)[1].toInt()));
        }
        return result;
    }
    // Runs until the detector has finished n chains; a pause that holds the line ends at once.
    bool waitForChains(int n)
    {
        return QTest::qWaitFor(
            [&] {
                if (!m_host->engine().isBusy())
                    m_host->engine().guardOver();
                return m_finished->count() >= n && m_host->detector().isIdle();
            },
            5000);
    }
    // A deaf window no test outlasts: every silence after the other family is doubtful.
    static constexpr int LongWindowMs = 600000;
    // A drive that answers the engine's synchronising reads of its probe registers.
    void answerSyncs(int slot)
    {
        const QByteArray address = QByteArray::number(slot, 16).rightJustified(2, '0');
        for (const QByteArray reg : {"01 6A", "04 1C"}) {
            m_link->script(withCrc(address + " 03 " + reg + " 00 02"),
                           withCrc(address + " 03 04 00 00 00 00"));
            m_link->script(withCrc(address + " 03 " + reg + " 00 03"),
                           withCrc(address + " 03 06 00 00 00 00 00 00"));
        }
    }
    // The probes written; the engine's synchronising reads (two or three registers) left out.
    QList<QByteArray> writtenHex() const
    {
        QList<QByteArray> result;
        for (const QByteArray &bytes : m_link->written) {
            if (bytes.size() == 8 && bytes[1] == 3 && (bytes[5] == 2 || bytes[5] == 3))
                continue;
            result << FakeCommLink::hex(bytes);
        }
        return result;
    }

    std::unique_ptr<FakeCommLink> m_link;
    std::unique_ptr<BusHost> m_host;
    std::unique_ptr<MessageRecorder> m_panel;
    std::unique_ptr<QSignalSpy> m_finished;
};

void tst_InverterDetector::init()
{
    m_link = std::make_unique<FakeCommLink>();
    m_host = std::make_unique<BusHost>(m_link.get());
    m_host->engine().setTimerInterval(5);
    m_host->engine().setTimeOutLimit(15);
    m_panel = std::make_unique<MessageRecorder>();
    m_host->registry().setChildrenProvider([this] { return QList<QObject *>{m_panel.get()}; });
    m_finished = std::make_unique<QSignalSpy>(&m_host->detector(), &InverterDetector::slotDetected);
    m_host->detector().setDeafWindow([] { return 0; }); // the scripted drives are never deaf
}

void tst_InverterDetector::cleanup()
{
    m_finished.reset();
    m_host.reset();
    m_panel.reset();
    m_link.reset();
}

void tst_InverterDetector::probeChain_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QByteArray>("kx200Reply"); // empty: no reply
    QTest::addColumn<QByteArray>("kx100Reply");
    QTest::addColumn<QByteArray>("kx300Reply");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("model"); // empty: the slot ends empty
    QTest::addColumn<int>("probes");
    QTest::addColumn<QByteArray>("kx100Again"); // reply to the KX100 probe asked once more

    QTest::newRow("empty address")
        << 5 << QByteArray() << QByteArray() << QByteArray() << int(InverterStateCode::NoInverter)
        << QString() << 2 << QByteArray();
    QTest::newRow("KX200 answers")
        << 3 << withSum("2F 03 52 08 02 00 03") << QByteArray() << QByteArray()
        << int(InverterStateCode::Present) << "KX200" << 1 << QByteArray();
    QTest::newRow("KX200 refuses")
        << 3 << withSum("2F 03 72 08 02 00 00") << QByteArray() << QByteArray()
        << int(InverterStateCode::Fault) << "KX200" << 1 << QByteArray();
    QTest::newRow("KX200 corrupt")
        << 3 << QByteArray("2F 03 52 08 02 00 03 00") << QByteArray() << QByteArray()
        << int(InverterStateCode::Fault) << "KX200" << 1 << QByteArray();
    QTest::newRow("KX100 after KX200 time-out")
        << 4 << QByteArray() << withCrc("04 03 02 00 04") << QByteArray()
        << int(InverterStateCode::Present) << "KX100" << 2 << QByteArray();
    QTest::newRow("KX100 exception goes on to KX300")
        << 4 << QByteArray() << withCrc("04 83 02") << withCrc("04 03 02 00 04")
        << int(InverterStateCode::Present) << "KX300" << 3 << QByteArray();
    QTest::newRow("KX100 corrupt")
        << 4 << QByteArray() << QByteArray("04 03 02 00 04 00 00") << QByteArray()
        << int(InverterStateCode::Fault) << "KX100" << 2 << QByteArray();
    QTest::newRow("KX300 answers")
        << 30 << QByteArray() << QByteArray() << withCrc("1E 03 02 00 1E")
        << int(InverterStateCode::Present) << "KX300" << 4 << QByteArray();
    QTest::newRow("KX300 exception")
        << 30 << QByteArray() << QByteArray() << withCrc("1E 83 02")
        << int(InverterStateCode::Fault) << "KX300" << 4 << QByteArray();
    // A drive still deaf from the KX200 probe misses the first KX100 probe.
    QTest::newRow("KX100 answers when asked again")
        << 4 << QByteArray() << QByteArray() << withCrc("04 03 02 00 04")
        << int(InverterStateCode::Present) << "KX100" << 4 << withCrc("04 03 02 00 04");
    QTest::newRow("KX300 refusal, then KX100 answers when asked again")
        << 4 << QByteArray() << QByteArray() << withCrc("04 83 02")
        << int(InverterStateCode::Present) << "KX100" << 4 << withCrc("04 03 02 00 04");
    QTest::newRow("KX100 refuses when asked again")
        << 4 << QByteArray() << QByteArray() << withCrc("04 03 02 00 04")
        << int(InverterStateCode::Present) << "KX300" << 4 << withCrc("04 83 02");
    QTest::newRow("KX100 corrupt when asked again")
        << 4 << QByteArray() << QByteArray() << withCrc("04 03 02 00 04")
        << int(InverterStateCode::Fault) << "KX100" << 4 << QByteArray("04 03 02 00 04 00 00");
}

void tst_InverterDetector::probeChain()
{
    QFETCH(int, slot);
    QFETCH(QByteArray, kx200Reply);
    QFETCH(QByteArray, kx100Reply);
    QFETCH(QByteArray, kx300Reply);
    QFETCH(int, state);
    QFETCH(QString, model);
    QFETCH(int, probes);
    QFETCH(QByteArray, kx100Again);
    if (!kx300Reply.isEmpty())
        answerSyncs(slot);
    if (kx100Reply.isEmpty() && !kx100Again.isEmpty())
        m_link->script(kx100Probe(slot), "FF"); // not a reply: the first probe goes unanswered
    if (!kx200Reply.isEmpty())
        m_link->script(kx200Probe(slot), kx200Reply);
    if (!kx100Reply.isEmpty())
        m_link->script(kx100Probe(slot), kx100Reply);
    if (!kx100Again.isEmpty())
        m_link->script(kx100Probe(slot), kx100Again);
    if (!kx300Reply.isEmpty())
        m_link->script(kx300Probe(slot), kx300Reply);

    InverterDetector::queueSlots({slot});
    QVERIFY(waitForChains(1));
    QCoreApplication::sendPostedEvents();

    const QList<QByteArray> expectedProbes =
        QList<QByteArray>{kx200Probe(slot), kx100Probe(slot), kx300Probe(slot), kx100Probe(slot)}
            .mid(0, probes);
    QCOMPARE(writtenHex(), expectedProbes);
    QCOMPARE(m_panel->states(), (StateList{{slot, InverterStateCode::Detecting}, {slot, state}}));
    QCOMPARE(m_finished->first(), (QVariantList{slot, state}));
    QCOMPARE(m_host->registry().HasInverter(slot), !model.isEmpty());
    QCOMPARE(m_host->registry().GetTypeName(slot), model);
    for (int other = 0; other < 32; ++other)
        QVERIFY(other == slot || !m_host->registry().HasInverter(other));
    // Detection shows no boxes and leaves nothing queued.
    QCOMPARE(m_host->detector().queuedCount(), 0);
    QCOMPARE(m_host->engine().pendingCount(), 0);
}

void tst_InverterDetector::detectionDiscardsOldDriver()
{
    TDM &dm = m_host->registry();
    dm.CreateKX100(4);
    dm.GetInverter(4)->setParam(3, 1234);
    m_link->script(kx100Probe(4), withCrc("04 03 02 00 04"));

    QVERIFY(m_host->detector().queueSlot(4));
    QVERIFY(!m_host->detector().isIdle());
    QCOMPARE(m_host->detector().currentSlot(), 4);
    QCOMPARE(dm.GetTypeName(4), QStringLiteral("KX200")); // the first model tried
    QVERIFY(waitForChains(1));

    TInverterBase *found = dm.GetInverter(4);
    QVERIFY(found);
    QCOMPARE(found->GetTypeName(), QStringLiteral("KX100"));
    QCOMPARE(found->param(3), 2000); // factory default again
    QCOMPARE(found->param(106), 4);  // the identification reply was decoded
    QVERIFY(found->AddressConfirmed);
}

void tst_InverterDetector::addressesProbedInQueueOrder()
{
    m_link->script(kx200Probe(5), withSum("2F 05 52 08 02 00 05"));
    m_link->script(kx200Probe(2), withSum("2F 02 52 08 02 00 02"));
    InverterDetector::queueSlots({5, 2});
    QVERIFY(waitForChains(2));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(writtenHex(), (QList<QByteArray>{kx200Probe(5), kx200Probe(2)}));
    QCOMPARE(m_panel->states(), (StateList{{5, 2}, {5, 1}, {2, 2}, {2, 1}}));
}

void tst_InverterDetector::sameAddressTwice()
{
    m_link->script(kx200Probe(7), withSum("2F 07 52 08 02 00 07"));
    InverterDetector::queueSlots({7, 7});
    QVERIFY(waitForChains(2));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(writtenHex(), (QList<QByteArray>{kx200Probe(7), kx200Probe(7)}));
    QCOMPARE(m_panel->states(), (StateList{{7, 2}, {7, 1}, {7, 2}, {7, 1}}));
    QCOMPARE(m_host->registry().GetTypeName(7), QStringLiteral("KX200"));
}

void tst_InverterDetector::slotQueuedWhileChainRuns()
{
    // Slot 9 stays silent (its KX300 probe fails unsent with its synchronisation); slot 12, queued
    // meanwhile, waits its turn.
    m_link->script(kx300Probe(12), withCrc("0C 03 02 00 0C"));
    answerSyncs(12);
    QVERIFY(m_host->detector().queueSlot(9));
    QVERIFY(QTest::qWaitFor([&] { return m_link->written.size() == 2; }, 5000));
    SendMessage(MainWindow(), Msg::QueueDetection, 12);
    QCOMPARE(m_host->detector().queuedCount(), 1);
    QCOMPARE(m_host->detector().currentSlot(), 9);
    SendMessage(MainWindow(), Msg::NextDetection); // a chain runs: nothing starts
    QCOMPARE(m_host->detector().currentSlot(), 9);

    QVERIFY(waitForChains(2));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(writtenHex(), (QList<QByteArray>{kx200Probe(9), kx100Probe(9), kx200Probe(12),
                                              kx100Probe(12), kx300Probe(12), kx100Probe(12)}));
    QCOMPARE(m_panel->states(), (StateList{{9, 2}, {9, 0}, {12, 2}, {12, 1}}));
    QVERIFY(!m_host->registry().HasInverter(9));
    QCOMPARE(m_host->registry().GetTypeName(12), QStringLiteral("KX300"));
}

void tst_InverterDetector::outOfRangeSlotsRefused()
{
    QVERIFY(!m_host->detector().queueSlot(32));
    QVERIFY(!m_host->detector().queueSlot(-1));
    SendMessage(MainWindow(), Msg::QueueDetection, 40);
    SendMessage(MainWindow(), Msg::QueueDetection, qintptr(1) << 40); // would wrap to 0 as int
    QVERIFY(m_host->detector().isIdle());
    QCOMPARE(m_host->detector().queuedCount(), 0);
    QVERIFY(m_link->written.isEmpty());
}

void tst_InverterDetector::staleCompletionIgnored()
{
    // A detection completion that is not the one the chain waits for changes nothing.
    m_link->deferReplies = true;
    m_link->script(kx200Probe(6), withSum("2F 06 52 08 02 00 06"));
    QVERIFY(m_host->detector().queueSlot(6));
    auto fake = std::make_shared<TransactionRecord>();
    InitTransaction(*fake, MainWindow(), Msg::DetectKX300Result, 0, 6);
    SendMessage(MainWindow(), Msg::DetectKX300Result, 0, 0, fake);
    QCOMPARE(m_host->detector().currentSlot(), 6);
    QCOMPARE(m_host->registry().GetTypeName(6), QStringLiteral("KX200"));

    // The slot is refilled while the probe is on the line: its reply is not trusted.
    m_host->registry().CreateKX200(6);
    m_link->deliverPending();
    QVERIFY(waitForChains(1));
    QCOMPARE(m_finished->first(), (QVariantList{6, int(InverterStateCode::Fault)}));
}

void tst_InverterDetector::refusedProbeLeavesTheSlotAsItWas()
{
    TDM &dm = m_host->registry();
    dm.CreateKX100(4); // a drive answers there, with its own parameter set
    dm.GetInverter(4)->setParam(3, 1234);
    TInverterBase *held = dm.GetInverter(4);
    QSignalSpy full(&m_host->detector(), &InverterDetector::queueFull);

    // The request queue is full (a transfer on the line, 499 waiting): no probe is sent and
    // nothing is taken for silence.
    m_link->deferReplies = true;
    TransactionRecord filler;
    InitTransaction(filler, nullptr, 0, 0, 1);
    filler.TxLength = 1;
    for (int i = 0; i < TransactionEngine::RingSize; ++i)
        m_host->engine().submit(filler);
    QCOMPARE(m_host->engine().pendingCount(), TransactionEngine::RingSize - 1);
    QVERIFY(m_host->detector().queueSlot(4));
    QCOMPARE(full.count(), 1);
    QCOMPARE(full.first().first().toInt(), 4);
    QCOMPARE(dm.GetInverter(4), held);
    QVERIFY(m_panel->states().isEmpty());
    QCOMPARE(m_link->written.size(), 1); // the filler on the line only

    // Room for the first probe but not for the second: the slot gets its driver back.
    cleanup();
    init();
    TDM &fresh = m_host->registry();
    fresh.CreateKX100(4);
    fresh.GetInverter(4)->setParam(3, 1234);
    held = fresh.GetInverter(4);
    QSignalSpy fullAgain(&m_host->detector(), &InverterDetector::queueFull);
    bool room = true;
    m_host->detector().setRoomCheck([&room] { return room; });
    QVERIFY(m_host->detector().queueSlot(4));
    QCOMPARE(writtenHex(), QList<QByteArray>{kx200Probe(4)});
    room = false; // the KX200 probe times out on a full queue
    QVERIFY(waitForChains(1));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(writtenHex(), QList<QByteArray>{kx200Probe(4)});
    QCOMPARE(fullAgain.count(), 1);
    QCOMPARE(fresh.GetInverter(4), held);
    QCOMPARE(fresh.GetInverter(4)->param(3), 1234);
    QCOMPARE(m_panel->states(), (StateList{{4, 2}, {4, 1}}));
}

void tst_InverterDetector::stopSendsNothingMoreAndGivesTheSlotBack()
{
    TDM &dm = m_host->registry();
    dm.CreateKX300(9);
    TInverterBase *held = dm.GetInverter(9);
    QSignalSpy progress(&m_host->detector(), &InverterDetector::progress);
    QSignalSpy finished(&m_host->detector(), &InverterDetector::finished);
    for (int slot : {9, 10, 11})
        QVERIFY(m_host->detector().queueSlot(slot));
    QCOMPARE(progress.first(), (QVariantList{9, 1, 1}));
    QCOMPARE(progress.last(), (QVariantList{9, 1, 3}));

    // Stopped with the KX200 probe of 9 on the line: it finishes (silence), nothing follows.
    SendMessage(MainWindow(), Msg::StopDetection);
    QCOMPARE(m_host->detector().queuedCount(), 0);
    QVERIFY(finished.isEmpty());
    QVERIFY(QTest::qWaitFor([&] { return !finished.isEmpty(); }, 5000));
    QCOMPARE(finished.first(), QVariantList{true});
    QCOMPARE(writtenHex(), QList<QByteArray>{kx200Probe(9)});
    QCOMPARE(dm.GetInverter(9), held);
    QCOMPARE(m_panel->states(), (StateList{{9, 2}, {9, 1}}));
    QCOMPARE(progress.count(), 3);

    // A later run counts afresh.
    QVERIFY(m_host->detector().queueSlot(12));
    QCOMPARE(progress.last(), (QVariantList{12, 1, 1}));
    QVERIFY(waitForChains(2));
    // A stop with nothing running says nothing.
    QVERIFY(QTest::qWaitFor([&] { return finished.size() == 2; }, 5000));
    m_host->detector().stop();
    QCoreApplication::sendPostedEvents();
    QCOMPARE(finished.size(), 2);
    QCOMPARE(finished.last(), QVariantList{false});
}

QTEST_GUILESS_MAIN(tst_InverterDetector)
void tst_InverterDetector::interleavedScanFindsTheChainsModels_data()
{
    QTest::addColumn<bool>("fast");
    QTest::addColumn<QByteArrayList>("plant"); // request and reply hex, in turn
    QTest::addColumn<QList<int>>("syncing");   // slots that answer synchronising reads
    QTest::addColumn<QStringList>("found");    // "slot model state", in address order

    // Gaps at 0, 5 and 6; a KX300 that refuses the KX100 probe; a KX100 with a broken reply
    // at 4; a KX100 still deaf for the first KX100 probe at 7.
    const QByteArrayList plant{
        kx100Probe(1), withCrc("01 03 02 00 01"), kx200Probe(2), withSum("2F 02 52 08 02 00 02"),
        kx100Probe(3), withCrc("03 83 02"),       kx300Probe(3), withCrc("03 03 02 00 03"),
        kx100Probe(4), "04 03 02 00 04 00 00",    kx100Probe(7), "FF",
        kx100Probe(7), withCrc("07 03 02 00 07")};
    const QStringList found{"0  0",      "1 KX100 1", "2 KX200 1", "3 KX300 1",
                            "4 KX100 3", "5  0",      "6  0",      "7 KX100 1"};
    // A KX300 that is deaf for the first KX100 probe, then refuses the second.
    const QByteArrayList deafKx300{kx100Probe(9),       "FF",          kx100Probe(9),
                                   withCrc("09 83 02"), kx300Probe(9), withCrc("09 03 02 00 09")};
    for (const bool fast : {false, true}) {
        const char *timing = fast ? "fast, interleaved" : "standard, one after the other";
        QTest::addRow("gaps and a faulty drive, %s", timing)
            << fast << plant << QList<int>{7} << found;
        QTest::addRow("deaf KX300 between gaps, %s", timing)
            << fast << deafKx300 << QList<int>{9} << QStringList{"8  0", "9 KX300 1", "10  0"};
    }
}

void tst_InverterDetector::interleavedScanFindsTheChainsModels()
{
    QFETCH(bool, fast);
    QFETCH(QByteArrayList, plant);
    QFETCH(QList<int>, syncing);
    QFETCH(QStringList, found);
    for (qsizetype i = 0; i + 1 < plant.size(); i += 2)
        m_link->script(plant[i], plant[i + 1]);
    for (int slot : syncing)
        answerSyncs(slot);
    if (fast) {
        m_host->engine().setTiming(TransactionEngine::Timing::Fast);
        m_host->engine().setReplyTimeoutMs(TransactionEngine::MinReplyTimeoutMs);
    }
    if (fast) // the deaf drives are found by the second look
        m_host->detector().setDeafWindow([] { return LongWindowMs; });
    QList<int> addresses;
    for (const QString &line : found)
        addresses << line.section(QLatin1Char(' '), 0, 0).toInt();

    InverterDetector::queueSlots(addresses);
    QVERIFY(waitForChains(int(addresses.size())));
    QCoreApplication::sendPostedEvents();

    QCOMPARE(outcomes(addresses), found);
    // Interleaved: some slot's probe goes out between two probes of another slot.
    QList<int> order;
    for (const QByteArray &bytes : m_link->written)
        order << (uint8_t(bytes[0]) == 0x2F ? int(uint8_t(bytes[1])) : int(uint8_t(bytes[0])));
    bool interleaved = false;
    for (qsizetype i = 1; i < order.size(); ++i)
        interleaved =
            interleaved || (order[i] != order[i - 1] && order.mid(0, i).contains(order[i]));
    QCOMPARE(interleaved, fast);
}

void tst_InverterDetector::deafDrivesAndTheSecondLook_data()
{
    QTest::addColumn<bool>("fast");
    QTest::addColumn<int>("windowMs");
    QTest::addColumn<QList<int>>("before");    // slots detected first, in a run of their own
    QTest::addColumn<QByteArrayList>("plant"); // request and reply hex, in turn ("FF": deaf)
    QTest::addColumn<QStringList>("found");    // "slot model state" of the second run
    QTest::addColumn<QString>("probes");       // model:address of every probe written

    const QByteArray kx100At1 = withCrc("01 03 02 00 01");
    QTest::newRow("fast, sure silence: no KX300 probe")
        << true << 0 << QList<int>{} << QByteArrayList{kx100Probe(1), kx100At1}
        << QStringList{"1 KX100 1", "4  0"} << "200:1 200:4 100:1 100:4";
    QTest::newRow("fast, KX100 deaf from the KX200 probes")
        << true << int(LongWindowMs) << QList<int>{}
        << QByteArrayList{kx100Probe(1), "FF",          kx100Probe(1),
                          kx100At1,      kx200Probe(2), withSum("2F 02 52 08 02 00 02")}
        << QStringList{"1 KX100 1", "2 KX200 1"} << "200:1 200:2 100:1 100:1";
    QTest::newRow("standard, KX200 deaf from a KX100 reply")
        << false << int(LongWindowMs) << QList<int>{1}
        << QByteArrayList{kx100Probe(1), kx100At1,      kx200Probe(2),
                          "FF",          kx200Probe(2), withSum("2F 02 52 08 02 00 02")}
        << QStringList{"2 KX200 1"} << "200:1 100:1 200:2 100:2 200:2";
    // Every slot doubtful in both families: the KX200 probes are asked again together, then
    // the KX100 probes of the slots still silent.
    QTest::newRow("fast, second look grouped by family")
        << true << int(LongWindowMs) << QList<int>{1}
        << QByteArrayList{kx100Probe(1), kx100At1,
                          kx200Probe(2), "FF",
                          kx200Probe(2), withSum("2F 02 52 08 02 00 02"),
                          kx100Probe(4), "FF",
                          kx100Probe(4), withCrc("04 03 02 00 04")}
        << QStringList{"2 KX200 1", "4 KX100 1", "5  0"}
        << "200:1 100:1 200:2 200:4 200:5 100:2 100:4 100:5 200:2 200:4 200:5 100:4";
}

void tst_InverterDetector::deafDrivesAndTheSecondLook()
{
    QFETCH(bool, fast);
    QFETCH(int, windowMs);
    QFETCH(QList<int>, before);
    QFETCH(QByteArrayList, plant);
    QFETCH(QStringList, found);
    for (qsizetype i = 0; i + 1 < plant.size(); i += 2)
        m_link->script(plant[i], plant[i + 1]);
    answerSyncs(1);
    answerSyncs(4);
    if (fast) {
        m_host->engine().setTiming(TransactionEngine::Timing::Fast);
        m_host->engine().setReplyTimeoutMs(TransactionEngine::MinReplyTimeoutMs);
    }
    m_host->detector().setDeafWindow([windowMs] { return windowMs; });
    InverterDetector::queueSlots(before);
    QVERIFY(waitForChains(int(before.size())));
    QList<int> addresses;
    for (const QString &line : found)
        addresses << line.section(QLatin1Char(' '), 0, 0).toInt();
    InverterDetector::queueSlots(addresses);
    QVERIFY(waitForChains(int(before.size() + addresses.size())));

    QCOMPARE(outcomes(addresses), found);
    QStringList probes; // the engine's synchronising reads (two or three registers) left out
    for (const QByteArray &bytes : m_link->written) {
        if (uint8_t(bytes[0]) == 0x2F)
            probes << QStringLiteral("200:%1").arg(uint8_t(bytes[1]));
        else if (bytes[5] == 1)
            probes << QStringLiteral("%1:%2").arg(bytes[2] == 1 ? 100 : 300).arg(int(bytes[0]));
    }
    QTEST(probes.join(QLatin1Char(' ')), "probes");
}

#include "tst_InverterDetector.moc"
