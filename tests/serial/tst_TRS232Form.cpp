#include "FakeCommLink.h"
#include "RecordingDialogs.h"

#include "app/TMainForm.h"
#include "bus/BusHost.h"
#include "serial/SerialPortList.h"
#include "serial/TComm32.h"
#include "serial/TRS232Form.h"

#include <QButtonGroup>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A pseudo-terminal whose device side the port under test opens; the test keeps a handle
// of its own on that side to read and change the line settings in force.
class PtyLine
{
public:
    PtyLine()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        const char *name = ::ptsname(m_master);
        if (!name)
            return;
        m_path = QString::fromLocal8Bit(name);
        m_device = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
    ~PtyLine()
    {
        if (m_device >= 0)
            ::close(m_device);
        if (m_master >= 0)
            ::close(m_master);
    }
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    bool isOpen() const { return m_device >= 0; }
    QString path() const { return m_path; }
    speed_t speed() const
    {
        termios tio{};
        ::tcgetattr(m_device, &tio);
        return ::cfgetospeed(&tio);
    }
    void setSpeed(speed_t speed) const
    {
        termios tio{};
        ::tcgetattr(m_device, &tio);
        ::cfsetspeed(&tio, speed);
        ::tcsetattr(m_device, TCSANOW, &tio);
    }

private:
    int m_master = -1;
    int m_device = -1;
    QString m_path;
};

// Paths that look like devices but open nothing, so no test touches a real port through them.
const QStringList FakeDevices{QStringLiteral("/nonexistent-drivelink/ttyUSB0"),
                              QStringLiteral("/nonexistent-drivelink/serial/by-id/usb-X")};

} // namespace

class tst_TRS232Form : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void offersTheFiveGroupsAndTheListedDevices();
    void formShowChecks_data();
    void formShowChecks();
    void okStores_data();
    void okStores();
    void okRestartsThePortAndCancelLeavesItAlone();
    void editsTheMainWindowsPort();
    void withoutAPortOkDoesNothing();

private:
    // Object names of the checked button of each group, in group order ("" for none).
    static QStringList checkedNames(const TRS232Form &form);
    static void setUp(TComm32 &comm, const QString &port, int baud, int parity, int bits, int stop);

    RecordingDialogs *m_dialogs = nullptr;
};

void tst_TRS232Form::init()
{
    m_dialogs = RecordingDialogs::installNew();
}

void tst_TRS232Form::cleanup()
{
    OperatorDialogs::install(nullptr);
}

QStringList tst_TRS232Form::checkedNames(const TRS232Form &form)
{
    const QList<QButtonGroup *> groups = form.findChildren<QButtonGroup *>();
    QStringList names;
    for (QButtonGroup *group : groups) {
        QString name;
        for (QAbstractButton *button : group->buttons())
            if (button->isChecked()) {
                if (!name.isEmpty())
                    return {QStringLiteral("more than one checked in a group")};
                name = button->objectName();
            }
        names << name;
    }
    return names;
}

void tst_TRS232Form::setUp(TComm32 &comm, const QString &port, int baud, int parity, int bits,
                           int stop)
{
    comm.setCommPort(port);
    comm.setBaudRate(baud);
    comm.setParity(TParity(parity));
    comm.setByteSize(bits);
    comm.setStopBits(TStopBits(stop));
}

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
    QCOMPARE(ports, QStringList({"COM1", "COM2"}) + FakeDevices);
    QCOMPARE(form.findChild<QRadioButton *>("OddParity")->text(), QStringLiteral("Нечет"));
    QCOMPARE(form.findChild<QRadioButton *>("Stop15")->text(), QStringLiteral("1.5 Стоп"));
}

