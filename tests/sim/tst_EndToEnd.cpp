// The whole bus path against simulated inverters behind a real pseudo-terminal: the serial
// port with its worker threads, the transaction engine, the drivers, the registry, detection
// and operator commands, exactly as the program wires them.
#include "RecordingNotices.h"
#include "bus/BusHost.h"
#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "serial/MessageNumbers.h"
#include "serial/TComm32.h"
#include "serial/WindowMessage.h"
#include "sim/SimulatedPlant.h"

#include <QtTest>

#include <memory>

namespace {

// Short engine time-out: 100 ms ticks, limit 500 ms, so silence ends an exchange after
// 600 ms, while a real reply (delivered 250 ms after its last byte) still arrives in time.
constexpr int TickMs = 100;
constexpr int LimitMs = 500;
constexpr int WaitMs = 15000;

// A child window as the registry sees it: records the inverter state notifications.
class StateRecorder : public QObject
{
public:
    QList<QPair<int, int>> states; // (slot, state) in arrival order

    int lastState(int slot) const
    {
        for (qsizetype i = states.size() - 1; i >= 0; --i)
            if (states[i].first == slot)
                return states[i].second;
        return -1;
    }

protected:
    void customEvent(QEvent *event) override
    {
        if (event->type() != WindowMessage::eventType())
            return;
        auto *m = static_cast<WindowMessage *>(event);
        if (m->message() == Msg::InverterState)
            states.append({int(m->lParam() >> 16), int(m->lParam() & 0xFFFF)});
    }
};

// A requester: finishes every completion through the registry and keeps the finished record.
class Requester : public QObject
{
public:
    explicit Requester(TDM *registry) : m_registry(registry) {}
    QList<TransactionRecord> done;

protected:
    void customEvent(QEvent *event) override
    {
        if (event->type() != WindowMessage::eventType())
            return;
        auto *m = static_cast<WindowMessage *>(event);
        if (!m->record())
            return;
        m_registry->ProcessReply(*m->record());
        done.append(*m->record());
    }

private:
    TDM *m_registry;
};

} // namespace

class tst_EndToEnd : public QObject
{
    Q_OBJECT

private:
    RecordingNotices *m_dialogs = nullptr;

    // Serial port on the plant's device, bus host as the main window, registry children.
    struct Station
    {
        StateRecorder panel;
        TComm32 port;
        std::unique_ptr<BusHost> host; // goes first: it is connected to the port
    };

    std::unique_ptr<Station> openStation(SimulatedPlant &plant)
    {
        plant.setTiming(SimulatedBus::Timing::fast());
        QString error;
        const QString device = plant.start(&error);
        if (device.isEmpty()) {
            qWarning("plant did not start: %s", qPrintable(error));
            return nullptr;
        }
        auto station = std::make_unique<Station>();
        station->port.setCommPort(device);
        station->port.setBaudRate(9600);
        station->port.setParity(pEven);
        station->port.setExchangeTiming({true, 300}); // the engine takes it up at the start
        station->host = std::make_unique<BusHost>(&station->port);
        station->host->engine().setTimerInterval(TickMs);
        station->host->engine().setTimeOutLimit(LimitMs);
        StateRecorder *panel = &station->panel;
        station->host->registry().setChildrenProvider([panel] { return QList<QObject *>{panel}; });
        if (!station->port.StartComm())
            return nullptr;
        return station;
    }

    static void detect(Station &station, const QList<int> &addresses)
    {
        QSignalSpy ended(&station.host->detector(), &InverterDetector::slotDetected);
        InverterDetector::queueSlots(addresses);
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), addresses.size(), WaitMs);
    }

