#include "sim/SimTcpGateway.h"
#include "sim/SimulatedPlant.h"

#include <QTcpSocket>
#include <QTest>

namespace {

// A KX100 read of register 0x016A at address 1, and the length of its reply.
const QByteArray ReadRequest = QByteArray::fromHex("0103016a0001a5ea");
constexpr int ReadReplyLength = 7;

QByteArray exchange(QTcpSocket &socket, const QByteArray &request, int replyLength)
{
    socket.write(request);
    socket.waitForBytesWritten(3000);
    QByteArray reply;
    while (reply.size() < replyLength && socket.waitForReadyRead(3000))
        reply += socket.readAll();
    return reply;
}

} // namespace

class tst_SimTcpGateway : public QObject
{
    Q_OBJECT

private slots:
    void parseListen_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address"); // empty: refused
        QTest::addColumn<int>("port");
        QTest::newRow("port only") << "4001"
                                   << "127.0.0.1" << 4001;
        QTest::newRow("any free port") << "0"
                                       << "127.0.0.1" << 0;
        QTest::newRow("ipv4") << "0.0.0.0:502"
                              << "0.0.0.0" << 502;
        QTest::newRow("ipv6") << "[::1]:4001"
                              << "::1" << 4001;
        QTest::newRow("host name") << "localhost:4001"
                                   << "" << 0;
        QTest::newRow("port too big") << "70000"
                                      << "" << 0;
        QTest::newRow("no port") << "127.0.0.1:"
                                 << "" << 0;
        QTest::newRow("ipv6 without brackets") << "::1:4001"
                                               << "" << 0;
    }
    void parseListen()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QFETCH(int, port);
        QString parsedAddress;
        int parsedPort = -1;
        QString error;
        const bool ok = SimTcpGateway::parseListen(text, &parsedAddress, &parsedPort, &error);
        QCOMPARE(ok, !address.isEmpty());
        if (ok) {
            QCOMPARE(parsedAddress, address);
            QCOMPARE(parsedPort, port);
        } else {
            QVERIFY(error.contains(text));
        }
    }

    // The gateway relays a client's frames to the bus and back, serves one client at a time,
    // and takes the next one when the first has gone.
    void servesOneClientAtATime()
    {
        SimulatedPlant plant({{QStringLiteral("KX100"), 1}});
        plant.setTiming(SimulatedBus::Timing::fast());
        const QString device = plant.start();
        QVERIFY(!device.isEmpty());
        SimTcpGateway gateway;
        QString error;
        QVERIFY2(gateway.start(device, QStringLiteral("127.0.0.1"), 0, &error), qPrintable(error));
        QVERIFY(gateway.port() > 0);

        QTcpSocket first;
        first.connectToHost(QStringLiteral("127.0.0.1"), quint16(gateway.port()));
        QVERIFY(first.waitForConnected(3000));
        const QByteArray reply = exchange(first, ReadRequest, ReadReplyLength);
        QCOMPARE(reply.size(), ReadReplyLength);
        QCOMPARE(reply.left(3), QByteArray::fromHex("010302"));

        // The second client is queued: its request gets no answer while the first is served.
        QTcpSocket second;
        second.connectToHost(QStringLiteral("127.0.0.1"), quint16(gateway.port()));
        QVERIFY(second.waitForConnected(3000));
        second.write(ReadRequest);
        QVERIFY(!second.waitForReadyRead(300));
        QCOMPARE(gateway.clientsServed(), 1);

        first.disconnectFromHost();
        QByteArray late;
        while (late.size() < ReadReplyLength && second.waitForReadyRead(3000))
            late += second.readAll();
        QCOMPARE(late, reply);
        QCOMPARE(gateway.clientsServed(), 2);
        gateway.stop();
        QVERIFY(!gateway.isRunning());
    }
};

QTEST_GUILESS_MAIN(tst_SimTcpGateway)
#include "tst_SimTcpGateway.moc"