void tst_TRS232Form::formShowChecks_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("stop");
    QTest::addColumn<QStringList>("checked"); // port, data, speed, parity, stop bits

    QTest::newRow("the resource's defaults")
        << "COM1" << 9600 << int(pEven) << 8 << int(sb1_0)
        << QStringList{"COM1", "EightBits", "Bd9600", "EvenParity", "Stop1"};
    QTest::newRow("115200 shows 9600")
        << "COM2" << 115200 << int(pNone) << 8 << int(sb1_0)
        << QStringList{"COM2", "EightBits", "Bd9600", "NoneParity", "Stop1"};
    QTest::newRow("parity 3 shows none")
        << "COM1" << 38400 << int(pMark) << 7 << int(sb1_5)
        << QStringList{"COM1", "SevenBits", "Bd38400", "", "Stop15"};
    QTest::newRow("COM1 in lower case shows COM2")
        << "com1" << 2400 << int(pOdd) << 8 << int(sb2_0)
        << QStringList{"COM2", "EightBits", "Bd2400", "OddParity", "Stop2"};
    QTest::newRow("another port number shows COM2")
        << "COM3" << 4800 << int(pEven) << 5 << int(sb1_0)
        << QStringList{"COM2", "EightBits", "Bd4800", "EvenParity", "Stop1"};
    QTest::newRow("a listed device shows itself")
        << FakeDevices.at(0) << 14400 << int(pEven) << 8 << int(sb1_0)
        << QStringList{"Device1", "EightBits", "Bd14400", "EvenParity", "Stop1"};
    QTest::newRow("a listed by-id name shows itself")
        << FakeDevices.at(1) << 19200 << int(pEven) << 8 << int(sb1_0)
        << QStringList{"Device2", "EightBits", "Bd19200", "EvenParity", "Stop1"};
    QTest::newRow("a device not listed shows COM2")
        << "/nonexistent-drivelink/ttyUSB1" << 9600 << int(pEven) << 8 << int(sb1_0)
        << QStringList{"COM2", "EightBits", "Bd9600", "EvenParity", "Stop1"};
    QTest::newRow("an empty name shows COM2")
        << "" << 1200 << int(pEven) << 8 << int(sb1_0)
        << QStringList{"COM2", "EightBits", "Bd9600", "EvenParity", "Stop1"};
}

void tst_TRS232Form::formShowChecks()
{
    QFETCH(QString, port);
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, bits);
    QFETCH(int, stop);
    QFETCH(QStringList, checked);
    TComm32 comm;
    setUp(comm, port, baud, parity, bits, stop);
    TRS232Form form(&comm, FakeDevices);
    // Whatever was checked before, showing again reflects the port.
    form.findChild<QRadioButton *>("OddParity")->setChecked(true);
    form.findChild<QRadioButton *>("Bd2400")->setChecked(true);
    form.FormShow();
    QCOMPARE(checkedNames(form), checked);
    QVERIFY(form.findChild<QPushButton *>("OKBtn")->isEnabled());
}

void tst_TRS232Form::okStores_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("stop");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("newPort");
    QTest::addColumn<int>("newBaud");
    QTest::addColumn<int>("newParity");
    QTest::addColumn<int>("newBits");
    QTest::addColumn<int>("newStop");

    const QString device = FakeDevices.at(0);
    QTest::newRow("115200 becomes 9600")
        << device << 115200 << int(pEven) << 8 << int(sb1_0) << QStringList() << device << 9600
        << int(pEven) << 8 << int(sb1_0);
    QTest::newRow("parity 3 becomes odd")
        << device << 9600 << int(pMark) << 8 << int(sb1_0) << QStringList() << device << 9600
        << int(pOdd) << 8 << int(sb1_0);
    QTest::newRow("COM1 in lower case becomes COM2")
        << "com1" << 9600 << int(pEven) << 8 << int(sb1_0) << QStringList() << "COM2" << 9600
        << int(pEven) << 8 << int(sb1_0);
    QTest::newRow("an unlisted device becomes COM2")
        << "/nonexistent-drivelink/ttyUSB7" << 9600 << int(pEven) << 8 << int(sb1_0)
        << QStringList() << "COM2" << 9600 << int(pEven) << 8 << int(sb1_0);
    QTest::newRow("a byte size other than 7 becomes 8")
        << device << 9600 << int(pEven) << 6 << int(sb1_0) << QStringList() << device << 9600
        << int(pEven) << 8 << int(sb1_0);
    QTest::newRow("every group changed")
        << "COM1" << 9600 << int(pEven) << 8 << int(sb1_0)
        << QStringList{"Device2", "SevenBits", "Bd38400", "NoneParity", "Stop2"}
        << FakeDevices.at(1) << 38400 << int(pNone) << 7 << int(sb2_0);
    QTest::newRow("back to COM1, 1.5 stop bits")
        << device << 19200 << int(pNone) << 7 << int(sb2_0)
        << QStringList{"COM1", "EightBits", "Bd4800", "OddParity", "Stop15"} << "COM1" << 4800
        << int(pOdd) << 8 << int(sb1_5);
}

