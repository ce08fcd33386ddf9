#include "serial/AdapterLatency.h"

#include "PseudoTerminalPair.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Timer = AdapterLatency::Timer;
Q_DECLARE_METATYPE(AdapterLatency::Timer)

class tst_AdapterLatency : public QObject
{
    Q_OBJECT

private slots:
    // A sysfs tree in a temporary folder: the tty's device under a USB port or elsewhere, with
    // or without the driver's latency timer.
    void latencyTimer_data()
    {
        QTest::addColumn<QString>("parent"); // of the tty's device
        QTest::addColumn<QString>("timer");  // the latency timer's content; empty: none
        QTest::addColumn<Timer>("outcome");
        QTest::addColumn<QString>("text");
        const QString usb = QStringLiteral("devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0");
        QTest::newRow("at 16 ms") << usb << "16\n" << Timer::Set << "16 мс → 1 мс";
        QTest::newRow("at 1 ms") << usb << "1" << Timer::Kept << "задержки 1 мс;";
        QTest::newRow("no timer") << usb << "" << Timer::NoTimer << "без таймера";
        QTest::newRow("unreadable") << usb << "x" << Timer::Unreadable << "не читается";
        QTest::newRow("UART") << "devices/platform/serial8250"
                              << "16" << Timer::NotUsb << "не USB";
    }
    void latencyTimer()
    {
        QFETCH(QString, parent);
        QFETCH(QString, timer);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString device = root.filePath(parent + QStringLiteral("/ttyUSB0"));
        QVERIFY(QDir().mkpath(device) && QDir().mkpath(root.filePath("class/tty/ttyUSB0")));
        QVERIFY(QFile::link(device, root.filePath(QStringLiteral("class/tty/ttyUSB0/device"))));
        QFile file(device + QStringLiteral("/latency_timer"));
        QVERIFY(timer.isEmpty() ||
                (file.open(QIODevice::WriteOnly) && file.write(timer.toLatin1())));
        file.close();
        const AdapterLatency::Report report =
            AdapterLatency::apply(QStringLiteral("/dev/ttyUSB0"), -1, root.path());
        QTEST(report.timer, "outcome");
        QFETCH(QString, text);
        QVERIFY2(report.text().contains(text), qPrintable(report.text()));
        QVERIFY(report.timer != Timer::Set ||
                (file.open(QIODevice::ReadOnly) && file.readAll().trimmed() == "1"));
    }

    // A pseudo-terminal takes no serial settings: the flag is reported unsupported.
    void lowLatencyFlagOnAPseudoTerminal()
    {
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        const AdapterLatency::Report report =
            AdapterLatency::apply(line.slavePath(), line.masterFd(), QStringLiteral("/sys"));
        QCOMPARE(report.flag, AdapterLatency::Flag::Unsupported);
        QVERIFY(report.englishText().contains(QLatin1String("not a USB adapter")));
    }
};

QTEST_GUILESS_MAIN(tst_AdapterLatency)
#include "tst_AdapterLatency.moc"
