#include "FakeCommLink.h"
#include "RecordingDialogs.h"

#include "app/RegisterWindowClasses.h"
#include "app/WindowClasses.h"
#include "bus/BusHost.h"
#include "bus/TDM.h"
#include "views/TAddressForm.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <memory>

using Icon = OperatorDialogs::Icon;

namespace {

// Hex text with the 8-bit sum of its bytes appended.
QByteArray withSum(const QByteArray &hex)
{
    QByteArray bytes = QByteArray::fromHex(hex);
    uint8_t sum = 0;
    for (char byte : bytes)
        sum = uint8_t(sum + uint8_t(byte));
    return (bytes + char(sum)).toHex(' ').toUpper();
}

// Hex text with the CRC-16/MODBUS of its bytes appended, low byte first.
QByteArray withCrc(const QByteArray &hex)
{
    QByteArray bytes = QByteArray::fromHex(hex);
    uint16_t crc = 0xFFFF;
    for (char byte : bytes) {
        crc ^= uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return (bytes + char(crc & 0xFF) + char(crc >> 8)).toHex(' ').toUpper();
}

QByteArray hexByte(int value)
{
    return QByteArray::number(value, 16).rightJustified(2, '0');
}

// The KX200 broadcast: '/', 'W', register 0x0802, the new address, sum.
QByteArray kx200Write(int address)
{
    return withSum("2F 57 08 02 00 " + hexByte(address));
}

// The Modbus broadcast: slave 0, function 16, register 362, one register, two bytes, CRC.
QByteArray kx100Write(int address)
{
    return withCrc("00 10 01 6A 00 01 02 00 " + hexByte(address));
}

} // namespace

class tst_TAddressForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void registeredAsModalDialog();
    void shownCentredOnTheScreen();
    void addressIsBounded_data();
    void addressIsBounded();
    void textThatIsNoNumberChangesNothing();
    void trackBarAndUpDownFollow();
    void attemptOutcome_data();
    void attemptOutcome();
    void nothingAnswersGivesOneBoxAfterSecondTimeOut();
    void secondClickDuringAttemptSendsNothing();
    void closingDuringAttemptEmptiesSlot();
    void dialogStaysUsableForAnotherAttempt();
    void settingAsksBeforeTheBroadcast();

private:
    void setAddress(int address) { edit()->setText(QString::number(address)); }
    QLineEdit *edit() const { return m_form->findChild<QLineEdit *>("Edit1"); }
    QSlider *trackBar() const { return m_form->findChild<QSlider *>("TrackBar1"); }
    QPushButton *settingBtn() const { return m_form->findChild<QPushButton *>("SettingBtn"); }
    // Ends the exchange on the line with a time-out (the timer itself never fires here).
    void timeOut() { m_host->engine().RS232OnTime(); }

    RecordingDialogs *m_dialogs = nullptr;
    std::unique_ptr<FakeCommLink> m_port;
    std::unique_ptr<BusHost> m_host;
    std::unique_ptr<TAddressForm> m_form;
};

void tst_TAddressForm::init()
{
    m_dialogs = RecordingDialogs::installNew();
    m_port = std::make_unique<FakeCommLink>();
    m_host = std::make_unique<BusHost>(m_port.get());
    // Time-outs come from timeOut() only: one tick exceeds the limit.
    m_host->engine().setTimerInterval(600000);
    m_host->engine().setTimeOutLimit(15);
    m_form = std::make_unique<TAddressForm>();
}

void tst_TAddressForm::cleanup()
{
    m_form.reset();
    m_host.reset();
    m_port.reset();
    OperatorDialogs::install(nullptr);
}

void tst_TAddressForm::registeredAsModalDialog()
{
    RegisterWindowClasses();
    QVERIFY(WindowClasses::isRegistered(QStringLiteral("TAddressForm")));
    QCOMPARE(WindowClasses::kind(QStringLiteral("TAddressForm")), WindowClasses::Kind::TopLevel);
    std::unique_ptr<QWidget> window(WindowClasses::create(QStringLiteral("TAddressForm")));
    auto *form = qobject_cast<TAddressForm *>(window.get());
    QVERIFY(form);
    QCOMPARE(form->windowTitle(), QStringLiteral("Уст. адреса"));
    QCOMPARE(form->address(), 0);
}

void tst_TAddressForm::shownCentredOnTheScreen()
{
    // The main window opens the dialog as its own child; it still comes up in the middle of
    // the screen, not over the main window, with its fixed client area.
    QWidget mainWindow;
    mainWindow.setGeometry(10, 10, 200, 100);
    mainWindow.show();
    m_form.reset();
    auto *form = new TAddressForm;
    form->setParent(&mainWindow, form->windowFlags() | Qt::Dialog);
    form->show();
    QScreen *screen = form->screen();
    QVERIFY(screen);
    const QPoint offset = form->frameGeometry().center() - screen->availableGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QStringLiteral("off by %1, %2").arg(offset.x()).arg(offset.y())));
    QCOMPARE(form->size(), QSize(364, 173));
}

