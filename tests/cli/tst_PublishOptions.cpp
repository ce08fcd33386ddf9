// publish's options as the command line gives them: broker URLs, ids, deadband, credentials.
#include "cli/CliOptions.h"

#include <QtTest>

class tst_PublishOptions : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error"); // how the reason starts; empty: valid
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("tls");
        const QStringList publish{"publish", "--node", "n1"};
        QTest::newRow("default port") << publish + QStringList{"--broker", "mqtt://10.1.2.3"} << ""
                                      << "10.1.2.3" << 1883 << false;
        QTest::newRow("tls default port")
            << publish + QStringList{"--broker=mqtts://b.example"} << ""
            << "b.example" << 8883 << true;
        QTest::newRow("port and slash") << publish + QStringList{"--broker", "mqtt://h:1884/"} << ""
                                        << "h" << 1884 << false;
        QTest::newRow("ipv6") << publish + QStringList{"--broker", "mqtt://[::1]:1999"} << ""
                              << "::1" << 1999 << false;
        QTest::newRow("no broker") << publish << "publish needs --broker mqtt://HOST[:PORT]"
                                   << "" << 0 << false;
        for (const char *bad : {"tcp://h", "mqtt://", "mqtt://h:0", "mqtt://h:70000",
                                "mqtt://h/topic", "mqtt://u:p@h", "h:1883"}) {
            QTest::newRow(bad) << publish + QStringList{"--broker", bad}
                               << QStringLiteral("invalid --broker: %1").arg(bad) << "" << 0
                               << false;
        }
        const QStringList broker{"--broker", "mqtt://h"};
        QTest::newRow("wildcard node") << QStringList{"publish", "--node", "a+b"} + broker
                                       << "invalid --node: 'a+b' (not empty, no '/', '+' or '#')"
                                       << "" << 0 << false;
        QTest::newRow("slash group") << publish + broker + QStringList{"--group", "a/b"}
                                     << "invalid --group: 'a/b' (not empty, no '/', '+' or '#')"
                                     << "" << 0 << false;
        QTest::newRow("deadband over 100") << publish + broker + QStringList{"--deadband", "101"}
                                           << "invalid --deadband: 101 (0..100 percent)"
                                           << "" << 0 << false;
        QTest::newRow("password without user")
            << publish + broker + QStringList{"--password-file", "/p"}
            << "--password-file needs --username"
            << "" << 0 << false;
        QTest::newRow("cafile without tls") << publish + broker + QStringList{"--cafile", "/c"}
                                            << "--cafile needs an mqtts:// broker"
                                            << "" << 0 << false;
        QTest::newRow("option of another command")
            << QStringList{"scan", "--broker", "mqtt://h"}
            << "--broker, --group, --node, --deadband, --username, --password-file, --cafile "
               "and --rescan-ms belong to publish"
            << "" << 0 << false;
    }
    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        CliOptions options;
        QString why;
        QCOMPARE(options.parse(arguments, &why), error.isEmpty());
        QVERIFY2(error.isEmpty() || why.startsWith(error), qPrintable(why));
        if (!error.isEmpty())
            return;
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(bool, tls);
        QCOMPARE(options.publish.host, host);
        QCOMPARE(options.publish.port, port);
        QCOMPARE(options.publish.tls, tls);
        QCOMPARE(options.addresses.size(), 32); // no addresses: all, found again and again
    }
};

QTEST_GUILESS_MAIN(tst_PublishOptions)
#include "tst_PublishOptions.moc"
