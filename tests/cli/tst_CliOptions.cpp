#include "cli/CliOptions.h"

#include <QtTest>

using Command = CliOptions::Command;
Q_DECLARE_METATYPE(CliOptions::Command)

class tst_CliOptions : public QObject
{
    Q_OBJECT

private slots:
    void commandsAndOperands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<Command>("command");
        QTest::addColumn<QList<int>>("addresses");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("reg");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("file");

        QList<int> all;
        for (int a = 0; a < 32; ++a)
            all << a;
        QTest::newRow("scan defaults to 0-31")
            << QStringList{"scan"} << Command::Scan << all << -1 << -1 << 0 << QString();
        QTest::newRow("scan ranges in order")
            << QStringList{"scan", "7", "3-5", "31-30"} << Command::Scan
            << QList<int>{7, 3, 4, 5, 31, 30} << -1 << -1 << 0 << QString();
        QTest::newRow("repeated addresses once, in order")
            << QStringList{"backup", "f.ini", "2", "5", "2", "2-2", "4-6"} << Command::Backup
            << QList<int>{2, 5, 4, 6} << -1 << -1 << 0 << "f.ini";
        QTest::newRow("read hex register") << QStringList{"read", "1", "0x16A"} << Command::Read
                                           << QList<int>{} << 1 << 362 << 0 << QString();
        QTest::newRow("write negative value")
            << QStringList{"write", "31", "259", "-5"} << Command::Write << QList<int>{} << 31
            << 259 << -5 << QString();
        QTest::newRow("write top value")
            << QStringList{"write", "0", "65535", "0xFFFF"} << Command::Write << QList<int>{} << 0
            << 65535 << 65535 << QString();
        QTest::newRow("upload") << QStringList{"upload", "2", "a.ini"} << Command::Upload
                                << QList<int>{} << 2 << -1 << 0 << "a.ini";
        QTest::newRow("backup with range")
            << QStringList{"backup", "b.ini", "1-2"} << Command::Backup << QList<int>{1, 2} << -1
            << -1 << 0 << "b.ini";
        QTest::newRow("restore") << QStringList{"restore", "b.ini"} << Command::Restore
                                 << QList<int>{} << -1 << -1 << 0 << "b.ini";
        QTest::newRow("monitor") << QStringList{"monitor", "3", "--count", "2"} << Command::Monitor
                                 << QList<int>{} << 3 << -1 << 0 << QString();
        QTest::newRow("diff drive") << QStringList{"diff", "0x1F", "p.ini"} << Command::Diff
                                    << QList<int>{} << 31 << -1 << 0 << "p.ini";
        QTest::newRow("diff files") << QStringList{"diff", "p.ini", "q.ini"} << Command::Diff
                                    << QList<int>{} << -1 << -1 << 0 << "p.ini";
    }

    void commandsAndOperands()
    {
        QFETCH(QStringList, args);
        CliOptions options;
        QString error;
        QVERIFY2(options.parse(args, &error), qPrintable(error));
        QTEST(options.command, "command");
        QTEST(options.addresses, "addresses");
        QTEST(options.address, "address");
        QTEST(options.registerNumber, "reg");
        QTEST(options.value, "value");
        QTEST(options.file, "file");
    }

    void lineOptions()
    {
        CliOptions options;
        QString error;
        QVERIFY2(options.parse({"--port", "/dev/ttyUSB0", "--baud=19200", "--parity", "odd",
                                "--stop-bits", "1.5", "--data-bits", "7", "--json", "--model",
                                "kx300", "--timeout-ms", "300", "read", "4", "33"},
                               &error),
                 qPrintable(error));
        QCOMPARE(options.port, QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(options.line.baudRate, 19200);
        QCOMPARE(options.line.parity, pOdd);
        QCOMPARE(options.line.stopBits, sb1_5);
        QCOMPARE(options.line.byteSize, 7);
        QVERIFY(options.json);
        QCOMPARE(options.model, QStringLiteral("KX300"));
        QCOMPARE(options.timeoutMs, 300);

        // The program's line: COM1, 9600 bit/s, even parity, 8 data bits, 1 stop bit.
        CliOptions defaults;
        QVERIFY(defaults.parse({"scan"}, &error));
        QCOMPARE(defaults.port, QStringLiteral("COM1"));
        QCOMPARE(defaults.line.baudRate, 9600);
        QCOMPARE(defaults.line.parity, pEven);
        QCOMPARE(defaults.line.stopBits, sb1_0);
        QCOMPARE(defaults.line.byteSize, 8);
        QCOMPARE(defaults.timeoutMs, 0);
        QVERIFY(defaults.fastTiming);

        CliOptions standard;
        QVERIFY(standard.parse({"--timing", "standard", "--timeout-ms=250", "scan"}, &error));
        QVERIFY(!standard.fastTiming);
        QCOMPARE(standard.timeoutMs, 250);
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("reason");
        QTest::newRow("nothing") << QStringList{} << "no command given";
        QTest::newRow("unknown command") << QStringList{"erase"} << "unknown command erase";
        QTest::newRow("unknown option") << QStringList{"--fast", "scan"} << "unknown option --fast";
        QTest::newRow("option without value")
            << QStringList{"scan", "--port"} << "--port needs a value";
        QTest::newRow("trace file without name")
            << QStringList{"scan", "--trace-file"} << "--trace-file needs a value";
        QTest::newRow("trace with a value")
            << QStringList{"--trace=err", "scan"} << "--trace takes no value";
        QTest::newRow("address 32")
            << QStringList{"read", "32", "1"} << "invalid address 32 (0..31)";
        QTest::newRow("range beyond 31")
            << QStringList{"scan", "30-40"} << "invalid address or range 30-40 (0..31, FROM-TO)";
        QTest::newRow("register too large")
            << QStringList{"read", "1", "65536"} << "invalid register 65536 (0..65535)";
        QTest::newRow("value too large")
            << QStringList{"write", "1", "259", "65536"} << "invalid value 65536 (-32768..65535)";
        QTest::newRow("value not a number")
            << QStringList{"write", "1", "259", "12a"} << "invalid value 12a (-32768..65535)";
        QTest::newRow("echo mode")
            << QStringList{"--echo", "maybe", "scan"} << "invalid --echo: maybe (auto, on or off)";
        QTest::newRow("resync negative")
            << QStringList{"--resync-ms=-1", "scan"} << "invalid --resync-ms: -1 (0..10000)";
        QTest::newRow("csv beside monitor only")
            << QStringList{"--csv", "scan"} << "--csv belongs to monitor";
        QTest::newRow("diff address 32")
            << QStringList{"diff", "32", "p.ini"} << "invalid address 32 (0..31)";
        QTest::newRow("missing operand")
            << QStringList{"write", "1", "259"} << "usage: drivelink-cli write ADDR REGISTER VALUE";
        QTest::newRow("extra operand")
            << QStringList{"restore", "a.ini", "b.ini"} << "usage: drivelink-cli restore FILE";
        QTest::newRow("backup without file")
            << QStringList{"backup"} << "usage: drivelink-cli backup FILE [ADDR|FROM-TO]...";
        QTest::newRow("parity mark") << QStringList{"--parity", "mark", "scan"}
                                     << "invalid --parity: mark (none, even or odd)";
        QTest::newRow("stop bits 3")
            << QStringList{"--stop-bits", "3", "scan"} << "invalid --stop-bits: 3 (1, 1.5 or 2)";
        QTest::newRow("data bits 6")
            << QStringList{"--data-bits", "6", "scan"} << "invalid --data-bits: 6 (7 or 8)";
        QTest::newRow("unknown model") << QStringList{"--model", "KX400", "read", "1", "2"}
                                       << "invalid --model: KX400 (KX100, KX200 or KX300)";
        QTest::newRow("count zero")
            << QStringList{"monitor", "1", "--count", "0"} << "invalid --count: 0";
        QTest::newRow("count outside monitor")
            << QStringList{"--count", "2", "scan"} << "--count belongs to monitor";
        QTest::newRow("unknown timing")
            << QStringList{"--timing", "slow", "scan"} << "invalid --timing: slow (fast or standard)";
        // A reply ends after 250 ms of silence in standard timing: a shorter time-out cuts it off.
        QTest::newRow("standard time-out below the silence")
            << QStringList{"--timing=standard", "--timeout-ms=249", "scan"}
            << "invalid --timeout-ms: 249 (at least 250 with --timing standard)";
        QTest::newRow("fast time-out beyond 10 s")
            << QStringList{"--timeout-ms=10001", "scan"}
            << "invalid --timeout-ms: 10001 (20..10000 with --timing fast)";
        QTest::newRow("flag with value")
            << QStringList{"--json=1", "scan"} << "--json takes no value";
        QTest::newRow("hex prefix twice")
            << QStringList{"read", "1", "0x0x10"} << "invalid register 0x0x10 (0..65535)";
        QTest::newRow("hex with sign")
            << QStringList{"write", "1", "2", "0x-8000"} << "invalid value 0x-8000 (-32768..65535)";
        QTest::newRow("hex with plus")
            << QStringList{"read", "1", "0x+10"} << "invalid register 0x+10 (0..65535)";
        QTest::newRow("hex with blank")
            << QStringList{"read", "1", "0x 10"} << "invalid register 0x 10 (0..65535)";
        QTest::newRow("final line feed")
            << QStringList{"read", "1", "5\n"} << "invalid register 5\n (0..65535)";
        QTest::newRow("hex with final line feed")
            << QStringList{"read", "1", "0x5\n"} << "invalid register 0x5\n (0..65535)";
        QTest::newRow("bare hex prefix") << QStringList{"read", "1", "0x"} << "invalid register 0x (0..65535)";
        QTest::newRow("blank file") << QStringList{"upload", "1", ""} << "FILE is blank";
        QTest::newRow("space-only file") << QStringList{"backup", "  "} << "FILE is blank";
        QTest::newRow("force outside its commands")
            << QStringList{"--force", "scan"} << "--force belongs to write, download and restore";
        QTest::newRow("max errors outside monitor")
            << QStringList{"--max-errors", "2", "scan"} << "--max-errors belongs to monitor";
        QTest::newRow("set-address beyond 31")
            << QStringList{"set-address", "1", "32"} << "invalid address 32 (0..31)";
        QTest::newRow("max errors zero")
            << QStringList{"monitor", "1", "--max-errors", "0"} << "invalid --max-errors: 0";
    }

    void usageErrors()
    {
        QFETCH(QStringList, args);
        CliOptions options;
        QString error;
        QVERIFY(!options.parse(args, &error));
        QTEST(error, "reason");
    }

    // The line options, defaults and given; a backup of several ports hands them on.
    void lineHandling()
    {
        CliOptions defaults, given;
        QVERIFY(defaults.parse({"scan"}, nullptr));
        QVERIFY(given.parse({"--echo", "off", "--resync-ms=500", "scan"}, nullptr));
        QCOMPARE(std::pair(defaults.echo, defaults.resyncMs), std::pair(EchoMode::Auto, 0));
        QCOMPARE(std::pair(given.echo, given.resyncMs), std::pair(EchoMode::Off, 500));
        QCOMPARE(given.sharedArguments, (QStringList{"--echo", "off", "--resync-ms=500"}));
    }
};

QTEST_GUILESS_MAIN(tst_CliOptions)
#include "tst_CliOptions.moc"
