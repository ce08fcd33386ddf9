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
    void init() { m_root = std::make_unique<QTemporaryDir>(); }
    void listsAdaptersByStableNameFirst();
    void listsStableNamesFirstAndEachDeviceOnce();
    void numbersSortNumerically();
    void asksOnlyUartNodesAndKeepsThoseThatAnswer();
    void asksOnlyUartNodesNotCoveredAndKeepsThoseThatAnswer();
    void emptyOrMissingTreeListsNothing();
    void probeOfANonDeviceSaysNo();

private:
    QString make(const QStringList &nodes, const QStringList &byIdLinks = {});
    QString path(const QString &relative) const { return m_root->filePath(relative); }

    std::unique_ptr<QTemporaryDir> m_root;
};

// Creates the nodes and, for "name=target", a by-id link named name to ../../target.
QString tst_SerialPortList::make(const QStringList &nodes, const QStringList &byIdLinks)
{
    for (const QString &node : nodes) {
        QFile file(path(node));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot create %s", qPrintable(file.fileName()));
    }
    QDir().mkpath(path("serial/by-id"));
    for (const QString &link : byIdLinks) {
        const QStringList parts = link.split('=');
        QFile::link("../../" + parts.at(1), path("serial/by-id/" + parts.at(0)));
    }
    return m_root->path();
}

void tst_SerialPortList::listsAdaptersByStableNameFirst()
{
    // tty0 is a console, not a serial adapter.
    const QString root =
        make({"ttyUSB0", "ttyUSB1", "ttyACM0", "tty0"}, {"usb-Maker_Adapter_B-if00-port0=ttyUSB1"});
    QCOMPARE(SerialPortList::devices(root, {}),
             (QStringList{path("serial/by-id/usb-Maker_Adapter_B-if00-port0"), path("ttyUSB0"),
                          path("ttyACM0")}));
}

void tst_SerialPortList::listsStableNamesFirstAndEachDeviceOnce()
{
    const QString root = make({"ttyUSB10", "ttyUSB2", "ttyUSB0", "ttyACM0", "tty0", "ttyUSBx"},
                              {"usb-B=ttyUSB2", "usb-A=ttyACM0", "usb-unplugged=ttyUSB7"});
    // By-id names by name (a dangling one names nothing), then the rest by number; a device
    // that a by-id name leads to is not listed twice; consoles and odd names are no ports.
    QCOMPARE(SerialPortList::devices(root, {}),
             (QStringList{path("serial/by-id/usb-A"), path("serial/by-id/usb-B"), path("ttyUSB0"),
                          path("ttyUSB10")}));
}

void tst_SerialPortList::numbersSortNumerically()
{
    const QString root = make({"ttyUSB10", "ttyUSB2", "ttyUSB0"});
    QCOMPARE(SerialPortList::devices(root, {}),
             (QStringList{path("ttyUSB0"), path("ttyUSB2"), path("ttyUSB10")}));
}

void tst_SerialPortList::asksOnlyUartNodesAndKeepsThoseThatAnswer()
{
    const QString root = make({"ttyS0", "ttyS1", "ttyS2", "ttyUSB0", "ttySfoo"});
    QStringList asked;
    const auto probe = [&](const QString &p) {
        asked << p;
        return p.endsWith(QLatin1String("ttyS2"));
    };
    QCOMPARE(SerialPortList::devices(root, probe), (QStringList{path("ttyUSB0"), path("ttyS2")}));
    QCOMPARE(asked, (QStringList{path("ttyS0"), path("ttyS1"), path("ttyS2")}));
}

void tst_SerialPortList::asksOnlyUartNodesNotCoveredAndKeepsThoseThatAnswer()
{
    const QString root =
        make({"ttyS0", "ttyS1", "ttyS2", "ttyS4", "ttyS10", "ttyUSB0"}, {"usb-C=ttyUSB0"});
    QStringList asked;
    const auto probe = [&](const QString &p) {
        asked << p;
        return !p.endsWith("ttyS2");
    };
    // What "COM1" and "COM2" open is offered already; a covered path that does not exist
    // covers nothing else.
    const QStringList covered{path("ttyS0"), path("ttyS1"), path("serial/by-id/usb-C"),
                              path("ttyS9")};
    QCOMPARE(SerialPortList::devices(root, probe, covered),
             (QStringList{path("ttyS4"), path("ttyS10")}));
    QCOMPARE(asked, (QStringList{path("ttyS2"), path("ttyS4"), path("ttyS10")}));
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
    make({"ttyS3"});
    QVERIFY(!SerialPortList::answersAsUart(path("ttyS3")));
    QVERIFY(!SerialPortList::answersAsUart(path("ttyS8")));
    QVERIFY(!SerialPortList::answersAsUart(QString()));
    QVERIFY(!SerialPortList::answersAsUart(QStringLiteral("/dev/null")));
}

QTEST_GUILESS_MAIN(tst_SerialPortList)
#include "tst_SerialPortList.moc"
