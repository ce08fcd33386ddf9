#include "FakeCommLink.h"
#include "RecordingDialogs.h"
#include "core/bus/BusTestSupport.h"

#include "bus/BusHost.h"
#include "bus/TInverterBase.h"
#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"
#include "monitor/MonitorCaption.h"
#include "views/SegmentedBarMeter.h"
#include "views/SpinEdit.h"
#include "views/TMonitorForm.h"
#include "monitor/TrendStore.h"
#include "views/TwoStateSwitch.h"

#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSlider>
#include <QStatusTipEvent>
#include <QTest>

#include <cstring>
#include <memory>

using namespace BusTestSupport;

class tst_TMonitorForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void captionChoosesTheSlot_data();
    void captionChoosesTheSlot();
    void captionWithoutSlotServesNothing();
    void untitledWaitsForItsCaption();
    void neverNamedWindowServesNothing();
    void showStartsMonitoring();
    void pollCycle();
    void lateReplyIsDropped();
    void replyForReplacedDriverIsNotDecoded();
    void freqRef_data();
    void freqRef();
    void loweredMaximumPullsTheReferenceIn();
    void typingLimitsSendsNoReference_data();
    void typingLimitsSendsNoReference();
    void referenceHintReachesStatusBar();
    void limitEdits_data();
    void limitEdits();
    void typingInALimitEdit();
    void invalidLimitTextChangesNothing();
    void switchCommands_data();
    void switchCommands();
    void switchEnableCycle();
    void slotEmptiedWithReplyOutstanding();
    void slotEmptiedBetweenPollsAndRefilled();
    void detectionSuspendsPolling();
    void failure_data();
    void failure();
    void failureClosesMdiWindow();

private:
    // A monitor window for the caption's slot, started as its 1433 would start it.
    TMonitorForm *startForm(const QString &number)
    {
        m_form = std::make_unique<TMonitorForm>();
        m_form->setWindowTitle(MonitorCaption::prefix() + number);
        SendMessage(m_form.get(), Msg::StartMonitor);
        return m_form.get();
    }
    QList<TransactionPtr> submitted(uint32_t notifyMessage) const
    {
        QList<TransactionPtr> result;
        for (const MessageRecorder::Received &r : m_main->received)
            if (r.message == Msg::Submit && r.record && r.record->NotifyMessage == notifyMessage)
                result << r.record;
        return result;
    }
    QList<TransactionPtr> polls() const { return submitted(Msg::MonitorPollResult); }
    QList<int> writes() const
    {
        QList<int> values;
        for (const TransactionPtr &r : submitted(Msg::MonitorWriteResult))
            values << r->Value;
        return values;
    }
    QList<qintptr> commands() const
    {
        QList<qintptr> result;
        for (const MessageRecorder::Received &r : m_main->received)
            if (r.message == Msg::OperatorCommand)
                result << r.lParam;
        return result;
    }
    static QByteArray frameHex(const TransactionPtr &record)
    {
        return QByteArray(reinterpret_cast<const char *>(record->TxFrame), record->TxLength)
            .toHex(' ')
            .toUpper();
    }
    // Completes a submitted poll as the engine would, with the reply bytes given.
    void complete(const TransactionPtr &sent, const QByteArray &replyHex)
    {
        auto record = std::make_shared<TransactionRecord>(*sent);
        const QByteArray bytes = QByteArray::fromHex(replyHex);
        std::memcpy(record->RxFrame, bytes.constData(), size_t(bytes.size()));
        record->RxLength = int32_t(bytes.size());
        record->Result = 0;
        SendMessage(m_form.get(), record->NotifyMessage, 0, 0, record);
    }
    void setText(int tag, const QString &text)
    {
        m_form->limitEdit(tag)->setText(text);
        m_form->EditChange(tag);
    }

    std::unique_ptr<FakeCommLink> m_link;
    std::unique_ptr<BusHost> m_host;
    std::unique_ptr<MessageRecorder> m_main;
    std::unique_ptr<MessageRecorder> m_otherChild;
    std::unique_ptr<TMonitorForm> m_form;
    RecordingDialogs *m_dialogs = nullptr;
};

