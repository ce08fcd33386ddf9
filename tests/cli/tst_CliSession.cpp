#include "bus/BusHost.h"
#include "bus/TDM.h"
#include "cli/CliSession.h"
#include "cli/InverterTransfer.h"
#include "serial/MessageNumbers.h"
#include "serial/TComm32.h"
#include "sim/SimulatedPlant.h"

#include <QtTest>

// The command-line session on the simulated plant (KX100 at 1, KX200 at 2, KX300 at 3) in
// fast timing: faults of the line must never put a value under the wrong register nor make a
// healthy drive look absent or faulty.
class tst_CliSession : public QObject
{
    Q_OBJECT

    std::unique_ptr<CliSession> open(int timeoutMs = 300)
    {
        auto session = std::make_unique<CliSession>();
        CliSession::Settings settings;
        settings.simulate = true;
        settings.timeoutMs = timeoutMs;
        QString why;
        if (!session->open(settings, &why))
            qWarning("%s", qPrintable(why));
        return session;
    }

    static std::optional<TransactionRecord> read(CliSession &session, int address, int reg)
    {
        return session.exchange(address, 0, [reg](TDM &dm, TransactionRecord &record) {
            return dm.ReadRegister(reg, record);
        });
    }

    // Reads KX100 parameters; every value taken must be the drive's own for that register.
    static int readChecked(CliSession &session, int *mismatches)
    {
        const int index = session.plant()->bus().indicesAt(1).first();
        int ok = 0;
        for (int reg = 257; reg < 267; ++reg) {
            const auto record = read(session, 1, reg);
            if (!record || record->Result != TransactionResult::Ok)
                continue;
            ++ok;
            const uint16_t value = uint16_t((record->RxFrame[3] << 8) | record->RxFrame[4]);
            if (value != session.plant()->bus().registerValue(index, reg).value_or(0xFFFF))
                ++*mismatches;
        }
        return ok;
    }

private slots:
    void lateRepliesAreNeverTakenForTheNextRequest()
    {
        const auto session = open(300);
        QVERIFY(session->isOpen());
        QVERIFY(session->ensureInverter(1, QStringLiteral("KX100"), nullptr));
        // Consecutive registers hold different values, so a mix-up would show.
        const int index = session->plant()->bus().indicesAt(1).first();
        for (int reg = 257; reg < 267; ++reg)
            session->plant()->bus().setRegisterValue(index, reg, uint16_t(reg % 2 ? 1 : 2));

        session->plant()->bus().setFaultAt(1, SimFault::LateReply, 450);
        int mismatches = 0;
        readChecked(*session, &mismatches);
        QCOMPARE(mismatches, 0);
        QVERIFY(session->host().engine().strayCount() > 0);

        // Once the drive answers in time again, every read is its own.
        session->plant()->bus().setFaultAt(1, SimFault::None);
        QCOMPARE(readChecked(*session, &mismatches), 10);
        QCOMPARE(mismatches, 0);
    }

