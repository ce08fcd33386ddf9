#include "BusTestSupport.h"
#include "FakeCommLink.h"

#include "bus/BusHost.h"

#include <QCoreApplication>
#include <QTest>

#include <memory>

using namespace BusTestSupport;

// Stands in for the program's main window: keeps what it handles itself and passes every
// other window message on to the bus host.
class ForwardingWindow : public MessageRecorder
{
public:
    BusHost *host = nullptr;

protected:
    void customEvent(QEvent *event) override
    {
        MessageRecorder::customEvent(event);
        if (host && event->type() == WindowMessage::eventType())
            QCoreApplication::sendEvent(host, event);
    }
};

class tst_BusHost : public QObject
{
    Q_OBJECT

private slots:
    void publishesItselfAndRegistry();
    void forwardedMessagesReachOwners();
    void otherMessagesAreNotHandled();
};

void tst_BusHost::publishesItselfAndRegistry()
{
    FakeCommLink link;
    {
        BusHost host(&link);
        QCOMPARE(MainWindow(), &host);
        QCOMPARE(DM(), &host.registry());
    }
    QVERIFY(!MainWindow());
    QVERIFY(!DM());
}

void tst_BusHost::forwardedMessagesReachOwners()
{
    FakeCommLink link;
    ForwardingWindow window;
    SetMainWindow(&window);
    {
        BusHost host(&link, BusHost::Role::Forwarded);
        window.host = &host;
        QCOMPARE(MainWindow(), &window);
        host.engine().setTimerInterval(5);
        host.engine().setTimeOutLimit(15);
        MessageRecorder panel;
        host.registry().setChildrenProvider([&] { return QList<QObject *>{&panel}; });
        link.script(kx200Probe(8), withSum("2F 08 52 08 02 00 08"));
        link.script(withSum("2F 08 57 FA 00 C4 00"), withSum("2F 08 57 FA 00 C4 00"));

        // Detection through the main window: queue, probe, completion 1224, next 1431.
        PostMessage(MainWindow(), Msg::QueueDetection, 8);
        QVERIFY(QTest::qWaitFor([&] { return panel.states().size() == 2; }, 5000));
        QCOMPARE(panel.states(), (StateList{{8, 2}, {8, 1}}));
        // Then a run command, sent as the status panel does, and its completion 1232.
        const qintptr handled = SendMessage(MainWindow(), Msg::OperatorCommand, 0,
                                            (8 << 16) + OperatorCommandCode::Run);
        QCOMPARE(handled, 1); // the host's answer travels back in the forwarded event
        QVERIFY(QTest::qWaitFor([&] { return panel.states().size() == 3; }, 5000));
        QVERIFY(host.registry().GetRunning(8));

        QList<uint32_t> seen;
        for (const auto &r : window.received)
            seen << r.message;
        QVERIFY(seen.contains(Msg::Submit));
        QVERIFY(seen.contains(Msg::DetectKX200Result));
        QVERIFY(seen.contains(Msg::NextDetection));
        QVERIFY(seen.contains(Msg::CommandResult));
        QCOMPARE(link.written.size(), 2);
        window.host = nullptr;
    }
    QVERIFY(!DM());
    SetMainWindow(nullptr);
}

void tst_BusHost::otherMessagesAreNotHandled()
{
    FakeCommLink link;
    BusHost host(&link);
    QCOMPARE(SendMessage(&host, Msg::OpenMonitor, 3), 0);
    QCOMPARE(SendMessage(&host, Msg::InverterState, 0, (3 << 16) + 1), 0);
    QCOMPARE(SendMessage(&host, Msg::NextDetection), 1);
    QCOMPARE(SendMessage(&host, Msg::RestartPort), 1);
    QCOMPARE(link.stopCount, 1);
    QCOMPARE(link.startCount, 1);
}

QTEST_GUILESS_MAIN(tst_BusHost)
#include "tst_BusHost.moc"
