#include "serial/SerialPortList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The enumeration on a /dev tree of the test's own: plain files stand in for device nodes,
// relative links for the by-id names, and a probe of the test's own for the UART check.
class tst_SerialPortList : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void listsAdaptersByStableNameFirst();
    void leavesOutWhatAByIdNameAlreadyNames();
    void leavesOutDanglingByIdNames();
    void asksOnlyUartNodesAndKeepsThoseThatAnswer();
    void numbersSortNumerically();
    void coveredDevicesAreNeitherListedNorAsked();
    void emptyOrMissingTreeListsNothing();
    void probeOfANonDeviceSaysNo();

private:
    QString node(const QString &relative);
    void link(const QString &relative, const QString &target);
    QString path(const QString &relative) const { return m_root->filePath(relative); }

    std::unique_ptr<QTemporaryDir> m_root;
};

void tst_SerialPortList::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
}

QString tst_SerialPortList::node(const QString &relative)
{
    QFile file(path(relative));
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(file.fileName()));
    return file.fileName();
}

void tst_SerialPortList::link(const QString &relative, const QString &target)
{
    QDir().mkpath(QFileInfo(path(relative)).absolutePath());
    QVERIFY(QFile::link(target, path(relative)));
}

void tst_SerialPortList::listsAdaptersByStableNameFirst()
{
    node("ttyUSB0");
    node("ttyUSB1");
    node("ttyACM0");
    node("tty0"); // a console, not a serial adapter
    link("serial/by-id/usb-Maker_Adapter_B-if00-port0", "../../ttyUSB1");
    const QStringList found = SerialPortList::devices(m_root->path(), {});
    QCOMPARE(found, (QStringList{path("serial/by-id/usb-Maker_Adapter_B-if00-port0"),
                                 path("ttyUSB0"), path("ttyACM0")}));
}

void tst_SerialPortList::leavesOutWhatAByIdNameAlreadyNames()
{
    node("ttyUSB0");
    node("ttyACM0");
    link("serial/by-id/usb-B", "../../ttyUSB0");
    link("serial/by-id/usb-A", "../../ttyACM0");
    QCOMPARE(SerialPortList::devices(m_root->path(), {}),
             (QStringList{path("serial/by-id/usb-A"), path("serial/by-id/usb-B")}));
}

void tst_SerialPortList::leavesOutDanglingByIdNames()
{
    node("ttyUSB0");
    link("serial/by-id/usb-unplugged", "../../ttyUSB7");
    QCOMPARE(SerialPortList::devices(m_root->path(), {}), (QStringList{path("ttyUSB0")}));
}

void tst_SerialPortList::asksOnlyUartNodesAndKeepsThoseThatAnswer()
{
    node("ttyS0");
    node("ttyS1");
    node("ttyS2");
    node("ttyUSB0");
    node("ttySfoo");
    QStringList asked;
    const auto probe = [&](const QString &p) {
        asked << p;
        return p.endsWith(QLatin1String("ttyS2"));
    };
    QCOMPARE(SerialPortList::devices(m_root->path(), probe),
             (QStringList{path("ttyUSB0"), path("ttyS2")}));
    QCOMPARE(asked, (QStringList{path("ttyS0"), path("ttyS1"), path("ttyS2")}));
}

void tst_SerialPortList::numbersSortNumerically()
{
    for (const char *name : {"ttyUSB10", "ttyUSB2", "ttyUSB0"})
        node(name);
    QCOMPARE(SerialPortList::devices(m_root->path(), {}),
             (QStringList{path("ttyUSB0"), path("ttyUSB2"), path("ttyUSB10")}));
}

void tst_SerialPortList::coveredDevicesAreNeitherListedNorAsked()
{
    node("ttyS0");
    node("ttyS1");
    node("ttyS4");
    node("ttyUSB0");
    link("serial/by-id/usb-C", "../../ttyUSB0");
    QStringList asked;
    const auto probe = [&](const QString &p) {
        asked << p;
        return true;
    };
    // What "COM1" and "COM2" open is on the list already; a covered path that does not exist
    // covers nothing else.
    const QStringList covered{path("ttyS0"), path("ttyS1"), path("serial/by-id/usb-C"),
                              path("ttyS9")};
    QCOMPARE(SerialPortList::devices(m_root->path(), probe, covered), (QStringList{path("ttyS4")}));
    QCOMPARE(asked, (QStringList{path("ttyS4")}));
}

void tst_SerialPortList::emptyOrMissingTreeListsNothing()
{
    QVERIFY(
        SerialPortList::devices(m_root->path(), [](const QString &) { return true; }).isEmpty());
    QVERIFY(SerialPortList::devices(path("no/such/dir"), [](const QString &) {
                return true;
            }).isEmpty());
}

void tst_SerialPortList::probeOfANonDeviceSaysNo()
{
    QVERIFY(!SerialPortList::answersAsUart(node("ttyS3")));
    QVERIFY(!SerialPortList::answersAsUart(path("ttyS8")));
    QVERIFY(!SerialPortList::answersAsUart(QString()));
    QVERIFY(!SerialPortList::answersAsUart(QStringLiteral("/dev/null")));
}

QTEST_GUILESS_MAIN(tst_SerialPortList)
#include "tst_SerialPortList.moc"
