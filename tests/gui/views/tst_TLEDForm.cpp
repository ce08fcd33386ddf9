#include "FakeCommLink.h"
#include "RecordingDialogs.h"
#include "core/bus/BusTestSupport.h"

#include "bus/BusHost.h"
#include "bus/TInverterBase.h"
#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"
#include "views/ClickablePanel.h"
#include "views/LedIndicator.h"
#include "views/TLEDForm.h"

#include <QTest>

#include <memory>

using BusTestSupport::MessageRecorder;

class tst_TLEDForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void paintsColumn_data();
    void paintsColumn();
    void notificationRepaintsItsColumnOnly();
    void showPaintsEveryAddress();
    void clicks_data();
    void clicks();
    void escapeStopsDetection();

private:
    // "true false value blink" of one LED, colours as #rrggbb.
    static QString look(const LedIndicator *led)
    {
        return QStringLiteral("%1 %2 %3 %4")
            .arg(led->trueColor().name(), led->falseColor().name())
            .arg(int(led->value()))
            .arg(int(led->blink()));
    }

    std::unique_ptr<FakeCommLink> m_link;
    std::unique_ptr<BusHost> m_host;
    std::unique_ptr<MessageRecorder> m_main;
    std::unique_ptr<TLEDForm> m_form;
    RecordingDialogs *m_dialogs = nullptr;
};

void tst_TLEDForm::init()
{
    m_dialogs = RecordingDialogs::installNew();
    m_link = std::make_unique<FakeCommLink>();
    // The registry of a bus host; the messages the panel sends land in a recorder.
    m_host = std::make_unique<BusHost>(m_link.get(), BusHost::Role::Forwarded);
    m_main = std::make_unique<MessageRecorder>();
    SetMainWindow(m_main.get());
    m_form = std::make_unique<TLEDForm>();
}

void tst_TLEDForm::cleanup()
{
    m_form.reset();
    SetMainWindow(nullptr);
    m_main.reset();
    m_host.reset();
    m_link.reset();
    OperatorDialogs::install(nullptr);
}

void tst_TLEDForm::paintsColumn_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("reverse");
    QTest::addColumn<bool>("aux");
    QTest::addColumn<QString>("tile");
    QTest::addColumn<QStringList>("leds");
    QTest::addColumn<int>("interval");

    const QString dark = QStringLiteral("#00ff00 #000080 0 0");
    QTest::newRow("0 no inverter") << 0 << true << true << true << "#008080"
                                   << QStringList{"#ff0000 #800080 1 1", dark, dark, dark} << 500;
    QTest::newRow("1 present, stopped, forward")
        << 1 << false << false << false << "#00ffff"
        << QStringList{"#00ff00 #008000 1 0", "#00ff00 #ff0000 0 0", "#00ff00 #ffff00 0 0",
                       "#00ff00 #008000 0 0"}
        << 500;
    QTest::newRow("1 present, running, reverse, aux")
        << 1 << true << true << true << "#00ffff"
        << QStringList{"#00ff00 #008000 1 0", "#00ff00 #ff0000 1 0", "#00ff00 #ffff00 1 0",
                       "#00ff00 #008000 1 0"}
        << 500;
    QTest::newRow("2 detecting") << 2 << false << false << false << "#ff00ff"
                                 << QStringList{"#00ff00 #008000 1 1", "#00ff00 #ff0000 1 1",
                                                "#00ff00 #ffff00 1 1", "#00ff00 #008000 1 1"}
                                 << 100;
    const QString fault = QStringLiteral("#ff0000 #800080 1 1");
    QTest::newRow("3 fault") << 3 << false << false << false << "#ff0000"
                             << QStringList{fault, fault, fault, fault} << 500;
    QTest::newRow("7 like a fault")
        << 7 << true << true << true << "#ff0000" << QStringList{fault, fault, fault, fault} << 500;
}

void tst_TLEDForm::paintsColumn()
{
    QFETCH(int, state);
    QFETCH(bool, running);
    QFETCH(bool, reverse);
    QFETCH(bool, aux);
    QFETCH(QString, tile);
    QFETCH(QStringList, leds);
    QFETCH(int, interval);

    const int address = 13;
    QVERIFY(m_host->registry().CreateKX200(address));
    TInverterBase *driver = m_host->registry().GetInverter(address);
    driver->Running = running;
    driver->Reverse = reverse;
    driver->AuxFlag = aux;
    // First paint the opposite way, so every property must really be set by the state.
    m_form->ShowState(address, state == 2 ? 0 : 2);

    PostMessage(m_form.get(), Msg::InverterState, 0, (address << 16) + state);
    QCoreApplication::sendPostedEvents(m_form.get());

    QCOMPARE(m_form->tile(address)->color().name(), tile);
    for (int row = 1; row <= 4; ++row) {
        const LedIndicator *led = m_form->led(address, row);
        QCOMPARE(look(led), leds[row - 1]);
        QCOMPARE(led->interval(), interval);
        QCOMPARE(led->isBlinking(), led->value() && led->blink());
    }
    QCOMPARE(m_form->led(address, 1)->shape(), LedIndicator::Shape::Square);
    QCOMPARE(m_form->led(address, 2)->shape(), LedIndicator::Shape::Round);
}

void tst_TLEDForm::notificationRepaintsItsColumnOnly()
{
    for (int address = 0; address < 32; ++address)
        m_form->ShowState(address, 0);
    PostMessage(m_form.get(), Msg::InverterState, 0, (31 << 16) + 2);
    // Addresses outside 0..31 are ignored without touching anything.
    PostMessage(m_form.get(), Msg::InverterState, 0, (32 << 16) + 2);
    PostMessage(m_form.get(), Msg::InverterState, 0, (0xFFFF << 16) + 3);
    QCoreApplication::sendPostedEvents(m_form.get());
    for (int address = 0; address < 32; ++address)
        QCOMPARE(m_form->tile(address)->color().name(),
                 QString(address == 31 ? "#ff00ff" : "#008080"));
    QVERIFY(!m_form->led(32, 1));
    QVERIFY(!m_form->tile(-1));
}