void tst_TRS232Form::okStores()
{
    QFETCH(QString, port);
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, bits);
    QFETCH(int, stop);
    QFETCH(QStringList, clicks);
    TComm32 comm;
    setUp(comm, port, baud, parity, bits, stop);
    TRS232Form form(&comm, FakeDevices);
    form.FormShow();
    for (const QString &name : clicks)
        form.findChild<QRadioButton *>(name)->click();
    form.findChild<QPushButton *>("OKBtn")->click();

    QCOMPARE(form.result(), int(QDialog::Accepted));
    QTEST(comm.commPort(), "newPort");
    QTEST(comm.baudRate(), "newBaud");
    QTEST(int(comm.parity()), "newParity");
    QTEST(comm.byteSize(), "newBits");
    QTEST(int(comm.stopBits()), "newStop");
    comm.StopComm();
}

void tst_TRS232Form::okRestartsThePortAndCancelLeavesItAlone()
{
    PtyLine line;
    if (!line.isOpen())
        QSKIP("no pseudo-terminal available");
    TComm32 comm;
    setUp(comm, line.path(), 9600, pEven, 8, sb1_0);
    QVERIFY(comm.StartComm());
    QCOMPARE(line.speed(), speed_t(B9600));
    // Changed behind the port's back: only a fresh start sets the speed again.
    line.setSpeed(B4800);

    TRS232Form form(&comm, {line.path()});
    form.FormShow();
    QCOMPARE(checkedNames(form).first(), QStringLiteral("Device1"));
    form.findChild<QRadioButton *>("Bd19200")->click();
    form.findChild<QPushButton *>("CancelBtn")->click();
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QCOMPARE(comm.baudRate(), 9600);
    QVERIFY(comm.isOpen());
    QCOMPARE(line.speed(), speed_t(B4800));

    form.FormShow();
    form.OKBtnClick();
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QVERIFY(comm.isOpen());
    QCOMPARE(comm.commPort(), line.path());
    QCOMPARE(line.speed(), speed_t(B9600)); // restarted with unchanged settings

    form.FormShow();
    form.findChild<QRadioButton *>("Bd19200")->click();
    form.OKBtnClick();
    QCOMPARE(line.speed(), speed_t(B19200));
    QVERIFY(comm.isOpen());
    QVERIFY(m_dialogs->shown.isEmpty());
    comm.StopComm();
}

void tst_TRS232Form::editsTheMainWindowsPort()
{
    FakeCommLink busLine;
    BusHost host(&busLine, BusHost::Role::Forwarded);
    TComm32 comm;
    setUp(comm, QStringLiteral("COM1"), 14400, pOdd, 7, sb2_0);
    TMainForm mainForm(&host, &comm);

    QStringList seen;
    bool sameList = false;
    m_dialogs->onModal = [&](QObject *dialog) {
        auto *form = qobject_cast<TRS232Form *>(dialog);
        if (!form)
            return false;
        form->FormShow();
        seen = checkedNames(*form);
        sameList = form->listedDevices() == SerialPortList::available();
        form->reject();
        return form->result() == QDialog::Accepted;
    };
    QVERIFY(!mainForm.RunModalDialog(QStringLiteral("TRS232Form")));
    QCOMPARE(m_dialogs->modalClasses, QStringList{"TRS232Form"});
    QCOMPARE(seen, (QStringList{"COM1", "SevenBits", "Bd14400", "OddParity", "Stop2"}));
    QVERIFY(sameList);
    QCOMPARE(comm.baudRate(), 14400);
}

void tst_TRS232Form::withoutAPortOkDoesNothing()
{
    TRS232Form form(nullptr, {});
    QVERIFY(!form.port()); // no main window with a serial port in this test
    form.FormShow();
    QVERIFY(!form.findChild<QPushButton *>("OKBtn")->isEnabled());
    form.OKBtnClick();
    QCOMPARE(form.result(), int(QDialog::Rejected));
}

QTEST_MAIN(tst_TRS232Form)
#include "tst_TRS232Form.moc"