// Slot 1 holds a KX100; its requests and replies (register, value):
const QByteArray ReadFreq = withCrc("01 03 00 24 00 01");    // 36
const QByteArray ReadVoltage = withCrc("01 03 00 28 00 01"); // 40
const QByteArray ReadCurrent = withCrc("01 03 00 27 00 01"); // 39
const QByteArray Freq30 = withCrc("01 03 02 01 2C");         // 300 = 30.0 Hz
const QByteArray Voltage380 = withCrc("01 03 02 01 7C");     // 380 V
const QByteArray Current55 = withCrc("01 03 02 00 37");      // 55 = 5.5 A

void tst_TMonitorForm::init()
{
    m_dialogs = RecordingDialogs::installNew();
    m_link = std::make_unique<FakeCommLink>();
    // The registry of a bus host; submissions and commands land in a recorder.
    m_host = std::make_unique<BusHost>(m_link.get(), BusHost::Role::Forwarded);
    m_main = std::make_unique<MessageRecorder>();
    m_otherChild = std::make_unique<MessageRecorder>();
    SetMainWindow(m_main.get());
    m_host->registry().setChildrenProvider([this] {
        QList<QObject *> children{m_otherChild.get()};
        if (m_form)
            children << m_form.get();
        return children;
    });
    m_host->registry().CreateKX100(1);
}

void tst_TMonitorForm::cleanup()
{
    m_form.reset();
    m_host.reset();
    SetMainWindow(nullptr);
    m_main.reset();
    m_otherChild.reset();
    m_link.reset();
    OperatorDialogs::install(nullptr);
}

void tst_TMonitorForm::captionChoosesTheSlot_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("address");
    QTest::addColumn<QByteArray>("firstPoll"); // empty: no request
    QTest::addColumn<QString>("status");
    QTest::newRow("7") << "7" << 7 << withCrc("07 03 00 24 00 01") << "";
    QTest::newRow("1") << "1" << 1 << ReadFreq << "";
    QTest::newRow("not a number means 0, which is empty")
        << "abc" << 0 << QByteArray() << "Нет ПЧ по адресу #0: опрос остановлен";
    QTest::newRow("45 is no slot")
        << "45" << -1 << QByteArray()
        << "Заголовок окна не называет адрес 0..31: окно не обслуживает ни один ПЧ";
}

void tst_TMonitorForm::captionChoosesTheSlot()
{
    QFETCH(QString, number);
    QFETCH(int, address);
    QFETCH(QByteArray, firstPoll);
    QFETCH(QString, status);
    m_host->registry().CreateKX100(7);
    startForm(number);
    QCOMPARE(m_form->address(), address);
    QCOMPARE(m_form->statusText(), status);
    if (firstPoll.isEmpty()) {
        QVERIFY(polls().isEmpty());
        QVERIFY(!m_form->isPolling());
    } else {
        QCOMPARE(polls().size(), 1);
        QCOMPARE(frameHex(polls().first()), firstPoll);
        QVERIFY(m_form->isPolling());
        QCOMPARE(m_form->pollStep(), 1);
    }
}

void tst_TMonitorForm::captionWithoutSlotServesNothing()
{
    m_host->registry().CreateKX100(0);
    startForm(QStringLiteral("45"));
    m_form->freqRefInd()->setValue(50);
    m_form->freqRefEdit()->setText(QStringLiteral("12"));
    m_form->RnStopSwitchClick(true);
    m_form->ForRevSwitchClick(true);
    m_form->Timer1Timer();
    PostMessage(m_form.get(), Msg::InverterState, 0, (0 << 16) + 1);
    QCoreApplication::sendPostedEvents(m_form.get());
    QVERIFY(m_main->received.isEmpty());
    QVERIFY(!m_form->rnStopSwitch()->isEnabled());
    QVERIFY(!m_form->forRevSwitch()->isEnabled());
    QVERIFY(!m_form->freqRefInd()->isEnabled());
}

