#include "RecordingDialogs.h"

#include "app/NoticeQueue.h"
#include "bus/BusHost.h"
#include "monitor/MonitorCaption.h"
#include "params/EditorPlans.h"
#include "params/ParameterTransfer.h"
#include "serial/MessageNumbers.h"
#include "serial/TComm32.h"
#include "serial/WindowMessage.h"
#include "sim/SimTcpGateway.h"
#include "sim/SimulatedPlant.h"
#include "views/TMonitorForm.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

namespace {
constexpr int WaitMs = 20000;

OperatorNotice notice(const QString &text, OperatorNotice::Cause cause = {})
{
    OperatorNotice n;
    n.caption = QStringLiteral("   ПЧ    #1 Message");
    n.text = text;
    n.cause = cause;
    return n;
}
} // namespace

class tst_NoticeQueue : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dialogs = RecordingDialogs::installNew(); }
    void cleanup()
    {
        OperatorNotices::install(nullptr);
        OperatorDialogs::install(nullptr);
    }

    void noticesWaitBehindTheBoxShown();
    void linkDestroyedWhileItsNoticeIsShown();
    void gatewayDropDuringUploadWithTwoMonitors();

private:
    RecordingDialogs *m_dialogs = nullptr;
};

void tst_NoticeQueue::noticesWaitBehindTheBoxShown()
{
    NoticeQueue queue;
    queue.installAsReader();
    QSignalSpy repeats(&queue, &NoticeQueue::repeated);
    const QString loss = QStringLiteral("Нет связи со шлюзом gw:4001: шлюз закрыл соединение");
    const QString timeOut = QStringLiteral("RS232 time out");
    const QString other = QStringLiteral("Inverter error");
    m_dialogs->onMessage = [&](const QString &text) {
        if (text != loss)
            return;
        // While the loss is on screen: its repeats, the exchanges it ended, another text.
        ReportNotice(notice(loss, OperatorNotice::Cause::LineLoss));
        ReportNotice(notice(loss, OperatorNotice::Cause::LineLoss));
        for (int i = 0; i < 3; ++i)
            ReportNotice(notice(timeOut, OperatorNotice::Cause::LostExchange));
        ReportNotice(notice(other));
        ReportNotice(notice(other));
        queue.drain(); // no box over the box
    };
    ReportNotice(notice(loss, OperatorNotice::Cause::LineLoss));
    QVERIFY(m_dialogs->shown.isEmpty()); // never from inside the reporter
    QTRY_COMPARE(m_dialogs->shown.size(), 2);
    QCOMPARE(m_dialogs->texts(), (QStringList{loss, other}));
    QCOMPARE(m_dialogs->shown.first().caption, QStringLiteral("   ПЧ    #1 Message"));
    QCOMPARE(repeats.size(), 3);
    QCOMPARE(repeats.at(1).first().toString(), loss + QStringLiteral(" (×3)"));
    QCOMPARE(repeats.at(2).first().toString(), other + QStringLiteral(" (×2)"));
    // With no loss waiting or shown, an exchange a loss ended has a box of its own.
    ReportNotice(notice(timeOut, OperatorNotice::Cause::LostExchange));
    QTRY_COMPARE(m_dialogs->shown.size(), 3);
    QCOMPARE(queue.waitingCount(), 0);
    QVERIFY(!queue.isShowing());
}

void tst_NoticeQueue::linkDestroyedWhileItsNoticeIsShown()
{
    NoticeQueue queue;
    queue.installAsReader();
    QTcpServer probe; // a port nobody listens on: the connection is refused
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    auto *comm = new TComm32;
    comm->setCommPort(QStringLiteral("tcp:127.0.0.1:%1").arg(port));
    QVERIFY(comm->StartComm());
    m_dialogs->onMessage = [&](const QString &) {
        delete comm;
        comm = nullptr;
    };
    QTRY_COMPARE_WITH_TIMEOUT(m_dialogs->shown.size(), 1, WaitMs);
    QCOMPARE(m_dialogs->texts().first(),
             QStringLiteral("Нет связи со шлюзом 127.0.0.1:%1: соединение отклонено").arg(port));
    QVERIFY(!comm);
}

void tst_NoticeQueue::gatewayDropDuringUploadWithTwoMonitors()
{
    SimulatedPlant plant({{QStringLiteral("KX100"), 1}});
    plant.setTiming(SimulatedBus::Timing::fast());
    QString error;
    const QString device = plant.start(&error);
    QVERIFY2(!device.isEmpty(), qPrintable(error));
    SimTcpGateway gateway;
    QVERIFY2(gateway.start(device, QStringLiteral("127.0.0.1"), 0, &error), qPrintable(error));
    const int port = gateway.port();

    TComm32 comm;
    comm.setCommPort(QStringLiteral("tcp:127.0.0.1:%1").arg(port));
    comm.setExchangeTiming({true, 300});
    BusHost host(&comm);
    NoticeQueue queue;
    queue.installAsReader();
    QVERIFY(comm.StartComm());
    QSignalSpy detected(&host.detector(), &InverterDetector::slotDetected);
    InverterDetector::queueSlots({1});
    QTRY_COMPARE_WITH_TIMEOUT(detected.size(), 1, WaitMs);
    QVERIFY(host.registry().HasInverter(1));

    TMonitorForm monitors[2];
    for (TMonitorForm &monitor : monitors) {
        monitor.setPollInterval(20);
        monitor.setWindowTitle(MonitorCaption::prefix() + QStringLiteral("1"));
        SendMessage(&monitor, Msg::StartMonitor);
        QVERIFY(monitor.isPolling());
    }
    const QList<ParameterTransfer::Plan> plans = EditorPlans::forModel(QStringLiteral("KX100"));
    QVERIFY(!plans.isEmpty());
    ParameterTransfer transfer(plans.first());
    transfer.setRegistry(&host.registry());
    transfer.setSlot(1);
    QSignalSpy progress(&transfer, &ParameterTransfer::progressChanged);
    QList<ParameterTransfer::Outcome> finished;
    connect(&transfer, &ParameterTransfer::finished, this,
            [&](const ParameterTransfer::Outcome &outcome) { finished << outcome; });
    QVERIFY(transfer.startUpload());
    QTRY_VERIFY_WITH_TIMEOUT(progress.size() >= 5, WaitMs);

    gateway.stop(); // the gateway goes away mid-upload
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, WaitMs);
    QVERIFY(!finished.first().ok);
    QSignalSpy exchanges(&host.engine(), &TransactionEngine::exchangeFinished);
    QTRY_VERIFY_WITH_TIMEOUT(exchanges.size() >= 6, WaitMs); // the monitors go on asking
    QCOMPARE(m_dialogs->texts(),
             QStringList{QStringLiteral("Нет связи со шлюзом 127.0.0.1:%1: шлюз закрыл соединение")
                             .arg(port)});
    for (TMonitorForm &monitor : monitors) {
        QVERIFY(monitor.isPolling());
        QVERIFY(!monitor.statusText().isEmpty());
    }

    QVERIFY2(gateway.start(device, QStringLiteral("127.0.0.1"), port, &error), qPrintable(error));
    for (TMonitorForm &monitor : monitors)
        QTRY_VERIFY_WITH_TIMEOUT(monitor.statusText().isEmpty(), WaitMs);
    QCOMPARE(m_dialogs->shown.size(), 1);
    gateway.stop();
}

QTEST_MAIN(tst_NoticeQueue)
#include "tst_NoticeQueue.moc"
