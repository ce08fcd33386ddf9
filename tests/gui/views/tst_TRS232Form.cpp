#include "FakeCommLink.h"
#include "PseudoTerminalPair.h"
#include "RecordingDialogs.h"

#include "app/TMainForm.h"
#include "bus/BusHost.h"
#include "serial/SerialPortList.h"
#include "serial/TComm32.h"
#include "views/TRS232Form.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include <termios.h>

namespace {

// Paths that look like devices but open nothing, so no test touches a real port through them.
const QStringList FakeDevices{"/nonexistent-drivelink/ttyUSB0",
                              "/nonexistent-drivelink/serial/by-id/usb-X"};

// Port, baud rate, parity, data bits, stop bits.
struct Settings
{
    QString port;
    int baud;
    int parity;
    int bits;
    int stop;
    bool operator==(const Settings &) const = default;
};

void apply(TComm32 &comm, const Settings &s)
{
    comm.setCommPort(s.port);
    comm.setBaudRate(s.baud);
    comm.setParity(TParity(s.parity));
    comm.setByteSize(s.bits);
    comm.setStopBits(TStopBits(s.stop));
}

Settings settingsOf(const TComm32 &comm)
{
    return {comm.commPort(), comm.baudRate(), comm.parity(), comm.byteSize(), comm.stopBits()};
}

// Object names of the checked button of each group, in group order ("" for none).
QStringList checkedNames(const TRS232Form &form)
{
    QStringList names;
    for (QButtonGroup *group : form.findChildren<QButtonGroup *>()) {
        QStringList checked;
        for (QAbstractButton *button : group->buttons())
            if (button->isChecked())
                checked << button->objectName();
        names << checked.join('+');
    }
    return names;
}

} // namespace

Q_DECLARE_METATYPE(Settings)

class tst_TRS232Form : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dialogs = RecordingDialogs::installNew(); }
    void cleanup() { OperatorDialogs::install(nullptr); }

    void offersTheFiveGroupsAndTheListedDevices();
    void showAndOk_data();
    void showAndOk();
    void okRestartsThePortAndCancelLeavesItAlone();
    void editsTheMainWindowsPort();
    void withoutAPortOkDoesNothing();
    void gatewayAddressIsChecked();
    void exchangeTimingShownAndStored();

private:
    RecordingDialogs *m_dialogs = nullptr;
};

void tst_TRS232Form::offersTheFiveGroupsAndTheListedDevices()
{
    TComm32 comm;
    TRS232Form form(&comm, FakeDevices);
    QCOMPARE(form.windowTitle(), QStringLiteral("COM порт"));
    QCOMPARE(form.findChildren<QButtonGroup *>().size(), 5);
    QCOMPARE(form.listedDevices(), FakeDevices);
    QStringList ports;
    for (QAbstractButton *button : form.findChildren<QButtonGroup *>().first()->buttons())
        ports << button->text();
    QCOMPARE(ports, QStringList({"COM1", "COM2"}) + FakeDevices + QStringList{"TCP шлюз"});
    QCOMPARE(form.findChild<QRadioButton *>("OddParity")->text(), QStringLiteral("Нечет"));
    QCOMPARE(form.findChild<QRadioButton *>("Stop15")->text(), QStringLiteral("1.5 Стоп"));
}