void tst_TMonitorForm::untitledWaitsForItsCaption()
{
    m_form = std::make_unique<TMonitorForm>();
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Untitle"));
    SendMessage(m_form.get(), Msg::StartMonitor);
    QCOMPARE(m_form->address(), -1);
    QVERIFY(polls().isEmpty());
    // The caption arrives; the 1433 posted again starts the window under it.
    m_form->setWindowTitle(MonitorCaption::forSlot(1));
    QCoreApplication::sendPostedEvents(m_form.get());
    QCOMPARE(m_form->address(), 1);
    QCOMPARE(polls().size(), 1);
}

void tst_TMonitorForm::neverNamedWindowServesNothing()
{
    // Slot 0 holds an inverter: a window nobody names must not take it for its own.
    m_host->registry().CreateKX100(0);
    m_form = std::make_unique<TMonitorForm>();
    SendMessage(m_form.get(), Msg::StartMonitor);
    for (int i = 0; i < 200 && m_form->address() == -1 && m_form->statusText().isEmpty(); ++i)
        QCoreApplication::sendPostedEvents(m_form.get());
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Untitle"));
    QCOMPARE(m_form->address(), -1);
    QVERIFY(!m_form->statusText().isEmpty());
    QVERIFY(polls().isEmpty());
    QVERIFY(!m_form->isPolling());
    m_form->RnStopSwitchClick(true);
    QVERIFY(commands().isEmpty());
}

void tst_TMonitorForm::showStartsMonitoring()
{
    m_form = std::make_unique<TMonitorForm>();
    m_form->setWindowTitle(MonitorCaption::forSlot(1));
    m_form->show();
    QCOMPARE(m_form->size(), QSize(413, 259));
    QVERIFY(QTest::qWaitFor([&] { return m_form->address() == 1; }, 2000));
    QCOMPARE(polls().size(), 1);
    QCOMPARE(m_form->pollInterval(), 1000);
    // Shown again (restored): the round already running is not started a second time.
    m_form->hide();
    m_form->show();
    QCoreApplication::sendPostedEvents(m_form.get());
    QCOMPARE(polls().size(), 1);
    QCOMPARE(m_form->pollStep(), 1);
}

void tst_TMonitorForm::pollCycle()
{
    TrendStore::instance().clear(1);
    startForm(QStringLiteral("1"));
    QCOMPARE(polls().size(), 1);
    QCOMPARE(frameHex(polls()[0]), ReadFreq);
    // While the request is outstanding the ticks do nothing.
    m_form->Timer1Timer();
    m_form->Timer1Timer();
    QCOMPARE(polls().size(), 1);

    complete(polls()[0], Freq30);
    QCOMPARE(m_form->pollStep(), 2);
    QCOMPARE(m_form->readout(MonitorLimits::Frequency)->text(), QStringLiteral(" 30.00"));
    QCOMPARE(m_form->meter(MonitorLimits::Frequency)->position(), 50);
    QCOMPARE(m_form->readout(MonitorLimits::Voltage)->text(), QStringLiteral("   0.0"));

    m_form->Timer1Timer();
    QCOMPARE(m_form->pollStep(), 4);
    QCOMPARE(polls().size(), 2);
    QCOMPARE(frameHex(polls()[1]), ReadVoltage);
    m_form->Timer1Timer();
    QCOMPARE(polls().size(), 2);
    complete(polls()[1], Voltage380);
    QCOMPARE(m_form->readout(MonitorLimits::Voltage)->text(), QStringLiteral(" 380.0"));
    QCOMPARE(m_form->meter(MonitorLimits::Voltage)->position(), 95);

    m_form->Timer1Timer();
    QCOMPARE(m_form->pollStep(), 7);
    QCOMPARE(frameHex(polls()[2]), ReadCurrent);
    complete(polls()[2], Current55);
    QCOMPARE(m_form->pollStep(), 8);
    QCOMPARE(m_form->readout(MonitorLimits::Current)->text(), QStringLiteral("   5.5"));
    QCOMPARE(m_form->meter(MonitorLimits::Current)->position(), 55);
    // Every readout keeps what the driver holds.
    QCOMPARE(m_form->readout(MonitorLimits::Frequency)->text(), QStringLiteral(" 30.00"));
    // Each reply is a trend sample of the quantity it brought.
    const TrendBuffer *trend = TrendStore::instance().buffer(1);
    QVERIFY(trend);
    QCOMPARE(trend->size(), 3);
    QCOMPARE(trend->at(0).fresh, uint8_t(1u << TrendBuffer::Frequency));
    QCOMPARE(trend->at(1).fresh, uint8_t(1u << TrendBuffer::Voltage));
    QCOMPARE(trend->last().values[TrendBuffer::Frequency], 30.0f);
    QCOMPARE(trend->last().values[TrendBuffer::Current], 5.5f);

    m_form->Timer1Timer();
    QCOMPARE(m_form->pollStep(), 1);
    QCOMPARE(polls().size(), 4);
    QCOMPARE(frameHex(polls()[3]), ReadFreq);
    QVERIFY(m_dialogs->shown.isEmpty());
}