void tst_TAddressForm::addressIsBounded_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("address");
    QTest::newRow("above the range") << "40" << 31;
    QTest::newRow("far above the range") << "99999999999" << 31;
    QTest::newRow("below the range") << "-5" << 0;
    QTest::newRow("lowest") << "0" << 0;
    QTest::newRow("highest") << "31" << 31;
    QTest::newRow("inside") << "17" << 17;
    QTest::newRow("with sign and spaces") << " +9 " << 9;
}

void tst_TAddressForm::addressIsBounded()
{
    QFETCH(QString, text);
    QFETCH(int, address);
    edit()->setText(text);
    QCOMPARE(m_form->address(), address);
    QCOMPARE(edit()->text(), QString::number(address));
    QCOMPARE(trackBar()->value(), address);
    QVERIFY(m_dialogs->shown.isEmpty());
}

void tst_TAddressForm::textThatIsNoNumberChangesNothing()
{
    setAddress(12);
    m_form->show();
    edit()->setFocus();
    edit()->end(false);
    QTest::keyClick(edit(), Qt::Key_X);
    QCOMPARE(m_form->address(), 12);
    QCOMPARE(trackBar()->value(), 12);
    QCOMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_dialogs->shown.first().text, QStringLiteral("'12x' is not a valid integer value"));
    QCOMPARE(m_dialogs->shown.first().icon, Icon::Stop);
    // After the box the field shows the address in force and takes the next keys.
    QCOMPARE(edit()->text(), QStringLiteral("12"));
    QTest::keyClick(edit(), Qt::Key_Backspace);
    QCOMPARE(m_form->address(), 1);

    edit()->setText(QString());
    QCOMPARE(m_form->address(), 1);
    QCOMPARE(m_dialogs->shown.size(), 2);
    QCOMPARE(edit()->text(), QStringLiteral("1"));
}

void tst_TAddressForm::trackBarAndUpDownFollow()
{
    trackBar()->setValue(20);
    QCOMPARE(m_form->address(), 20);
    QCOMPARE(edit()->text(), QStringLiteral("20"));

    auto *up = m_form->findChild<QToolButton *>("UpDown1Up");
    auto *down = m_form->findChild<QToolButton *>("UpDown1Down");
    up->click();
    QCOMPARE(m_form->address(), 21);
    QCOMPARE(trackBar()->value(), 21);
    setAddress(31);
    up->click();
    QCOMPARE(m_form->address(), 31);
    setAddress(0);
    down->click();
    QCOMPARE(m_form->address(), 0);
    QCOMPARE(edit()->text(), QStringLiteral("0"));
    QVERIFY(m_dialogs->shown.isEmpty());
}

void tst_TAddressForm::attemptOutcome_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QByteArray>("kx200Reply"); // empty: no reply
    QTest::addColumn<QByteArray>("kx100Reply");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Icon>("icon");

    const QByteArray kx100Echo = withCrc("00 10 01 6A 00 01");
    QTest::newRow("KX200 takes it")
        << 5 << kx200Write(5) << QByteArray() << "Address setting OK" << Icon::Information;
    QTest::newRow("KX200 takes address 0")
        << 0 << kx200Write(0) << QByteArray() << "Address setting OK" << Icon::Information;
    QTest::newRow("KX200 error letter") << 5 << withSum("2F 71 08 02 00 05") << QByteArray()
                                        << "Inverterd error" << Icon::Information;
    QTest::newRow("KX200 refusal") << 5 << withSum("2F 4E 08 02 00 05") << QByteArray()
                                   << "Comminication error" << Icon::Information;
    QTest::newRow("KX200 reply with a wrong sum")
        << 5 << QByteArray("2F 57 08 02 00 05 00") << QByteArray() << "Comminication error"
        << Icon::Information;
    QTest::newRow("KX100 takes it")
        << 31 << QByteArray() << kx100Echo << "Address setting OK" << Icon::Information;
    QTest::newRow("KX100 exception")
        << 5 << QByteArray() << withCrc("00 90 02") << "Inverterd error" << Icon::Information;
    QTest::newRow("KX100 reply with a wrong CRC")
        << 5 << QByteArray() << QByteArray("00 10 01 6A 00 01 00 00") << "Comminication error"
        << Icon::Information;
}

void tst_TAddressForm::attemptOutcome()
{
    QFETCH(int, address);
    QFETCH(QByteArray, kx200Reply);
    QFETCH(QByteArray, kx100Reply);
    QFETCH(QString, text);
    QFETCH(Icon, icon);
    if (!kx200Reply.isEmpty())
        m_port->script(kx200Write(address), kx200Reply);
    if (!kx100Reply.isEmpty())
        m_port->script(kx100Write(address), kx100Reply);

    setAddress(address);
    m_form->SettingBtnClick(); // confirmed
    QCOMPARE(m_port->written.size(), 1);
    QCOMPARE(FakeCommLink::hex(m_port->written.at(0)), kx200Write(address));
    if (kx200Reply.isEmpty()) {
        timeOut();
        QTRY_COMPARE(m_port->written.size(), 2);
        QCOMPARE(FakeCommLink::hex(m_port->written.at(1)), kx100Write(address));
    }

    QTRY_COMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_dialogs->shown.first().caption, QStringLiteral("System Message"));
    QCOMPARE(m_dialogs->shown.first().text, text);
    QCOMPARE(m_dialogs->shown.first().icon, icon);
    QCOMPARE(m_dialogs->shown.first().buttons, OperatorDialogs::Buttons::Ok);
    // A KX200 that answers is not written to a second time.
    QCOMPARE(m_port->written.size(), kx200Reply.isEmpty() ? 2 : 1);
    QVERIFY(!m_host->registry().HasInverter(address));
    QVERIFY(!m_form->attemptRunning());
    QVERIFY(settingBtn()->isEnabled());
}