void tst_TLEDForm::showPaintsEveryAddress()
{
    m_host->registry().CreateKX100(3);
    m_host->registry().CreateKX300(30);
    m_host->registry().GetInverter(30)->Running = true;
    for (int address = 0; address < 32; ++address)
        m_form->ShowState(address, 3);
    m_form->show();
    QCOMPARE(m_form->size(), QSize(634, 335));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Управление ПЧ"));
    for (int address = 0; address < 32; ++address) {
        const bool present = address == 3 || address == 30;
        QCOMPARE(m_form->tile(address)->text(), QStringLiteral("#%1").arg(address));
        QCOMPARE(m_form->tile(address)->color().name(), QString(present ? "#00ffff" : "#008080"));
        QCOMPARE(m_form->led(address, 2)->value(), address == 30);
        QCOMPARE(m_form->led(address, 1)->isBlinking(), !present);
    }
    // The panel paints itself; nothing goes to other windows.
    QVERIFY(m_main->received.isEmpty());
}

void tst_TLEDForm::clicks_data()
{
    QTest::addColumn<int>("row"); // 0 the address tile, 1..4 the LEDs
    QTest::addColumn<bool>("present");
    QTest::addColumn<bool>("flag"); // Running for row 2, Reverse for row 3
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<int>("message"); // 0: nothing sent
    QTest::addColumn<int>("wParam");
    QTest::addColumn<int>("lParam");
    QTest::addColumn<QString>("box");

    const QString absent = QStringLiteral("  ПЧ     #5 is not available");
    const QString ask =
        QStringLiteral("  ПЧ     #5 is available\nAre you sure to re-detect the inverter?");
    const int open = int(Msg::OpenMonitor);
    const int detect = int(Msg::QueueDetection);
    const int command = int(Msg::OperatorCommand);
    QTest::newRow("tile, empty") << 0 << false << false << false << 0 << 0 << 0 << absent;
    QTest::newRow("tile, present") << 0 << true << false << false << open << 5 << 0 << "";
    QTest::newRow("search, empty") << 1 << false << false << false << detect << 5 << 0 << "";
    QTest::newRow("search, present, OK") << 1 << true << false << false << detect << 5 << 0 << ask;
    QTest::newRow("search, present, Cancel") << 1 << true << false << true << 0 << 0 << 0 << ask;
    QTest::newRow("run, running") << 2 << true << true << false << command << 0 << (5 << 16) + 0
                                  << "";
    QTest::newRow("run, stopped") << 2 << true << false << false << command << 0 << (5 << 16) + 1
                                  << "";
    QTest::newRow("run, empty") << 2 << false << false << false << 0 << 0 << 0 << absent;
    QTest::newRow("reverse, in reverse")
        << 3 << true << true << false << command << 0 << (5 << 16) + 2 << "";
    QTest::newRow("reverse, forward")
        << 3 << true << false << false << command << 0 << (5 << 16) + 3 << "";
    QTest::newRow("reverse, empty") << 3 << false << false << false << 0 << 0 << 0 << absent;
    QTest::newRow("step LED") << 4 << true << true << false << 0 << 0 << 0 << "";
}

void tst_TLEDForm::clicks()
{
    QFETCH(int, row);
    QFETCH(bool, present);
    QFETCH(bool, flag);
    QFETCH(bool, cancel);
    QFETCH(int, message);
    QFETCH(int, wParam);
    QFETCH(int, lParam);
    QFETCH(QString, box);

    const int address = 5;
    if (present) {
        m_host->registry().CreateKX100(address);
        TInverterBase *driver = m_host->registry().GetInverter(address);
        driver->Running = row == 2 && flag;
        driver->Reverse = row == 3 && flag;
    }
    if (cancel)
        m_dialogs->answers << OperatorDialogs::Answer::Cancel;
    m_form->show();

    QWidget *target =
        row == 0 ? static_cast<QWidget *>(m_form->tile(address)) : m_form->led(address, row);
    QTest::mouseClick(target, Qt::LeftButton);

    if (box.isEmpty()) {
        QVERIFY(m_dialogs->shown.isEmpty());
    } else {
        QCOMPARE(m_dialogs->shown.size(), 1);
        const RecordingDialogs::Shown &shown = m_dialogs->shown.first();
        QCOMPARE(shown.caption, QStringLiteral("System Message"));
        QCOMPARE(shown.text, box);
        const bool question = row == 1;
        QCOMPARE(shown.icon,
                 question ? OperatorDialogs::Icon::Information : OperatorDialogs::Icon::Stop);
        QCOMPARE(shown.buttons,
                 question ? OperatorDialogs::Buttons::OkCancel : OperatorDialogs::Buttons::Ok);
    }
    if (message == 0) {
        QVERIFY(m_main->received.isEmpty());
    } else {
        QCOMPARE(m_main->received.size(), 1);
        QCOMPARE(int(m_main->received[0].message), message);
        QCOMPARE(int(m_main->received[0].wParam), wParam);
        QCOMPARE(int(m_main->received[0].lParam), lParam);
    }
}

void tst_TLEDForm::escapeStopsDetection()
{
    QTest::keyClick(m_form.get(), Qt::Key_Escape);
    QCOMPARE(m_main->received.size(), 1);
    QCOMPARE(m_main->received.first().message, Msg::StopDetection);
}

QTEST_MAIN(tst_TLEDForm)
#include "tst_TLEDForm.moc"