void tst_TMonitorForm::lateReplyIsDropped()
{
    startForm(QStringLiteral("1"));
    const TransactionPtr first = polls()[0];
    complete(first, Freq30);
    QCOMPARE(m_form->pollStep(), 2);
    complete(first, withCrc("01 03 02 00 64")); // the same request answered twice
    QCOMPARE(m_form->pollStep(), 2);
    QCOMPARE(m_form->readout(MonitorLimits::Frequency)->text(), QStringLiteral(" 30.00"));
}

void tst_TMonitorForm::replyForReplacedDriverIsNotDecoded()
{
    startForm(QStringLiteral("1"));
    const TransactionPtr sent = polls()[0];
    m_host->registry().CreateKX100(1); // e.g. re-detected while the poll was out
    // Even a completion that carries no generation of its own is not handed to the new driver.
    auto unstamped = std::make_shared<TransactionRecord>(*sent);
    unstamped->SlotGeneration = 0;
    complete(unstamped, Freq30);
    QCOMPARE(m_host->registry().GetOutputFreq(1), 0.0f);
    QVERIFY(!m_form->isPolling());
    QCOMPARE(m_form->statusText(), QStringLiteral("ПЧ по адресу #1 сменился: опрос остановлен"));
    QVERIFY(m_dialogs->shown.isEmpty());
}

void tst_TMonitorForm::freqRef_data()
{
    QTest::addColumn<QStringList>("actions"); // "slider N", "text T", "spin N"
    QTest::addColumn<QList<int>>("writes");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("slider");
    QTest::newRow("slider 50") << QStringList{"slider 50"} << QList<int>{3000} << "30" << 50;
    QTest::newRow("text 1 then 12")
        << QStringList{"text 1", "text 12"} << QList<int>{100, 1200} << "12" << 20;
    QTest::newRow("slider 17 comes back to 16")
        << QStringList{"slider 17"} << QList<int>{1000} << "10" << 16;
    // The nested change's write goes first; the typed 100 Hz is beyond the 60 Hz limit and is
    // written as the limit.
    QTest::newRow("text 100") << QStringList{"text 100"} << QList<int>{6000, 6000} << "60" << 100;
    QTest::newRow("text 99 with the slider already at the top")
        << QStringList{"slider 100", "text 99"} << QList<int>{6000, 6000, 6000} << "60" << 100;
    QTest::newRow("spin up twice")
        << QStringList{"spin 1", "spin 1"} << QList<int>{100, 200} << "2" << 3;
    QTest::newRow("empty text means the minimum")
        << QStringList{"text 30", "text "} << QList<int>{3000, 0, 0} << "0" << 0;
}