    // A drive answering late by a multiple of the time-out, or deaf for a while after a frame
    // of the other protocol: detection names its model or nothing, never another model, and
    // no read takes a value that is not its register's.
    void lateOrDeafDrivesGiveNoWrongModelNorValue_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("faultMs");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("mustFind"); // the model must be found, not only not mistaken
        for (const double times : {0.5, 1.0, 2.0, 3.0, 5.0}) {
            QTest::addRow("KX100 late %.1fx", times)
                << 1 << int(SimFault::LateReply) << int(times * 60) << 60 << (times < 1);
        }
        QTest::newRow("KX300 late 2x") << 3 << int(SimFault::LateReply) << 120 << 60 << false;
        QTest::newRow("KX100 deaf 500 ms") << 1 << int(SimFault::Deaf) << 500 << 300 << true;
        QTest::newRow("KX300 deaf 500 ms") << 3 << int(SimFault::Deaf) << 500 << 300 << true;
    }

    void lateOrDeafDrivesGiveNoWrongModelNorValue()
    {
        QFETCH(int, address);
        QFETCH(int, fault);
        QFETCH(int, faultMs);
        QFETCH(int, timeoutMs);
        QFETCH(bool, mustFind);
        const auto session = open(timeoutMs);
        SimulatedBus &bus = session->plant()->bus();
        const int index = bus.indicesAt(1).first();
        for (int reg = 257; reg < 267; ++reg)
            bus.setRegisterValue(index, reg, uint16_t(reg));
        bus.setFaultAt(address, SimFault(fault), faultMs);

        const QString model = address == 1 ? "KX100" : "KX300";
        const QList<CliSession::Detection> found = session->detect({address});
        QCOMPARE(found.size(), 1);
        QVERIFY2(found.first().model == model || (!mustFind && found.first().model.isEmpty()),
                 qPrintable(found.first().model));
        if (address != 1)
            return;
        QVERIFY(session->ensureInverter(1, QStringLiteral("KX100"), nullptr));
        int mismatches = 0;
        readChecked(*session, &mismatches);
        QCOMPARE(mismatches, 0);
    }

    void noisyOrSplitRepliesRejectNoHealthyDrive_data()
    {
        QTest::addColumn<int>("faulty");
        QTest::addColumn<int>("fault");
        QTest::newRow("noise from the KX200") << 2 << int(SimFault::StrayBytes);
        QTest::newRow("split replies from the KX100") << 1 << int(SimFault::SplitReply);
    }

    void noisyOrSplitRepliesRejectNoHealthyDrive()
    {
        QFETCH(int, faulty);
        QFETCH(int, fault);
        const auto session = open();
        SimulatedBus &bus = session->plant()->bus();
        SimulatedBus::Timing timing = bus.timing();
        timing.strayIntervalMs = 40;
        bus.setTiming(timing);
        bus.setFaultAt(faulty, SimFault(fault));

        const QStringList models{QString(), "KX100", "KX200", "KX300"};
        for (int round = 0; round < 3; ++round) {
            for (const CliSession::Detection &d : session->detect({1, 2, 3})) {
                if (d.address == faulty)
                    continue;
                QCOMPARE(d.state, int(InverterStateCode::Present));
                QCOMPARE(d.model, models[d.address]);
            }
        }
        int mismatches = 0;
        if (faulty != 1)
            readChecked(*session, &mismatches);
        QCOMPARE(mismatches, 0);
    }

    void emptyAddressAndSilentDriveTimeOut()
    {
        const auto session = open();
        const QList<CliSession::Detection> found = session->detect({20});
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().state, int(InverterStateCode::NoInverter));
        QVERIFY(!session->registry().GetInverter(20));

        QVERIFY(session->ensureInverter(3, QStringLiteral("KX300"), nullptr));
        session->plant()->bus().setFaultAt(3, SimFault::Silent);
        const auto record = read(*session, 3, 1052);
        QVERIFY(record);
        QCOMPARE(record->Result, int(TransactionResult::TimeOut));
        QVERIFY(!session->linkLost());
    }

    void hangUpEndsTheTransferAtOnce()
    {
        const auto session = open();
        QVERIFY(session->ensureInverter(1, QStringLiteral("KX100"), nullptr));
        InverterTransfer transfer(session.get());
        int steps = 0;
        // The device goes away a few parameters into the upload.
        transfer.setProgressHandler([&](const QString &) {
            if (++steps == 5)
                session->plant()->stop();
        });
        const InverterTransfer::Result result = transfer.upload(1);
        QVERIFY(session->linkLost());
        QCOMPARE(result.error, session->linkLostText());
        QVERIFY(result.error.contains(session->devicePath()));
        QVERIFY(!session->port().isOpen());

        // Later requests fail at once instead of waiting for a time-out each.
        const auto record = read(*session, 1, 257);
        QVERIFY(record);
        QCOMPARE(record->Result, int(TransactionResult::TimeOut));
        QCOMPARE(session->host().engine().pendingCount(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_CliSession)
#include "tst_CliSession.moc"