void tst_TAddressForm::nothingAnswersGivesOneBoxAfterSecondTimeOut()
{
    TDM &registry = m_host->registry();
    registry.CreateKX300(5); // a present inverter's driver at the new address
    setAddress(5);
    m_form->SettingBtnClick(); // confirmed
    m_form->SettingBtnClick(); // a second click during the attempt sends nothing
    QCOMPARE(m_port->written.size(), 1);
    QCOMPARE(registry.GetTypeName(5), QStringLiteral("KX200"));
    QVERIFY(m_form->attemptRunning());
    QVERIFY(!settingBtn()->isEnabled());

    timeOut();
    QTRY_COMPARE(m_port->written.size(), 2);
    QCOMPARE(registry.GetTypeName(5), QStringLiteral("KX100"));
    QVERIFY(m_dialogs->shown.isEmpty());

    timeOut();
    QTRY_COMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_dialogs->shown.first().text, QStringLiteral("Inverterd doesn't response"));
    QCOMPARE(m_dialogs->shown.first().icon, Icon::Stop);
    QCOMPARE(m_dialogs->shown.first().caption, QStringLiteral("System Message"));
    QVERIFY(!registry.HasInverter(5));

    QCoreApplication::processEvents();
    QCOMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_port->written.size(), 2);
}

void tst_TAddressForm::secondClickDuringAttemptSendsNothing()
{
    m_port->deferReplies = true;
    m_port->script(kx200Write(3), kx200Write(3));
    setAddress(3);
    m_form->SettingBtnClick();
    m_form->SettingBtnClick();
    QCOMPARE(m_port->written.size(), 1);
    QCOMPARE(m_host->engine().pendingCount(), 0);

    m_port->deliverPending();
    QTRY_COMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_dialogs->shown.first().text, QStringLiteral("Address setting OK"));
    QVERIFY(!m_host->registry().HasInverter(3));
}

void tst_TAddressForm::closingDuringAttemptEmptiesSlot()
{
    setAddress(7);
    m_form->SettingBtnClick();
    QVERIFY(m_host->registry().HasInverter(7));
    m_form.reset();
    QVERIFY(!m_host->registry().HasInverter(7));

    // The late time-out reaches nobody and starts no second write.
    timeOut();
    QCoreApplication::processEvents();
    QCOMPARE(m_port->written.size(), 1);
    QVERIFY(m_dialogs->shown.isEmpty());
}

void tst_TAddressForm::dialogStaysUsableForAnotherAttempt()
{
    m_port->script(kx200Write(4), withSum("2F 4E 08 02 00 04"));
    m_port->script(kx200Write(9), kx200Write(9));
    setAddress(4);
    m_form->SettingBtnClick(); // confirmed
    QTRY_COMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_dialogs->shown.last().text, QStringLiteral("Comminication error"));

    setAddress(9);
    m_form->SettingBtnClick(); // confirmed
    QTRY_COMPARE(m_dialogs->shown.size(), 2);
    QCOMPARE(m_dialogs->shown.last().text, QStringLiteral("Address setting OK"));
    QVERIFY(!m_host->registry().HasInverter(4));
    QVERIFY(!m_host->registry().HasInverter(9));
}

void tst_TAddressForm::settingAsksBeforeTheBroadcast()
{
    m_host->registry().CreateKX100(7);
    setAddress(7);
    m_dialogs->answers = {OperatorDialogs::Answer::No};
    settingBtn()->click();
    QCOMPARE(m_dialogs->shown.size(), 1);
    const RecordingDialogs::Shown &question = m_dialogs->shown.first();
    QCOMPARE(question.buttons, OperatorDialogs::Buttons::YesNoDefaultNo);
    QVERIFY(question.text.contains(QStringLiteral("Адрес 7 будет записан всем ПЧ на шине")));
    QVERIFY(question.text.contains(QStringLiteral("только тот ПЧ, адрес которого меняется")));
    // No: nothing is sent and the slot keeps its driver.
    QVERIFY(m_port->written.isEmpty());
    QCOMPARE(m_host->registry().GetTypeName(7), QStringLiteral("KX100"));
    QVERIFY(!m_form->attemptRunning());

    m_dialogs->answers = {OperatorDialogs::Answer::Yes};
    settingBtn()->click();
    QCOMPARE(m_port->written.size(), 1);
    QCOMPARE(FakeCommLink::hex(m_port->written.at(0)), kx200Write(7));
}

QTEST_MAIN(tst_TAddressForm)
#include "tst_TAddressForm.moc"