void tst_TMonitorForm::freqRef()
{
    QFETCH(QStringList, actions);
    QFETCH(QList<int>, writes);
    QFETCH(QString, edit);
    QFETCH(int, slider);
    startForm(QStringLiteral("1"));
    for (const QString &action : actions) {
        const QString argument = action.section(' ', 1);
        if (action.startsWith(QLatin1String("slider")))
            m_form->freqRefInd()->setValue(argument.toInt());
        else if (action.startsWith(QLatin1String("spin")))
            m_form->freqRefEdit()->stepBy(argument.toInt());
        else
            m_form->freqRefEdit()->setText(argument);
    }
    QCOMPARE(this->writes(), writes);
    QCOMPARE(m_form->freqRefEdit()->text(), edit);
    QCOMPARE(m_form->freqRefInd()->value(), slider);
    // KX100: register 2 in tenths of a hertz, addressed to slot 1, notified with 1233.
    const QList<TransactionPtr> sent = submitted(Msg::MonitorWriteResult);
    for (const TransactionPtr &record : sent) {
        const int tenths = record->Value / 10;
        QCOMPARE(frameHex(record),
                 withCrc("01 10 00 02 00 01 02 " +
                         QByteArray::number(tenths >> 8, 16).rightJustified(2, '0') +
                         QByteArray::number(tenths & 0xFF, 16).rightJustified(2, '0')));
        QCOMPARE(record->NotifyWindow.data(), m_form.get());
    }
}

void tst_TMonitorForm::loweredMaximumPullsTheReferenceIn()
{
    startForm(QStringLiteral("1"));
    m_form->freqRefInd()->setValue(50); // 30 Hz
    setText(0, QStringLiteral("20"));
    QCOMPARE(m_form->freqRefEdit()->text(), QStringLiteral("20"));
    // Shown pulled in, but only the operator's own reference change is sent.
    QCOMPARE(writes(), (QList<int>{3000}));
    QCOMPARE(m_form->freqRefInd()->value(), 100);
    m_form->freqRefEdit()->setText(QStringLiteral("15"));
    QCOMPARE(writes(), (QList<int>{3000, 1500}));
}

void tst_TMonitorForm::typingLimitsSendsNoReference_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("reference"); // shown afterwards
    // "5" is the maximum for one keystroke: the 30 Hz reference is shown at 5 Hz meanwhile.
    QTest::newRow("maximum 50 over a 30 Hz reference") << 0 << "50" << "30";
    QTest::newRow("output maximum 20, pulled in") << 2 << "20" << "20";
    QTest::newRow("minimum 45, pushed up") << 1 << "45" << "45";
}

void tst_TMonitorForm::typingLimitsSendsNoReference()
{
    QFETCH(int, tag);
    QFETCH(QString, keys);
    QFETCH(QString, reference);
    startForm(QStringLiteral("1"));
    m_form->freqRefInd()->setValue(50); // 30 Hz, written once
    QCOMPARE(writes(), QList<int>{3000});
    QLineEdit *edit = m_form->limitEdit(tag);
    edit->selectAll();
    for (const QChar key : keys)
        QTest::keyClick(edit, key.toLatin1());
    QCOMPARE(m_form->limits().limitOfTag(tag), keys.toInt());
    QCOMPARE(m_form->freqRefEdit()->text(), reference);
    QCOMPARE(writes(), QList<int>{3000});
}

void tst_TMonitorForm::referenceHintReachesStatusBar()
{
    // The status tip travels up the parents to the main window, as the other hints do.
    struct Frame : QWidget
    {
        QString tip;
        bool event(QEvent *event) override
        {
            if (event->type() == QEvent::StatusTip) {
                tip = static_cast<QStatusTipEvent *>(event)->tip();
                return true;
            }
            return QWidget::event(event);
        }
    } frame;
    auto *form = new TMonitorForm(&frame);
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(form->freqRefEdit(), &enter);
    QCOMPARE(frame.tip, QStringLiteral("Задание опорной частоты"));
    QCOMPARE(form->freqRefEdit()->toolTip(), frame.tip);
}

