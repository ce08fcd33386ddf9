#include "sim/SimKX200.h"

#include <QtTest>

namespace {
// A slash request as the bus hands it over; checkOk tells whether its sum held.
SimFrame request(const char *hex, bool checkOk = true)
{
    SimFrame frame;
    frame.protocol = SimFrame::Protocol::Slash;
    frame.bytes = QByteArray::fromHex(QByteArray(hex));
    frame.checkOk = checkOk;
    const quint8 second = static_cast<quint8>(frame.bytes[1]);
    frame.broadcast = second >= 0x40;
    frame.address = frame.broadcast ? -1 : second;
    return frame;
}

QByteArray bytes(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex));
}
} // namespace

class tst_SimKX200 : public QObject
{
    Q_OBJECT

private slots:
    void replies_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("checkOk");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("read address 0x0802")
            << QByteArray("2F 02 52 08 02 8D") << true << bytes("2F 02 52 08 02 00 02 8F");
        QTest::newRow("read CD16 default 500")
            << QByteArray("2F 02 52 00 16 99") << true << bytes("2F 02 52 00 16 01 F4 8E");
        QTest::newRow("read unknown register")
            << QByteArray("2F 02 52 00 50 D3") << true << bytes("2F 02 72 00 50 00 00 F3");
        QTest::newRow("bad sum on a read")
            << QByteArray("2F 02 52 08 02 8E") << false << bytes("2F 02 4E 08 02 00 00 89");
        QTest::newRow("run forward")
            << QByteArray("2F 02 57 FA 00 C4 00 46") << true << bytes("2F 02 57 FA 00 04 00 86");
        QTest::newRow("command without bits 15 and 14")
            << QByteArray("2F 02 57 FA 00 04 00 86") << true << bytes("2F 02 77 FA 00 00 00 A2");
        QTest::newRow("readout is read only")
            << QByteArray("2F 02 57 00 03 00 01 8C") << true << bytes("2F 02 77 00 03 00 00 AB");
        QTest::newRow("write CD16")
            << QByteArray("2F 02 57 00 16 00 64 02") << true << bytes("2F 02 57 00 16 00 64 02");
        QTest::newRow("bad sum on a write")
            << QByteArray("2F 02 57 00 16 00 64 03") << false << bytes("2F 02 4E 00 16 00 64 F9");
    }

    void replies()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, checkOk);
        QFETCH(QByteArray, reply);
        SimKX200 inverter(2);
        QCOMPARE(inverter.handleFrame(request(frame.constData(), checkOk)).toHex(' '),
                 reply.toHex(' '));
    }

    void commandWords_data()
    {
        QTest::addColumn<QList<int>>("commands");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("reverse");
        QTest::newRow("run") << QList<int>{0xC400} << 0x0400 << true << false;
        QTest::newRow("run reverse") << QList<int>{0xC600} << 0x0600 << true << true;
        QTest::newRow("stop keeps reverse")
            << QList<int>{0xC600, 0xD200} << 0x0200 << false << true;
        QTest::newRow("stop forward") << QList<int>{0xC600, 0xD000} << 0x0000 << false << false;
        QTest::newRow("stop wins over run")
            << QList<int>{0xC400, 0xD400} << 0x0000 << false << false;
        QTest::newRow("auxiliary keeps running")
            << QList<int>{0xC400, 0xC100} << 0x0500 << true << false;
    }

    void commandWords()
    {
        QFETCH(QList<int>, commands);
        QFETCH(int, status);
        QFETCH(bool, running);
        QFETCH(bool, reverse);
        SimKX200 inverter(2);
        QByteArray last;
        for (int command : commands) {
            QByteArray frame = bytes("2F 02 57 FA 00");
            frame.append(char(command >> 8));
            frame.append(char(command & 0xFF));
            quint8 sum = 0;
            for (char c : frame)
                sum = quint8(sum + quint8(c));
            frame.append(char(sum));
            SimFrame request;
            request.protocol = SimFrame::Protocol::Slash;
            request.bytes = frame;
            request.address = 2;
            last = inverter.handleFrame(request);
        }
        QCOMPARE(last.size(), 8);
        QCOMPARE(last[2], 'W');
        QCOMPARE((quint8(last[5]) << 8) | quint8(last[6]), status); // the echo reports the status
        QCOMPARE(int(inverter.operationWord()), status);
        QCOMPARE(inverter.drive().running(), running);
        QCOMPARE(inverter.drive().reverse(), reverse);
    }

    void readoutsFollowTheDrive()
    {
        SimKX200 inverter(2);
        QVERIFY(inverter.setRegisterValue(SimKX200::ReferenceRegister, 5000)); // 50.00 Hz
        QVERIFY(inverter.setRegisterValue(SimKX200::OperationRegister, 0xC400));
        inverter.drive().advance(2.0);
        QCOMPARE(inverter.registerValue(1), std::optional<quint16>(5000));
        QCOMPARE(inverter.registerValue(3), std::optional<quint16>(2000)); // 20.00 Hz
        inverter.drive().advance(5.0);
        QCOMPARE(inverter.registerValue(3), std::optional<quint16>(5000));
        QCOMPARE(inverter.registerValue(4), std::optional<quint16>(3800)); // 380.0 V
        const quint16 current = inverter.registerValue(2).value_or(0);
        QVERIFY(current > 0 && current <= 75);
    }

    void broadcastAddressWrite()
    {
        SimKX200 answering(2);
        QCOMPARE(answering.handleFrame(request("2F 57 08 02 00 09 99")),
                 bytes("2F 57 08 02 00 09 99"));
        QCOMPARE(answering.address(), 9);
        QCOMPARE(answering.registerValue(0x0802), std::optional<quint16>(9));

        SimKX200 quiet(2);
        quiet.setAnswersBroadcast(false);
        QVERIFY(quiet.handleFrame(request("2F 57 08 02 00 09 99")).isEmpty());
        QCOMPARE(quiet.address(), 9);

        // Address 32 is out of range: nothing changes, nothing is said.
        SimKX200 kept(2);
        QVERIFY(kept.handleFrame(request("2F 57 08 02 00 20 B0")).isEmpty());
        QCOMPARE(kept.address(), 2);
    }

    void unicastAddressWriteAnswersFromTheOldAddress()
    {
        SimKX200 inverter(2);
        // '/' 02 'W' 08 02 00 05 sum
        QCOMPARE(inverter.handleFrame(request("2F 02 57 08 02 00 05 97")),
                 bytes("2F 02 57 08 02 00 05 97"));
        QCOMPARE(inverter.address(), 5);
    }

    void refusalIsTheLowerCaseLetter()
    {
        SimKX200 inverter(2);
        QCOMPARE(inverter.refusalReply(request("2F 02 52 08 02 8D")),
                 bytes("2F 02 72 08 02 00 00 AD"));
        QCOMPARE(inverter.refusalReply(request("2F 02 57 00 16 00 64 02")),
                 bytes("2F 02 77 00 16 00 00 BE"));
    }
};

QTEST_APPLESS_MAIN(tst_SimKX200)
#include "tst_SimKX200.moc"
