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
        QTest::addColumn<QString>("parent"); // empty: no sysfs entry for the tty at all
        QTest::addColumn<QString>("timer");  // the latency timer's content; empty: none
        QTest::addColumn<Timer>("outcome");
        QTest::addColumn<int>("foundMs");
        QTest::addColumn<int>("inForceMs");
        QTest::addColumn<QString>("text");
        const QString usb = QStringLiteral("devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0");
        QTest::newRow("FTDI at 16 ms") << usb << "16\n" << Timer::Set << 16 << 1
                                       << "таймер задержки 16 мс → 1 мс";
        QTest::newRow("already 1 ms") << usb << "1\n" << Timer::Kept << 1 << 1
                                      << "таймер задержки 1 мс";
        QTest::newRow("driver without timer")
            << usb << QString() << Timer::NoTimer << -1 << -1 << "без таймера задержки";
        QTest::newRow("unreadable") << usb << "x" << Timer::Unreadable << -1 << -1
                                    << "не читается";
        QTest::newRow("on-board UART") << "devices/platform/serial8250" << "16" << Timer::NotUsb
                                       << -1 << -1 << "не USB-адаптер";
        QTest::newRow("unknown tty") << QString() << QString() << Timer::NotUsb << -1 << -1
                                     << "не USB-адаптер";
    }
    void latencyTimer()
    {
        QFETCH(QString, parent);
        QFETCH(QString, timer);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString device = root.filePath(parent + QStringLiteral("/ttyUSB0"));
        if (!parent.isEmpty()) {
            QVERIFY(QDir().mkpath(device));
            QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("class/tty/ttyUSB0"))));
            QVERIFY(QFile::link(device, root.filePath(QStringLiteral("class/tty/ttyUSB0/device"))));
        }
        QFile file(device + QStringLiteral("/latency_timer"));
        if (!timer.isEmpty()) {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(timer.toLatin1());
            file.close();
        }
        const AdapterLatency::Report report =
            AdapterLatency::apply(QStringLiteral("/dev/ttyUSB0"), -1, root.path());
        QTEST(report.timer, "outcome");
        QTEST(report.foundMs, "foundMs");
        QTEST(report.inForceMs, "inForceMs");
        QFETCH(QString, text);
        QVERIFY2(report.text().contains(text), qPrintable(report.text()));
        QCOMPARE(report.deliveryDelayMs(), std::max(0, report.inForceMs));
        if (report.timer == Timer::Set) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll().trimmed(), QByteArray("1"));
        }
    }

    // A pseudo-terminal takes no serial settings: the flag is reported unsupported.
    void lowLatencyFlagOnAPseudoTerminal()
    {
        PseudoTerminalPair line;
        QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
        const AdapterLatency::Report report =
            AdapterLatency::apply(line.slavePath(), line.masterFd(), QStringLiteral("/sys"));
        QCOMPARE(report.flag, AdapterLatency::Flag::Unsupported);
        QCOMPARE(report.timer, Timer::NotUsb);
        QVERIFY2(report.englishText().contains(QLatin1String("not a USB adapter")),
                 qPrintable(report.englishText()));
    }
};

QTEST_GUILESS_MAIN(tst_AdapterLatency)
#include "tst_AdapterLatency.moc"