void tst_TMonitorForm::limitEdits_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("edits"); // all eight limit edits afterwards
    QTest::newRow("max voltage 500") << 4 << "500" << QList<int>{60, 0, 60, 0, 500, 0, 10, 0};
    QTest::newRow("max voltage 0 refused") << 4 << "0" << QList<int>{60, 0, 60, 0, 400, 0, 10, 0};
    QTest::newRow("min frequency 5") << 1 << "5" << QList<int>{60, 5, 60, 5, 400, 0, 10, 0};
    QTest::newRow("min frequency 70 refused")
        << 1 << "70" << QList<int>{60, 0, 60, 0, 400, 0, 10, 0};
    QTest::newRow("output max frequency 50 sets both")
        << 2 << "50" << QList<int>{50, 0, 50, 0, 400, 0, 10, 0};
    QTest::newRow("min current -2") << 7 << "-2" << QList<int>{60, 0, 60, 0, 400, 0, 10, -2};
}

void tst_TMonitorForm::limitEdits()
{
    QFETCH(int, tag);
    QFETCH(QString, text);
    QFETCH(QList<int>, edits);
    startForm(QStringLiteral("1"));
    setText(tag, text);
    for (int t = 0; t < 8; ++t) {
        QCOMPARE(m_form->limitEdit(t)->text(), QString::number(edits[t]));
        QCOMPARE(m_form->limits().limitOfTag(t), edits[t]);
    }
    QCOMPARE(m_form->freqRefEdit()->minimum(), edits[1]);
    QCOMPARE(m_form->freqRefEdit()->maximum(), edits[0]);
    QVERIFY(m_dialogs->shown.isEmpty());
}

void tst_TMonitorForm::typingInALimitEdit()
{
    startForm(QStringLiteral("1"));
    QLineEdit *edit = m_form->limitEdit(6); // maximum current
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("25"));
    QCOMPARE(m_form->limits().maximum(MonitorLimits::Current), 25);
    complete(polls()[0], Freq30);
    QCOMPARE(m_form->limitEdit(6)->text(), QStringLiteral("25"));
}

void tst_TMonitorForm::invalidLimitTextChangesNothing()
{
    startForm(QStringLiteral("1"));
    setText(5, QStringLiteral("abc"));
    QCOMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_dialogs->shown[0].text, QStringLiteral("'abc' is not a valid integer value"));
    QCOMPARE(m_form->limits().minimum(MonitorLimits::Voltage), 0);
    QCOMPARE(m_form->limitEdit(5)->text(), QStringLiteral("abc"));
}

void tst_TMonitorForm::switchCommands_data()
{
    QTest::addColumn<bool>("directionSwitch");
    QTest::addColumn<bool>("flag"); // the driver's Running or Reverse before the click
    QTest::addColumn<int>("command");
    QTest::newRow("start") << false << false << 1;
    QTest::newRow("stop") << false << true << 0;
    QTest::newRow("to reverse") << true << false << 3;
    QTest::newRow("to forward") << true << true << 2;
}

void tst_TMonitorForm::switchCommands()
{
    QFETCH(bool, directionSwitch);
    QFETCH(bool, flag);
    QFETCH(int, command);
    TInverterBase *driver = m_host->registry().GetInverter(1);
    driver->Running = !directionSwitch && flag;
    driver->Reverse = directionSwitch && flag;
    startForm(QStringLiteral("1"));
    TwoStateSwitch *used = directionSwitch ? m_form->forRevSwitch() : m_form->rnStopSwitch();
    TwoStateSwitch *other = directionSwitch ? m_form->rnStopSwitch() : m_form->forRevSwitch();
    // Showing the state sent nothing.
    QCOMPARE(used->isChecked(), flag);
    QVERIFY(used->isEnabled());
    QVERIFY(commands().isEmpty());

    used->click();
    QCOMPARE(commands(), (QList<qintptr>{(1 << 16) + command}));
    QVERIFY(!used->isEnabled());
    QVERIFY(other->isEnabled());
    used->click(); // disabled: the operator cannot send another
    QCOMPARE(commands().size(), 1);
}

