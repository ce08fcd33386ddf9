#include "serial/TcpLink.h"

#include "bus/BusReplyRule.h"
#include "serial/ReplyRule.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

// A gateway on the loopback address only; the tests never connect anywhere else.
struct Gateway
{
    QTcpServer server;
    QTcpSocket *client = nullptr;

    bool listen() { return server.listen(QHostAddress::LocalHost, 0); }
    // Listens and points the link here; the link starts connecting.
    bool start(TcpLink &link)
    {
        if (!listen())
            return false;
        link.setEndpoint(endpoint());
        return link.StartComm();
    }
    TcpLink::Endpoint endpoint() const
    {
        return {QStringLiteral("127.0.0.1"), server.serverPort()};
    }
    bool accept()
    {
        if (!server.hasPendingConnections() && !server.waitForNewConnection(3000))
            return false;
        client = server.nextPendingConnection();
        return client != nullptr;
    }
    // The link and the gateway share this thread: its event loop runs while waiting.
    QByteArray readRequest(int size)
    {
        QByteArray bytes;
        QDeadlineTimer deadline(3000);
        while (bytes.size() < size && !deadline.hasExpired()) {
            QTest::qWait(5);
            bytes += client->readAll();
        }
        return bytes;
    }
};

bool send(TcpLink &link, const QByteArray &bytes)
{
    return link.WriteCommData(reinterpret_cast<const uint8_t *>(bytes.constData()),
                              uint16_t(bytes.size()));
}

QByteArray joined(const QSignalSpy &spy)
{
    QByteArray all;
    for (const QList<QVariant> &arguments : spy)
        all += arguments.at(0).toByteArray();
    return all;
}

} // namespace