private slots:
    void init() { m_dialogs = RecordingNotices::installNew(); }
    void cleanup() { OperatorNotices::install(nullptr); }

    void detectionFindsEveryModelAndTheEmptyAddress()
    {
        SimulatedPlant plant; // KX100 at 1, KX200 at 2, KX300 at 3
        auto station = openStation(plant);
        QVERIFY(station);
        TDM &registry = station->host->registry();

        detect(*station, {1, 2, 3, 4});

        QCOMPARE(registry.GetTypeName(1), QStringLiteral("KX100"));
        QCOMPARE(registry.GetTypeName(2), QStringLiteral("KX200"));
        QCOMPARE(registry.GetTypeName(3), QStringLiteral("KX300"));
        QVERIFY(!registry.HasInverter(4));
        // Every chain starts with state 2 and ends with its outcome (the fast timing lets the
        // chains of different slots run side by side).
        QTRY_COMPARE_WITH_TIMEOUT(station->panel.states.size(), 8, WaitMs);
        QMap<int, QList<int>> chains;
        for (const auto &[slot, state] : station->panel.states)
            chains[slot].append(state);
        const QMap<int, QList<int>> expected{
            {1, {2, 1}}, {2, {2, 1}}, {3, {2, 1}}, {4, {2, 0}}};
        QCOMPARE(chains, expected);
        // The identification replies were decoded by the drivers that asked.
        QVERIFY(registry.GetInverter(1)->AddressConfirmed);
        QVERIFY(registry.GetInverter(2)->AddressConfirmed);
        QVERIFY(registry.GetInverter(3)->AddressConfirmed);
        QVERIFY(m_dialogs->shown.isEmpty());
    }

    void refusingInverterIsAFault()
    {
        SimulatedPlant plant({{QStringLiteral("KX200"), 6}});
        auto station = openStation(plant);
        QVERIFY(station);
        plant.bus().setFault(0, SimFault::Refuse);

        detect(*station, {6});
        QCOMPARE(station->panel.lastState(6), int(InverterStateCode::Fault));
        QCOMPARE(station->host->registry().GetTypeName(6), QStringLiteral("KX200"));
    }

    void runAndStopChangeTheOperationWord_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("address");
        QTest::newRow("KX100") << QStringLiteral("KX100") << 1;
        QTest::newRow("KX200") << QStringLiteral("KX200") << 2;
        QTest::newRow("KX300") << QStringLiteral("KX300") << 3;
    }

    void runAndStopChangeTheOperationWord()
    {
        QFETCH(QString, model);
        QFETCH(int, address);
        SimulatedPlant plant({{model, address}});
        auto station = openStation(plant);
        QVERIFY(station);
        detect(*station, {address});
        TDM &registry = station->host->registry();
        QCOMPARE(registry.GetTypeName(address), model);
        QVERIFY(!plant.bus().driveState(0).running);

        const auto command = [&](int code) {
            station->panel.states.clear();
            SendMessage(MainWindow(), Msg::OperatorCommand, 0, (qintptr(address) << 16) + code);
            // The command's completion tells the windows the inverter is present.
            QTRY_COMPARE_WITH_TIMEOUT(station->panel.lastState(address),
                                      int(InverterStateCode::Present), WaitMs);
        };

        command(OperatorCommandCode::Run);
        QVERIFY(plant.bus().driveState(0).running);
        QVERIFY(!plant.bus().driveState(0).reverse);
        QVERIFY(registry.GetRunning(address));

        command(OperatorCommandCode::RunReverse);
        QVERIFY(plant.bus().driveState(0).running);
        QVERIFY(plant.bus().driveState(0).reverse);
        QVERIFY(registry.GetReverse(address));

        command(OperatorCommandCode::Stop);
        QVERIFY(!plant.bus().driveState(0).running);
        QVERIFY(!registry.GetRunning(address));
        QVERIFY(m_dialogs->shown.isEmpty());
    }

    void commandToASilentInverterReportsTheTimeOut()
    {
        SimulatedPlant plant({{QStringLiteral("KX100"), 7}});
        auto station = openStation(plant);
        QVERIFY(station);
        detect(*station, {7});
        plant.bus().setFault(0, SimFault::Silent);

        SendMessage(MainWindow(), Msg::OperatorCommand, 0, (qintptr(7) << 16) + 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_dialogs->shown.size(), 1, WaitMs);
        QCOMPARE(m_dialogs->shown.first().text, QStringLiteral("RS232 time out"));
        QCOMPARE(m_dialogs->shown.first().caption, QStringLiteral("   ПЧ    #7 Message"));
    }

    void writtenParameterReadsBack_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("reg");
        QTest::addColumn<int>("paramIndex");
        QTest::addColumn<int>("value");
        // n003 (register 259), CD16 (register 0x16, entry 16), C1-01 (register 0x200).
        QTest::newRow("KX100 n003") << QStringLiteral("KX100") << 1 << 259 << 3 << 1234;
        QTest::newRow("KX200 CD16") << QStringLiteral("KX200") << 2 << 0x16 << 16 << 321;
        QTest::newRow("KX300 C1-01") << QStringLiteral("KX300") << 3 << 0x200 << 0x200 << 250;
    }

    void writtenParameterReadsBack()
    {
        QFETCH(QString, model);
        QFETCH(int, address);
        QFETCH(int, reg);
        QFETCH(int, paramIndex);
        QFETCH(int, value);
        SimulatedPlant plant({{model, address}});
        auto station = openStation(plant);
        QVERIFY(station);
        detect(*station, {address});
        TDM &registry = station->host->registry();
        QCOMPARE(registry.GetTypeName(address), model);

        Requester requester(&registry);
        TransactionRecord write;
        InitTransaction(write, &requester, Msg::DownloadStep, value, address);
        QVERIFY(registry.WriteRegister(reg, write));
        QTRY_COMPARE_WITH_TIMEOUT(requester.done.size(), 1, WaitMs);
        QCOMPARE(requester.done[0].Result, int(TransactionResult::Ok));
        QCOMPARE(plant.bus().registerValue(0, quint32(reg)), std::optional<quint16>(value));

        // Forget the value in the driver, then read it back from the inverter.
        QVERIFY(registry.GetInverter(address)->setParam(paramIndex, 0));
        TransactionRecord read;
        InitTransaction(read, &requester, Msg::UploadStep, 0, address);
        QVERIFY(registry.ReadRegister(reg, read));
        QTRY_COMPARE_WITH_TIMEOUT(requester.done.size(), 2, WaitMs);
        QCOMPARE(requester.done[1].Result, int(TransactionResult::Ok));
        QCOMPARE(registry.GetInverter(address)->param(paramIndex), value);
    }

    void broadcastAddressChangeIsFoundByALaterDetection()
    {
        SimulatedPlant plant({{QStringLiteral("KX100"), 1}});
        auto station = openStation(plant);
        QVERIFY(station);
        TDM &registry = station->host->registry();
        Requester requester(&registry);

        // As the address dialog does it: the KX200 form first, which nobody answers, then the
        // Modbus form of the model, both broadcast.
        QVERIFY(registry.CreateKX200(9));
        TransactionRecord first;
        InitTransaction(first, &requester, Msg::AddressKX200Result, 0, 9);
        QVERIFY(registry.WriteAddress(first));
        QTRY_COMPARE_WITH_TIMEOUT(requester.done.size(), 1, WaitMs);
        QCOMPARE(requester.done[0].Result, int(TransactionResult::TimeOut));

        QVERIFY(registry.CreateKX100(9));
        TransactionRecord second;
        InitTransaction(second, &requester, Msg::AddressKX100Result, 0, 9);
        QVERIFY(registry.WriteAddress(second));
        QTRY_COMPARE_WITH_TIMEOUT(requester.done.size(), 2, WaitMs);
        registry.RemoveInverter(9);
        QTRY_COMPARE_WITH_TIMEOUT(plant.bus().address(0), 9, WaitMs);

        detect(*station, {1, 9});
        QVERIFY(!registry.HasInverter(1));
        QCOMPARE(registry.GetTypeName(9), QStringLiteral("KX100"));
        QCOMPARE(station->panel.lastState(1), int(InverterStateCode::NoInverter));
        QCOMPARE(station->panel.lastState(9), int(InverterStateCode::Present));
    }
};

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_EndToEnd.moc"