void tst_TMonitorForm::switchEnableCycle()
{
    startForm(QStringLiteral("1"));
    m_form->forRevSwitch()->click();
    QCOMPARE(commands(), (QList<qintptr>{(1 << 16) + 3}));
    QVERIFY(!m_form->forRevSwitch()->isEnabled());

    auto notify = [&](int slot, int state) {
        PostMessage(m_form.get(), Msg::InverterState, 0, (qintptr(slot) << 16) + state);
        QCoreApplication::sendPostedEvents(m_form.get());
    };
    notify(2, 1); // another address
    QVERIFY(!m_form->forRevSwitch()->isEnabled());
    QVERIFY(m_form->rnStopSwitch()->isEnabled());
    // The command finished: state 1, with the direction the inverter reports.
    m_host->registry().GetInverter(1)->Reverse = true;
    notify(1, 1);
    QVERIFY(m_form->forRevSwitch()->isEnabled());
    QVERIFY(m_form->forRevSwitch()->isChecked());
    QCOMPARE(commands().size(), 1);
    notify(1, 3);
    QVERIFY(!m_form->forRevSwitch()->isEnabled());
    QVERIFY(!m_form->rnStopSwitch()->isEnabled());
    notify(1, 2);
    QVERIFY(m_form->rnStopSwitch()->isEnabled());
    notify(1, 0);
    QVERIFY(!m_form->rnStopSwitch()->isEnabled());
    QCOMPARE(commands().size(), 1);
}

void tst_TMonitorForm::slotEmptiedWithReplyOutstanding()
{
    startForm(QStringLiteral("1"));
    m_host->registry().RemoveInverter(1);
    complete(polls()[0], Freq30);
    QVERIFY(!m_form->isPolling());
    QCOMPARE(m_form->statusText(), QStringLiteral("Нет ПЧ по адресу #1: опрос остановлен"));
    m_form->Timer1Timer();
    QCOMPARE(polls().size(), 1);
    // Stopped quietly: no failure box, no port restart, the window stays.
    QVERIFY(m_dialogs->shown.isEmpty());
    QVERIFY(m_main->received.size() == 1);
}

void tst_TMonitorForm::slotEmptiedBetweenPollsAndRefilled()
{
    startForm(QStringLiteral("1"));
    complete(polls()[0], Freq30);
    m_host->registry().RemoveInverter(1);
    m_form->Timer1Timer();
    QVERIFY(!m_form->isPolling());
    QCOMPARE(polls().size(), 1);
    QCOMPARE(m_form->statusText(), QStringLiteral("Нет ПЧ по адресу #1: опрос остановлен"));

    // Found again: the panel's state 1 resumes the round from the start.
    m_host->registry().CreateKX100(1);
    PostMessage(m_form.get(), Msg::InverterState, 0, (1 << 16) + 1);
    QCoreApplication::sendPostedEvents(m_form.get());
    QVERIFY(m_form->isPolling());
    QVERIFY(m_form->statusText().isEmpty());
    QCOMPARE(polls().size(), 2);
    QCOMPARE(frameHex(polls()[1]), ReadFreq);
    complete(polls()[1], Freq30);
    QCOMPARE(m_form->pollStep(), 2);
}

