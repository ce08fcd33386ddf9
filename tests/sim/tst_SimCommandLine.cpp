#include "sim/SimCommandLine.h"

#include "PtyClient.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class tst_SimCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void parsesAFullCommandLine()
    {
        QString error;
        const auto options = SimCommandLine::parse({"drivelink-sim",
                                                    "--link",
                                                    "/tmp/bus",
                                                    "--kx100",
                                                    "1",
                                                    "--kx100",
                                                    "4",
                                                    "--kx200",
                                                    "2",
                                                    "--kx300",
                                                    "3",
                                                    "--baud",
                                                    "19200",
                                                    "--parity",
                                                    "odd",
                                                    "--turnaround",
                                                    "20",
                                                    "--fault",
                                                    "4:silent",
                                                    "--fault",
                                                    "2:split",
                                                    "--fault",
                                                    "3:late:700",
                                                    "--no-broadcast-reply",
                                                    "3",
                                                    "--verbose",
                                                    "--echo",
                                                    "--latency",
                                                    "16",
                                                    "--noise",
                                                    "40",
                                                    "--seed",
                                                    "9",
                                                    "--unplug-after",
                                                    "100",
                                                    "--unplug-every",
                                                    "300"},
                                                   &error);
        QVERIFY2(options, qPrintable(error));
        QVERIFY(options->line.echo);
        QCOMPARE(options->line.latencyMs, 16);
        QCOMPARE(options->line.noisePerSecond, 40.0);
        QCOMPARE(options->line.seed, 9u);
        QCOMPARE(options->line.timing.baud, 19200);
        QCOMPARE(options->unplug.afterMs, 100);
        QCOMPARE(options->unplug.pauseMs, 1000);
        QCOMPARE(options->unplug.everyMs, 300);
        QCOMPARE(options->link, QStringLiteral("/tmp/bus"));
        QCOMPARE(options->members.size(), 4);
        QCOMPARE(options->members[1].model, QStringLiteral("KX100"));
        QCOMPARE(options->members[1].address, 4);
        QCOMPARE(options->members[3].model, QStringLiteral("KX300"));
        QCOMPARE(options->timing.baud, 19200);
        QCOMPARE(options->timing.parity, PseudoTerminal::Parity::Odd);
        QCOMPARE(options->timing.turnaroundMs, 20);
        QVERIFY(options->timing.paced);
        QCOMPARE(options->faults.size(), 3);
        QCOMPARE(options->faults[0].address, 4);
        QCOMPARE(options->faults[0].fault, SimFault::Silent);
        QCOMPARE(options->faults[1].fault, SimFault::SplitReply);
        QCOMPARE(options->faults[2].fault, SimFault::LateReply);
        QCOMPARE(options->faults[2].lateMs, 700);
        QCOMPARE(options->quietOnBroadcast, QList<int>{3});
        QVERIFY(options->verbose);
    }

    void defaults()
    {
        QString error;
        const auto options =
            SimCommandLine::parse({"drivelink-sim", "--link", "x", "--fast"}, &error);
        QVERIFY2(options, qPrintable(error));
        QCOMPARE(options->members.size(), 3); // the default plant
        QCOMPARE(options->timing.baud, 9600);
        QCOMPARE(options->timing.parity, PseudoTerminal::Parity::Even);
        QCOMPARE(options->timing.turnaroundMs, 0);
        QVERIFY(!options->timing.paced);
        QVERIFY(!options->verbose);
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no link") << QStringList{"--kx100", "1"};
        QTest::newRow("unknown option") << QStringList{"--link", "x", "--kx400", "1"};
        QTest::newRow("stray argument") << QStringList{"--link", "x", "extra"};
        QTest::newRow("address not a number") << QStringList{"--link", "x", "--kx100", "one"};
        QTest::newRow("Modbus at 0") << QStringList{"--link", "x", "--kx100", "0"};
        QTest::newRow("address 32") << QStringList{"--link", "x", "--kx200", "32"};
        QTest::newRow("two Modbus at 1")
            << QStringList{"--link", "x", "--kx100", "1", "--kx300", "1"};
        QTest::newRow("odd baud rate") << QStringList{"--link", "x", "--baud", "9601"};
        QTest::newRow("parity mark") << QStringList{"--link", "x", "--parity", "mark"};
        QTest::newRow("negative turn-around") << QStringList{"--link", "x", "--turnaround", "-1"};
        QTest::newRow("fault kind unknown") << QStringList{"--link", "x", "--fault", "1:wobbly"};
        QTest::newRow("fault without kind") << QStringList{"--link", "x", "--fault", "1"};
        QTest::newRow("late without a time")
            << QStringList{"--link", "x", "--fault", "1:late:soon"};
        QTest::newRow("delay for another fault")
            << QStringList{"--link", "x", "--fault", "1:silent:100"};
        QTest::newRow("fault at an empty address")
            << QStringList{"--link", "x", "--fault", "9:silent"};
        QTest::newRow("quiet at an empty address")
            << QStringList{"--link", "x", "--no-broadcast-reply", "9"};
        QTest::newRow("latency not a number") << QStringList{"--link", "x", "--latency", "soon"};
        QTest::newRow("negative noise") << QStringList{"--link", "x", "--noise", "-5"};
        QTest::newRow("unplug every 0") << QStringList{"--link", "x", "--unplug-every", "0"};
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QString error;
        QVERIFY(!SimCommandLine::parse(QStringList{"drivelink-sim"} + arguments, &error));
        QVERIFY(!error.isEmpty());
    }

    void toolServesTheReadOfTheAddressRegister()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString link = dir.filePath(QStringLiteral("bus"));
        QProcess tool;
        tool.setProcessChannelMode(QProcess::SeparateChannels);
        tool.start(QStringLiteral(DRIVELINK_SIM_EXECUTABLE),
                   {"--link", link, "--kx100", "1", "--fault", "1:none", "--verbose"});
        QVERIFY(tool.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(link).isSymLink(), 10000);

        {
            PtyClient line(link);
            QVERIFY(line.isOpen());
            QCOMPARE(line.exchange(hexBytes("01 03 01 6A 00 01 A5 EA"), 7),
                     hexBytes("01 03 02 00 01 79 84"));
        }

        ::kill(static_cast<pid_t>(tool.processId()), SIGTERM);
        QVERIFY(tool.waitForFinished(10000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink()); // the link is gone
        const QString log = QString::fromLocal8Bit(tool.readAllStandardError());
        QVERIFY2(log.contains(QStringLiteral("rx 01 03 01 6A 00 01 A5 EA")), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("tx 01 03 02 00 01 79 84")), qPrintable(log));
    }

    void toolUnplugsAndReplugsTheLink()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString link = dir.filePath(QStringLiteral("bus"));
        QProcess tool;
        tool.start(QStringLiteral(DRIVELINK_SIM_EXECUTABLE), {"--link", link, "--kx100", "1"});
        QVERIFY(tool.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(link).isSymLink(), 10000);
        for (const bool relayed : {false, true}) {
            if (relayed) { // the same with a line condition, whose relay is what is pulled
                ::kill(static_cast<pid_t>(tool.processId()), SIGTERM);
                QVERIFY(tool.waitForFinished(10000));
                tool.start(QStringLiteral(DRIVELINK_SIM_EXECUTABLE),
                           {"--link", link, "--kx100", "1", "--latency", "1"});
                QVERIFY(tool.waitForStarted());
                QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(link).isSymLink(), 10000);
            }
            PtyClient before(link);
            QVERIFY(before.isOpen());
            ::kill(static_cast<pid_t>(tool.processId()), SIGUSR1);
            QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo(link).isSymLink(), 10000);
            ::kill(static_cast<pid_t>(tool.processId()), SIGUSR2);
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(link).isSymLink(), 10000);
            PtyClient after(link);
            QVERIFY(after.isOpen());
            QCOMPARE(after.exchange(hexBytes("01 03 01 6A 00 01 A5 EA"), 7),
                     hexBytes("01 03 02 00 01 79 84"));
        }
        ::kill(static_cast<pid_t>(tool.processId()), SIGTERM);
        QVERIFY(tool.waitForFinished(10000));
        QCOMPARE(tool.exitCode(), 0);
    }

    void toolRefusesToReplaceAFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("precious"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me");
        file.close();
        QProcess tool;
        tool.start(QStringLiteral(DRIVELINK_SIM_EXECUTABLE), {"--link", path});
        QVERIFY(tool.waitForFinished(10000));
        QCOMPARE(tool.exitCode(), 1);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep me"));
    }

    void toolUsageErrorExitsWithTwo()
    {
        QProcess tool;
        tool.start(QStringLiteral(DRIVELINK_SIM_EXECUTABLE), {"--kx100", "1"});
        QVERIFY(tool.waitForFinished(10000));
        QCOMPARE(tool.exitCode(), 2);
        const QString text = QString::fromLocal8Bit(tool.readAllStandardError());
        QVERIFY(text.contains(QStringLiteral("--link")));
        QVERIFY(text.contains(QStringLiteral("Usage: drivelink-sim")));
    }
};

QTEST_GUILESS_MAIN(tst_SimCommandLine)
#include "tst_SimCommandLine.moc"