void tst_TRS232Form::showAndOk_data()
{
    QTest::addColumn<Settings>("before");
    QTest::addColumn<QStringList>("shown"); // port, data, speed, parity, stop bits
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<Settings>("after");

    const QString dev = FakeDevices.at(0);
    const QString byId = FakeDevices.at(1);
    QTest::newRow("resource defaults")
        << Settings{"COM1", 9600, pEven, 8, sb1_0}
        << QStringList{"COM1", "EightBits", "Bd9600", "EvenParity", "Stop1"} << QStringList()
        << Settings{"COM1", 9600, pEven, 8, sb1_0};
    QTest::newRow("115200 shows and becomes 9600")
        << Settings{dev, 115200, pNone, 8, sb1_0}
        << QStringList{"Device1", "EightBits", "Bd9600", "NoneParity", "Stop1"} << QStringList()
        << Settings{dev, 9600, pNone, 8, sb1_0};
    QTest::newRow("parity 3 shows none, becomes odd")
        << Settings{byId, 38400, pMark, 7, sb1_5}
        << QStringList{"Device2", "SevenBits", "Bd38400", "", "Stop15"} << QStringList()
        << Settings{byId, 38400, pOdd, 7, sb1_5};
    QTest::newRow("lower-case com1 shows and becomes COM2")
        << Settings{"com1", 2400, pOdd, 6, sb2_0}
        << QStringList{"COM2", "EightBits", "Bd2400", "OddParity", "Stop2"} << QStringList()
        << Settings{"COM2", 2400, pOdd, 8, sb2_0};
    QTest::newRow("unlisted device shows and becomes COM2")
        << Settings{"/nonexistent-drivelink/ttyUSB1", 4800, pEven, 8, sb1_0}
        << QStringList{"COM2", "EightBits", "Bd4800", "EvenParity", "Stop1"} << QStringList()
        << Settings{"COM2", 4800, pEven, 8, sb1_0};
    QTest::newRow("COM2 with 115200 shows 9600")
        << Settings{"COM2", 115200, pNone, 8, sb1_0}
        << QStringList{"COM2", "EightBits", "Bd9600", "NoneParity", "Stop1"} << QStringList()
        << Settings{"COM2", 9600, pNone, 8, sb1_0};
    QTest::newRow("another port number, 5 data bits")
        << Settings{"COM3", 4800, pEven, 5, sb1_0}
        << QStringList{"COM2", "EightBits", "Bd4800", "EvenParity", "Stop1"} << QStringList()
        << Settings{"COM2", 4800, pEven, 8, sb1_0};
    QTest::newRow("empty name shows and becomes COM2, 1200 shows 9600")
        << Settings{"", 1200, pEven, 8, sb1_0}
        << QStringList{"COM2", "EightBits", "Bd9600", "EvenParity", "Stop1"} << QStringList()
        << Settings{"COM2", 9600, pEven, 8, sb1_0};
    QTest::newRow("every group changed")
        << Settings{"COM3", 14400, pEven, 8, sb1_0}
        << QStringList{"COM2", "EightBits", "Bd14400", "EvenParity", "Stop1"}
        << QStringList{"Device2", "SevenBits", "Bd19200", "NoneParity", "Stop2"}
        << Settings{byId, 19200, pNone, 7, sb2_0};
    QTest::newRow("gateway shows and stays")
        << Settings{"tcp:[fe80::1]:502", 9600, pEven, 8, sb1_0}
        << QStringList{"TcpGateway", "EightBits", "Bd9600", "EvenParity", "Stop1"} << QStringList()
        << Settings{"tcp:[fe80::1]:502", 9600, pEven, 8, sb1_0};
    QTest::newRow("back to COM1") << Settings{dev, 19200, pNone, 7, sb2_0}
                                  << QStringList{"Device1", "SevenBits", "Bd19200", "NoneParity",
                                                 "Stop2"}
                                  << QStringList{"COM1", "EightBits", "Bd4800", "OddParity",
                                                 "Stop15"}
                                  << Settings{"COM1", 4800, pOdd, 8, sb1_5};
}

void tst_TRS232Form::showAndOk()
{
    QFETCH(Settings, before);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, clicks);
    QFETCH(Settings, after);
    TComm32 comm;
    apply(comm, before);
    TRS232Form form(&comm, FakeDevices);
    // Whatever was checked before, showing reflects the port.
    form.findChild<QRadioButton *>("OddParity")->setChecked(true);
    form.findChild<QRadioButton *>("Bd2400")->setChecked(true);
    form.FormShow();
    QCOMPARE(checkedNames(form), shown);

    for (const QString &name : clicks)
        form.findChild<QRadioButton *>(name)->click();
    form.findChild<QPushButton *>("OKBtn")->click();
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(settingsOf(comm), after);
    comm.StopComm();
}

void tst_TRS232Form::okRestartsThePortAndCancelLeavesItAlone()
{
    PseudoTerminalPair line;
    QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
    const auto speed = [&line] {
        const termios tio = line.slaveAttributes();
        return cfgetospeed(&tio);
    };
    // Changed behind the port's back: only a fresh start sets the speed again.
    const auto changeSpeedBehindThePort = [&line] {
        termios tio = line.slaveAttributes();
        cfsetspeed(&tio, B4800);
        tcsetattr(line.masterFd(), TCSANOW, &tio);
    };
    TComm32 comm;
    apply(comm, {line.slavePath(), 9600, pEven, 8, sb1_0});
    QVERIFY(comm.StartComm());
    QCOMPARE(speed(), speed_t(B9600));
    changeSpeedBehindThePort();
    QCOMPARE(speed(), speed_t(B4800));

    TRS232Form form(&comm, {line.slavePath()});
    form.FormShow();
    QCOMPARE(checkedNames(form).first(), QStringLiteral("Device1"));
    form.findChild<QRadioButton *>("Bd19200")->click();
    form.findChild<QPushButton *>("CancelBtn")->click();
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QCOMPARE(settingsOf(comm), (Settings{line.slavePath(), 9600, pEven, 8, sb1_0}));
    QVERIFY(comm.isOpen());
    QCOMPARE(speed(), speed_t(B4800));

    form.FormShow();
    form.OKBtnClick();
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QVERIFY(comm.isOpen());
    QCOMPARE(comm.commPort(), line.slavePath());
    QCOMPARE(speed(), speed_t(B9600)); // restarted, though nothing changed

    form.FormShow();
    form.findChild<QRadioButton *>("Bd19200")->click();
    form.OKBtnClick();
    QCOMPARE(speed(), speed_t(B19200));
    QVERIFY(comm.isOpen());
    QVERIFY(m_dialogs->shown.isEmpty());
    comm.StopComm();
}