void tst_TMonitorForm::detectionSuspendsPolling()
{
    startForm(QStringLiteral("1"));
    PostMessage(m_form.get(), Msg::InverterState, 0, (1 << 16) + 2);
    QCoreApplication::sendPostedEvents(m_form.get());
    QVERIFY(!m_form->isPolling());
    // Detection replaces the driver while the poll is on the line: the reply is not used.
    m_host->registry().CreateKX100(1);
    complete(polls()[0], Freq30);
    QCOMPARE(m_form->readout(MonitorLimits::Frequency)->text(), QStringLiteral("  0.00"));
    QCOMPARE(m_form->statusText(), QStringLiteral("ПЧ по адресу #1 сменился: опрос остановлен"));
    m_form->Timer1Timer();
    QCOMPARE(polls().size(), 1);
    PostMessage(m_form.get(), Msg::InverterState, 0, (1 << 16) + 1);
    QCoreApplication::sendPostedEvents(m_form.get());
    QCOMPARE(polls().size(), 2);
    QVERIFY(m_dialogs->shown.isEmpty());
}

void tst_TMonitorForm::failure_data()
{
    QTest::addColumn<QByteArray>("reply"); // empty: none
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("restartsPort");
    QTest::addColumn<bool>("faultNotified");
    QTest::newRow("time out") << QByteArray() << "RS232 time out" << false << false;
    QTest::newRow("inverter error") << withCrc("01 83 02") << "Inverter error" << false << true;
    QTest::newRow("communication error")
        << QByteArray("01 03 02 01 2C 00 00") << "RS232 communication error" << true << false;
}

void tst_TMonitorForm::failure()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, text);
    QFETCH(bool, restartsPort);
    QFETCH(bool, faultNotified);
    // The real engine this time, on a scripted line.
    m_host.reset();
    m_host = std::make_unique<BusHost>(m_link.get());
    m_host->engine().setTimerInterval(5);
    m_host->engine().setTimeOutLimit(15);
    m_host->registry().setChildrenProvider([this] {
        return QList<QObject *>{m_otherChild.get(), m_form.get()};
    });
    m_host->registry().CreateKX100(1);
    m_link->stopCount = 0;
    if (!reply.isEmpty())
        m_link->script(ReadFreq, reply);

    m_form = std::make_unique<TMonitorForm>();
    m_form->setWindowTitle(MonitorCaption::forSlot(1));
    m_form->setPollInterval(1);
    m_form->show();
    QVERIFY(QTest::qWaitFor([&] { return !m_dialogs->shown.isEmpty(); }, 5000));
    QCOMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_dialogs->shown[0].caption, QStringLiteral("  ПЧ     #1 Message"));
    QCOMPARE(m_dialogs->shown[0].text, text);
    QCOMPARE(m_dialogs->shown[0].icon, OperatorDialogs::Icon::Stop);
    QVERIFY(!m_form->isVisible());
    QVERIFY(!m_form->isPolling());

    // No further request, whatever the timer would do.
    m_form->Timer1Timer();
    QTest::qWait(30);
    QCOMPARE(m_link->written.size(), 1);
    QCOMPARE(FakeCommLink::hex(m_link->written[0]), ReadFreq);
    QCOMPARE(m_link->stopCount, restartsPort ? 1 : 0);
    const StateList states = faultNotified ? StateList{{1, 3}} : StateList{};
    QCOMPARE(m_otherChild->states(), states);
}

void tst_TMonitorForm::failureClosesMdiWindow()
{
    m_host.reset();
    m_host = std::make_unique<BusHost>(m_link.get());
    m_host->engine().setTimerInterval(5);
    m_host->engine().setTimeOutLimit(15);
    m_host->registry().CreateKX100(1);

    QMdiArea area;
    auto *form = new TMonitorForm;
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->setWindowTitle(MonitorCaption::forSlot(1));
    QMdiSubWindow *frame = area.addSubWindow(form);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<TMonitorForm> watched(form);
    QPointer<QMdiSubWindow> watchedFrame(frame);
    area.show();
    frame->show();
    QVERIFY(QTest::qWaitFor(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return watched.isNull() && watchedFrame.isNull();
        },
        5000));
    QCOMPARE(m_dialogs->texts(), QStringList{"RS232 time out"});
    QVERIFY(area.subWindowList().isEmpty());
    QCOMPARE(m_link->written.size(), 1);
}

QTEST_MAIN(tst_TMonitorForm)
#include "tst_TMonitorForm.moc"
