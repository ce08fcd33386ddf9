#include "BusTestSupport.h"
#include "FakeCommLink.h"
#include "RecordingNotices.h"

#include "bus/BusHost.h"
#include "bus/OperatorCommands.h"
#include "bus/TInverterBase.h"

#include <QTest>

#include <memory>

using namespace BusTestSupport;

class tst_OperatorCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void commandPutsFrameOnLine_data();
    void commandPutsFrameOnLine();
    void completion_data();
    void completion();
    void commandsThatDoNothing_data();
    void commandsThatDoNothing();
    void slotEmptiedBeforeCompletion();

private:
    // Sends an operator command as the status panel does and waits for its completion.
    void sendCommand(int slot, int command)
    {
        SendMessage(MainWindow(), Msg::OperatorCommand, 0, (qintptr(slot) << 16) + command);
    }
    bool waitIdle()
    {
        return QTest::qWaitFor(
            [&] {
                QCoreApplication::sendPostedEvents();
                return !m_host->engine().isBusy() && m_host->engine().pendingCount() == 0;
            },
            5000);
    }

    std::unique_ptr<FakeCommLink> m_link;
    std::unique_ptr<BusHost> m_host;
    std::unique_ptr<MessageRecorder> m_panel;
    RecordingNotices *m_notices = nullptr;
};

void tst_OperatorCommands::init()
{
    m_notices = RecordingNotices::installNew();
    m_link = std::make_unique<FakeCommLink>();
    m_host = std::make_unique<BusHost>(m_link.get());
    m_host->engine().setTimerInterval(5);
    m_host->engine().setTimeOutLimit(15);
    m_panel = std::make_unique<MessageRecorder>();
    m_host->registry().setChildrenProvider([this] { return QList<QObject *>{m_panel.get()}; });
}

void tst_OperatorCommands::cleanup()
{
    m_host.reset();
    m_panel.reset();
    m_link.reset();
    OperatorNotices::install(nullptr);
}

void tst_OperatorCommands::commandPutsFrameOnLine_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("reverse");
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("frame");
    // KX100 at slot 2: write of the operation word, register 1.
    QTest::newRow("KX100 stop") << "KX100" << false << 0 << withCrc("02 10 00 01 00 01 02 00 00");
    QTest::newRow("KX100 run") << "KX100" << false << 1 << withCrc("02 10 00 01 00 01 02 00 01");
    QTest::newRow("KX100 run reversed")
        << "KX100" << true << 1 << withCrc("02 10 00 01 00 01 02 00 03");
    QTest::newRow("KX100 forward") << "KX100" << true << 2 << withCrc("02 10 00 01 00 01 02 00 01");
    QTest::newRow("KX100 reverse")
        << "KX100" << false << 3 << withCrc("02 10 00 01 00 01 02 00 03");
    // KX200 at slot 2: write of the operation word 0xFA00.
    QTest::newRow("KX200 stop") << "KX200" << false << 0 << withSum("2F 02 57 FA 00 D0 00");
    QTest::newRow("KX200 run") << "KX200" << false << 1 << withSum("2F 02 57 FA 00 C4 00");
    QTest::newRow("KX200 stop reversed") << "KX200" << true << 0 << withSum("2F 02 57 FA 00 D2 00");
    QTest::newRow("KX200 reverse") << "KX200" << false << 3 << withSum("2F 02 57 FA 00 C6 00");
}

void tst_OperatorCommands::commandPutsFrameOnLine()
{
    QFETCH(QString, model);
    QFETCH(bool, reverse);
    QFETCH(int, command);
    QFETCH(QByteArray, frame);
    TDM &dm = m_host->registry();
    model == QStringLiteral("KX100") ? dm.CreateKX100(2) : dm.CreateKX200(2);
    dm.GetInverter(2)->Reverse = reverse;

    sendCommand(2, command);
    // The request is on the line when the command returns.
    QCOMPARE(m_link->written.size(), 1);
    QCOMPARE(m_link->lastWrittenHex(), frame);
    QVERIFY(waitIdle()); // no reply: time-out
    QCOMPARE(m_notices->texts(), QStringList{QStringLiteral("RS232 time out")});
}

