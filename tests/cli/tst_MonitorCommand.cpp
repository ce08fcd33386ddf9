#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/MonitorCommand.h"
#include "sim/SimulatedPlant.h"

#include "CliTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <unistd.h>

// The monitor on a line that goes and comes back, as an adapter pulled and put back.
class tst_MonitorCommand : public QObject
{
    Q_OBJECT

private slots:
    void resumesWhenThePulledAdapterIsBack()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString link = dir.filePath(QStringLiteral("usb-adapter"));
        SimulatedPlant plant({{QStringLiteral("KX100"), 1}});
        plant.setTiming(SimulatedBus::Timing::fast());
        const auto plugIn = [&] {
            const QString device = plant.start();
            return !device.isEmpty() && QFile::link(device, link);
        };
        QVERIFY(plugIn());

        CliSession session;
        CliSession::Settings settings;
        settings.port = link;
        settings.timeoutMs = 100;
        QString error;
        QVERIFY2(session.open(settings, &error), qPrintable(error));
        FILE *out = std::tmpfile();
        FILE *err = std::tmpfile();
        QVERIFY(out && err);
        CliOutput output(false, out, err);

        // Pulled after the first samples, back a moment later; the monitor ends on its own.
        bool replugged = false;
        QTimer::singleShot(60, [&] {
            QFile::remove(link);
            plant.stop();
        });
        QTimer::singleShot(250, [&] { replugged = plugIn(); });
        MonitorCommand monitor(session, output);
        const int code = monitor.run(1, QStringLiteral("KX100"), 8, 20, 1);
        const QString printed = CliTestSupport::readBack(out);
        const QString told = CliTestSupport::readBack(err);
        QVERIFY(replugged);
        QCOMPARE(code, 1); // samples were lost
        QCOMPARE(printed.count(QStringLiteral(" Hz ")), 8);
        QCOMPARE(told.count(QStringLiteral("lost; polling goes on until it returns")), 1);
        QCOMPARE(told.count(QStringLiteral("line back")), 1);
        QVERIFY2(!told.contains(QStringLiteral("time out")), qPrintable(told));
    }
};

QTEST_GUILESS_MAIN(tst_MonitorCommand)
#include "tst_MonitorCommand.moc"