class tst_TcpLink : public QObject
{
    Q_OBJECT

private slots:
    void parseName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("host"); // empty: refused
        QTest::addColumn<int>("port");
        QTest::newRow("ipv4") << "tcp:192.0.2.7:4001"
                              << "192.0.2.7" << 4001;
        QTest::newRow("host name") << "tcp:gw-line2.plant:502"
                                   << "gw-line2.plant" << 502;
        QTest::newRow("ipv6 in brackets") << "tcp:[fe80::1]:4001"
                                          << "fe80::1" << 4001;
        QTest::newRow("upper case scheme") << "TCP:h:1"
                                           << "h" << 1;
        QTest::newRow("highest port") << "tcp:h:65535"
                                      << "h" << 65535;
        QTest::newRow("port 0") << "tcp:h:0"
                                << "" << 0;
        QTest::newRow("port 70000") << "tcp:h:70000"
                                    << "" << 0;
        QTest::newRow("signed port") << "tcp:h:+80"
                                     << "" << 0;
        QTest::newRow("empty host") << "tcp::4001"
                                    << "" << 0;
        QTest::newRow("blank host") << "tcp: :4001"
                                    << "" << 0;
        QTest::newRow("space in host") << "tcp:gw 1:4001"
                                       << "" << 0;
        QTest::newRow("ipv6 with zone") << "tcp:[fe80::1%eth0]:4001"
                                        << "fe80::1%eth0" << 4001;
        QTest::newRow("missing port") << "tcp:host"
                                      << "" << 0;
        QTest::newRow("empty port") << "tcp:host:"
                                    << "" << 0;
        QTest::newRow("bare ipv6") << "tcp:fe80::1:4001"
                                   << "" << 0;
        QTest::newRow("unclosed bracket") << "tcp:[fe80::1:4001"
                                          << "" << 0;
        QTest::newRow("serial device") << "/dev/ttyUSB0"
                                       << "" << 0;
    }
    void parseName()
    {
        QFETCH(QString, name);
        QFETCH(QString, host);
        QFETCH(int, port);
        QString error;
        const std::optional<TcpLink::Endpoint> endpoint = TcpLink::parseName(name, &error);
        QCOMPARE(endpoint.has_value(), !host.isEmpty());
        if (endpoint) {
            QCOMPARE(endpoint->host, host);
            QCOMPARE(int(endpoint->port), port);
            QVERIFY(TcpLink::parseName(QStringLiteral("tcp:") + TcpLink::endpointText(*endpoint)));
        } else {
            QVERIFY(error.contains(name));
        }
    }

    // Bytes go out as written; the reply arrives as one chunk after the line's silence, however
    // the network cut it, and two bursts apart are two chunks.
    void chunksBySilence()
    {
        Gateway gateway;
        TcpLink link;
        link.setSilenceMs(40);
        QVERIFY(gateway.start(link));
        QSignalSpy chunks(&link, &CommLink::OnReceiveData);
        const QByteArray request = QByteArray::fromHex("0103016a0001a5ea");
        QVERIFY(send(link, request)); // queued until the connection stands
        QVERIFY(gateway.accept());
        QCOMPARE(gateway.readRequest(request.size()), request);
        QVERIFY(link.isConnected());

        gateway.client->write(QByteArray::fromHex("010302"));
        gateway.client->flush();
        QTest::qWait(10);
        gateway.client->write(QByteArray::fromHex("07d0bbe8"));
        QVERIFY(chunks.wait(2000));
        QCOMPARE(chunks.size(), 1);
        QCOMPARE(chunks.at(0).at(0).toByteArray(), QByteArray::fromHex("01030207d0bbe8"));

        gateway.client->write("xy");
        QVERIFY(chunks.wait(2000));
        QCOMPARE(chunks.size(), 2);
        QCOMPARE(chunks.at(1).at(0).toByteArray(), QByteArray("xy"));
    }

    // Fast framing: a whole reply goes on at once, exactly that frame, even with more bytes
    // behind it; what follows waits for its own end.
    void chunksByFrame()
    {
        struct FourBytes : ReplyRule
        {
            ReplyMatch match(const uint8_t *, int, const uint8_t *, int length) const override
            {
                return {length >= 4 ? ReplyMatch::Verdict::Complete : ReplyMatch::Verdict::Partial,
                        4};
            }
        };
        Gateway gateway;
        TcpLink link;
        link.setBurstEnd(std::make_shared<FourBytes>(), 30);
        QVERIFY(gateway.start(link));
        QSignalSpy chunks(&link, &CommLink::OnReceiveData);
        QVERIFY(gateway.accept());
        QVERIFY(send(link, "ask"));
        QCOMPARE(gateway.readRequest(3), QByteArray("ask"));
        gateway.client->write("ab");
        gateway.client->flush();
        QTest::qWait(10);
        QVERIFY(chunks.isEmpty());
        gateway.client->write("cdEF");
        QVERIFY(chunks.wait(2000));
        QCOMPARE(chunks.at(0).at(0).toByteArray(), QByteArray("abcd"));
        // The rest is no reply to anything: it ends after the gap.
        QVERIFY(chunks.wait(2000));
        QCOMPARE(chunks.at(1).at(0).toByteArray(), QByteArray("EF"));
    }

    // With the bus's rule a reply behind noise or a broken frame goes on with them as soon as
    // it is whole, as on the serial line; what follows it waits for its own end.
    void replyBehindNoiseOrBrokenFrame_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("noise") << QByteArray("\x55");
        QTest::newRow("broken exception") << QByteArray::fromHex("0383020000");
        QTest::newRow("broken reply") << QByteArray::fromHex("03030207d1c228");
    }
    void replyBehindNoiseOrBrokenFrame()
    {
        QFETCH(QByteArray, before);
        Gateway gateway;
        TcpLink link;
        link.setBurstEnd(std::make_shared<BusReplyRule>(), 30);
        QVERIFY(gateway.start(link));
        QSignalSpy chunks(&link, &CommLink::OnReceiveData);
        QVERIFY(gateway.accept());
        const QByteArray request = QByteArray::fromHex("03030010 0001842d");
        QVERIFY(send(link, request));
        QCOMPARE(gateway.readRequest(request.size()), request);
        const QByteArray reply = QByteArray::fromHex("03030207d0c228");
        gateway.client->write(before + reply + "EF");
        QTRY_COMPARE_WITH_TIMEOUT(chunks.size(), 2, 3000);
        QCOMPARE(chunks.at(0).at(0).toByteArray(), before + reply);
        QCOMPARE(chunks.at(1).at(0).toByteArray(), QByteArray("EF"));
    }

    // A burst of garbage far beyond any frame is cut into bounded chunks and lost nowhere.
    void garbageBurstIsBounded()
    {
        Gateway gateway;
        TcpLink link;
        link.setSilenceMs(40);
        QVERIFY(gateway.start(link));
        QSignalSpy chunks(&link, &CommLink::OnReceiveData);
        QVERIFY(gateway.accept());
        QByteArray garbage(64 * 1024, Qt::Uninitialized);
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 131) & 0xFF);
        gateway.client->write(garbage);
        QTRY_COMPARE_WITH_TIMEOUT(joined(chunks).size(), garbage.size(), 5000);
        QCOMPARE(joined(chunks), garbage);
        for (const QList<QVariant> &arguments : chunks)
            QVERIFY(arguments.at(0).toByteArray().size() <= TcpLink::ChunkLimit);
    }

    // A gateway that refuses, or that accepts and then drops the connection, is named with its
    // address and ends the exchanges through a hang-up; the next write connects again.
    void failuresAndReconnect()
    {
        Gateway gateway;
        QVERIFY(gateway.listen());
        const TcpLink::Endpoint endpoint = gateway.endpoint();

        TcpLink link;
        link.setEndpoint(endpoint);
        QSignalSpy failures(&link, &TcpLink::connectionFailed);
        QSignalSpy hangups(&link, &CommLink::OnRequestHangup);
        QVERIFY(link.StartComm());
        QVERIFY(gateway.accept());
        QTRY_VERIFY(link.isConnected());

        // Closed at once by the gateway, in the middle of an exchange.
        QVERIFY(send(link, "request"));
        QCOMPARE(gateway.readRequest(7), QByteArray("request"));
        gateway.client->write("par");
        gateway.client->flush();
        gateway.client->close();
        QVERIFY(failures.wait(3000));
        QCOMPARE(hangups.size(), 1);
        QVERIFY(failures.at(0).at(0).toString().contains(TcpLink::endpointText(endpoint)));
        QVERIFY(link.isOpen());
        QVERIFY(!link.isConnected());

        // The next request makes the connection again and goes out on it.
        QVERIFY(send(link, "again"));
        QVERIFY(gateway.accept());
        QCOMPARE(gateway.readRequest(5), QByteArray("again"));

        // Refused: nobody listens any more.
        link.StopComm();
        gateway.server.close();
        delete gateway.client;
        QVERIFY(link.StartComm());
        QVERIFY(failures.wait(3000));
        QCOMPARE(failures.size(), 2);
        QVERIFY(failures.at(1).at(0).toString().contains(QStringLiteral("отклонено")));
        QCOMPARE(hangups.size(), 2);
    }

    // A gateway that accepts and never answers leaves the link connected and silent: the
    // engine's time-out ends the exchange, nothing in the link blocks or fails.
    void silentGateway()
    {
        Gateway gateway;
        TcpLink link;
        QVERIFY(gateway.start(link));
        QSignalSpy chunks(&link, &CommLink::OnReceiveData);
        QSignalSpy failures(&link, &TcpLink::connectionFailed);
        QVERIFY(gateway.accept());
        QVERIFY(send(link, "ping"));
        QCOMPARE(gateway.readRequest(4), QByteArray("ping"));
        QTest::qWait(100);
        QVERIFY(chunks.isEmpty());
        QVERIFY(failures.isEmpty());
        QVERIFY(link.isConnected());
        link.StopComm();
        QVERIFY(!link.isOpen());
        QVERIFY(!send(link, "late"));
    }
};

QTEST_GUILESS_MAIN(tst_TcpLink)
#include "tst_TcpLink.moc"