void tst_OperatorCommands::completion_data()
{
    QTest::addColumn<QByteArray>("reply"); // empty: none
    QTest::addColumn<QString>("box");      // empty: none
    QTest::addColumn<bool>("running");
    QTest::newRow("echo") << withCrc("05 10 00 01 00 01") << QString() << true;
    QTest::newRow("time-out") << QByteArray() << "RS232 time out" << false;
    QTest::newRow("exception") << withCrc("05 90 04") << "Inverter error" << false;
    QTest::newRow("bad crc") << QByteArray("05 10 00 01 00 01 00 00") << "RS232 communication error"
                             << false;
    // The receive thread's notice of a broken character ("Even").
    QTest::newRow("line error") << QByteArray("45 76 65 6e") << "RS232 communication error"
                                << false;
}

void tst_OperatorCommands::completion()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, box);
    QFETCH(bool, running);
    m_host->registry().CreateKX100(5);
    if (!reply.isEmpty())
        m_link->script(withCrc("05 10 00 01 00 01 02 00 01"), reply);

    sendCommand(5, OperatorCommandCode::Run);
    QVERIFY(waitIdle());
    QVERIFY(QTest::qWaitFor([&] { return !m_panel->states().isEmpty(); }, 5000));

    QCOMPARE(m_panel->states(), (StateList{{5, InverterStateCode::Present}}));
    QCOMPARE(m_host->registry().GetRunning(5), running);
    if (box.isEmpty()) {
        QVERIFY(m_notices->shown.isEmpty());
        return;
    }
    QCOMPARE(m_notices->shown.size(), 1);
    const OperatorNotice &shown = m_notices->shown.first();
    QCOMPARE(shown.text, box);
    QCOMPARE(shown.caption, QStringLiteral("   ПЧ    #5 Message"));
    QCOMPARE(shown.icon, OperatorNotice::Icon::Stop);
    QCOMPARE(shown.slot, 5);
}

void tst_OperatorCommands::commandsThatDoNothing_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("command");
    QTest::newRow("command 4") << 5 << 4;
    QTest::newRow("command 0xFFFF") << 5 << 0xFFFF;
    QTest::newRow("empty slot") << 6 << 1;
    QTest::newRow("slot 32") << 32 << 1;
    QTest::newRow("slot 0xFFFF") << 0xFFFF << 1;
}

void tst_OperatorCommands::commandsThatDoNothing()
{
    QFETCH(int, slot);
    QFETCH(int, command);
    m_host->registry().CreateKX100(5);
    sendCommand(slot, command);
    SendMessage(MainWindow(), Msg::OperatorCommand, 0, -1);
    QVERIFY(!m_host->commands().execute(slot, command));
    QVERIFY(waitIdle());
    QVERIFY(m_link->written.isEmpty());
    QVERIFY(m_panel->received.isEmpty());
    QVERIFY(m_notices->shown.isEmpty());
}

void tst_OperatorCommands::slotEmptiedBeforeCompletion()
{
    m_link->deferReplies = true;
    m_link->script(withCrc("05 10 00 01 00 01 02 00 00"), withCrc("05 10 00 01 00 01"));
    m_host->registry().CreateKX100(5);
    QVERIFY(m_host->commands().execute(5, OperatorCommandCode::Stop));
    m_host->registry().RemoveInverter(5);
    m_link->deliverPending();
    QVERIFY(waitIdle());
    QVERIFY(QTest::qWaitFor([&] { return !m_panel->states().isEmpty(); }, 5000));
    // The windows learn that the slot is empty, and the reply was nobody's to check.
    QCOMPARE(m_panel->states(), (StateList{{5, InverterStateCode::NoInverter}}));
    QCOMPARE(m_notices->texts(), QStringList{QStringLiteral("RS232 communication error")});
    QVERIFY(!m_host->registry().HasInverter(5));
}

QTEST_GUILESS_MAIN(tst_OperatorCommands)
#include "tst_OperatorCommands.moc"