void tst_TRS232Form::editsTheMainWindowsPort()
{
    FakeCommLink busLine;
    BusHost host(&busLine, BusHost::Role::Forwarded);
    TComm32 comm;
    apply(comm, {"COM1", 14400, pOdd, 7, sb2_0});
    TMainForm mainForm(&host, &comm);

    QStringList seen;
    bool machineDevicesListed = false;
    m_dialogs->onModal = [&](QObject *dialog) {
        auto *form = qobject_cast<TRS232Form *>(dialog);
        if (!form)
            return false;
        form->FormShow();
        seen = checkedNames(*form);
        machineDevicesListed = form->listedDevices() == SerialPortList::available();
        form->reject();
        return form->result() == QDialog::Accepted;
    };
    QVERIFY(!mainForm.RunModalDialog("TRS232Form"));
    QCOMPARE(m_dialogs->modalClasses, QStringList{"TRS232Form"});
    QCOMPARE(seen, (QStringList{"COM1", "SevenBits", "Bd14400", "OddParity", "Stop2"}));
    QVERIFY(machineDevicesListed);
    QCOMPARE(comm.baudRate(), 14400);
}

void tst_TRS232Form::withoutAPortOkDoesNothing()
{
    TRS232Form form(nullptr, {});
    QVERIFY(!form.port()); // no main window with a serial port here
    form.FormShow();
    QVERIFY(!form.findChild<QPushButton *>("OKBtn")->isEnabled());
    form.OKBtnClick();
    QCOMPARE(form.result(), int(QDialog::Rejected));
}

// OK with a gateway chosen but no usable address keeps the dialog open and the port as it was.
void tst_TRS232Form::gatewayAddressIsChecked()
{
    TComm32 comm;
    apply(comm, {"COM1", 9600, pEven, 8, sb1_0});
    TRS232Form form(&comm, FakeDevices);
    form.FormShow();
    auto *host = form.findChild<QLineEdit *>("TcpHost");
    QTest::keyClicks(host, "gw 1");
    QVERIFY(form.findChild<QRadioButton *>("TcpGateway")->isChecked());
    form.findChild<QPushButton *>("OKBtn")->click();
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QCOMPARE(comm.commPort(), QStringLiteral("COM1"));
    QCOMPARE(m_dialogs->shown.size(), 1);
    QVERIFY(m_dialogs->shown.first().text.startsWith(QStringLiteral("Неверный адрес шлюза")));

    host->setText("gw-1.plant");
    form.findChild<QSpinBox *>("TcpPort")->setValue(502);
    form.findChild<QPushButton *>("OKBtn")->click();
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(comm.commPort(), QStringLiteral("tcp:gw-1.plant:502"));
    comm.StopComm();
}

void tst_TRS232Form::exchangeTimingShownAndStored()
{
    TComm32 comm;
    apply(comm, {"/nonexistent-drivelink/ttyUSB0", 9600, 2, 8, 0});
    comm.setExchangeTiming({true, 150});
    TRS232Form form(&comm, FakeDevices);
    auto *fast = form.findChild<QCheckBox *>("FastExchange");
    auto *timeout = form.findChild<QSpinBox *>("ReplyTimeout");
    QVERIFY(fast && timeout);
    form.FormShow();
    QVERIFY(fast->isChecked());
    QCOMPARE(timeout->value(), 150);
    QVERIFY(timeout->isEnabled());

    timeout->setValue(20000); // beyond the range: the longest time-out
    form.findChild<QPushButton *>("OKBtn")->click();
    QCOMPARE(comm.exchangeTiming().value(), (ExchangeTiming{true, 10000}));

    // What the field shows is stored, or refused with a word: never its last good value.
    const qsizetype messages = m_dialogs->shown.size();
    QLineEdit *typed = timeout->findChild<QLineEdit *>();
    typed->selectAll();
    QTest::keyClicks(typed, QStringLiteral("5"));
    form.findChild<QPushButton *>("OKBtn")->click();
    QCOMPARE(comm.exchangeTiming().value(), (ExchangeTiming{true, 10000}));
    QCOMPARE(m_dialogs->shown.size(), messages + 1);
    QTest::keyClicks(typed, QStringLiteral("50"));
    form.findChild<QPushButton *>("OKBtn")->click();
    QCOMPARE(comm.exchangeTiming().value(), (ExchangeTiming{true, 50}));

    fast->setChecked(false);
    QVERIFY(!timeout->isEnabled());
    form.findChild<QPushButton *>("OKBtn")->click();
    QCOMPARE(comm.exchangeTiming()->fast, false);
    comm.StopComm();
}

QTEST_MAIN(tst_TRS232Form)
#include "tst_TRS232Form.moc"
