#include "sim/SimKX100.h"

#include <QtTest>

namespace {
// A Modbus request as the bus hands it over: CRC already checked.
SimFrame request(const char *hex)
{
    SimFrame frame;
    frame.protocol = SimFrame::Protocol::Modbus;
    frame.bytes = QByteArray::fromHex(QByteArray(hex));
    frame.broadcast = static_cast<quint8>(frame.bytes[0]) == 0;
    frame.address = frame.broadcast ? -1 : static_cast<quint8>(frame.bytes[0]);
    return frame;
}

QByteArray bytes(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex));
}
} // namespace

class tst_SimKX100 : public QObject
{
    Q_OBJECT

private slots:
    void replies_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("reply");
        // Register 362 holds the bus address (n106, default 1).
        QTest::newRow("read 362") << QByteArray("01 03 01 6A 00 01 A5 EA")
                                  << bytes("01 03 02 00 01 79 84");
        QTest::newRow("read n003 default 2000")
            << QByteArray("01 03 01 03 00 01 75 F6") << bytes("01 03 02 07 D0 BB E8");
        QTest::newRow("read n105 and n106")
            << QByteArray("01 03 01 69 00 02 15 EB") << bytes("01 03 04 00 00 00 01 3B F3");
        QTest::newRow("read operation word")
            << QByteArray("01 03 00 01 00 01 D5 CA") << bytes("01 03 02 00 00 B8 44");
        QTest::newRow("read missing register 3")
            << QByteArray("01 03 00 03 00 01 74 0A") << bytes("01 83 02 C0 F1");
        QTest::newRow("read 256 below the parameters")
            << QByteArray("01 03 01 00 00 01 85 F6") << bytes("01 83 02 C0 F1");
        QTest::newRow("read commit register")
            << QByteArray("01 03 09 00 00 01 87 96") << bytes("01 83 02 C0 F1");
        QTest::newRow("read quantity 0")
            << QByteArray("01 03 01 6A 00 00 64 2A") << bytes("01 83 03 01 31");
        QTest::newRow("write monitor 36")
            << QByteArray("01 10 00 24 00 01 02 00 0A 20 B3") << bytes("01 90 02 CD C1");
        QTest::newRow("write address 40")
            << QByteArray("01 10 01 6A 00 01 02 00 28 BF 84") << bytes("01 90 03 0C 01");
        QTest::newRow("write byte count mismatch")
            << QByteArray("01 10 00 01 00 01 04 00 01 00 02 E2 51") << bytes("01 90 03 0C 01");
        QTest::newRow("function 6")
            << QByteArray("01 06 00 01 00 01 19 CA") << bytes("01 86 01 83 A0");
        QTest::newRow("write n003")
            << QByteArray("01 10 01 03 00 01 02 00 64 B7 48") << bytes("01 10 01 03 00 01 F0 35");
        QTest::newRow("broadcast read unanswered")
            << QByteArray("00 03 01 69 00 01 54 3B") << QByteArray();
    }

    void replies()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, reply);
        SimKX100 inverter(1);
        QCOMPARE(inverter.handleFrame(request(frame.constData())).toHex(' '), reply.toHex(' '));
    }

    void writeCommitReadBack()
    {
        SimKX100 inverter(1);
        QCOMPARE(inverter.handleFrame(request("01 10 01 03 00 01 02 00 64 B7 48")),
                 bytes("01 10 01 03 00 01 F0 35"));
        QCOMPARE(inverter.handleFrame(request("01 10 09 00 00 01 02 00 00 3F 50")),
                 bytes("01 10 09 00 00 01 02 55"));
        QCOMPARE(inverter.commitCount(), 1);
        QCOMPARE(inverter.handleFrame(request("01 03 01 03 00 01 75 F6")),
                 bytes("01 03 02 00 64 B9 AF"));
    }

    void operationWordDrivesTheMotor()
    {
        SimKX100 inverter(1);
        // Reference 50.0 Hz (500 in 0.1 Hz), then run in reverse (bits 0 and 1).
        QVERIFY(inverter.setRegisterValue(2, 500));
        QVERIFY(inverter.setRegisterValue(1, 3));
        QVERIFY(inverter.drive().running());
        QVERIFY(inverter.drive().reverse());
        QCOMPARE(inverter.operationWord(), quint16(3));
        inverter.drive().advance(2.0);
        QCOMPARE(inverter.registerValue(35), std::optional<quint16>(500));
        QCOMPARE(inverter.registerValue(36), std::optional<quint16>(200)); // 20.0 Hz
        inverter.drive().advance(10.0);
        QCOMPARE(inverter.registerValue(36), std::optional<quint16>(500));
        QCOMPARE(inverter.registerValue(40), std::optional<quint16>(380));
        const quint16 current = inverter.registerValue(39).value_or(0);
        QVERIFY(current > 0 && current <= 48);
        // Stop: value 0 clears both bits and the output ramps down.
        QVERIFY(inverter.setRegisterValue(1, 0));
        QCOMPARE(inverter.operationWord(), quint16(0));
        inverter.drive().advance(10.0);
        QCOMPARE(inverter.registerValue(36), std::optional<quint16>(0));
        QCOMPARE(inverter.registerValue(39), std::optional<quint16>(0));
    }

    void unicastAddressWriteAnswersFromTheOldAddress()
    {
        SimKX100 inverter(1);
        QCOMPARE(inverter.handleFrame(request("01 10 01 6A 00 01 02 00 05 7F 99")),
                 bytes("01 10 01 6A 00 01 20 29"));
        QCOMPARE(inverter.address(), 5);
        QCOMPARE(inverter.registerValue(362), std::optional<quint16>(5));
    }

    void broadcastAddressWrite()
    {
        SimKX100 answering(1);
        QCOMPARE(answering.handleFrame(request("00 10 01 6A 00 01 02 00 07 F3 C8")),
                 bytes("07 10 01 6A 00 01 20 4F"));
        QCOMPARE(answering.address(), 7);

        SimKX100 quiet(1);
        quiet.setAnswersBroadcast(false);
        QVERIFY(quiet.handleFrame(request("00 10 01 6A 00 01 02 00 07 F3 C8")).isEmpty());
        QCOMPARE(quiet.address(), 7);

        // Address 0 is no slave address: ignored without a reply.
        SimKX100 kept(1);
        QVERIFY(kept.handleFrame(request("00 10 01 6A 00 01 02 00 00 B2 0A")).isEmpty());
        QCOMPARE(kept.address(), 1);

        // A broadcast to the KX300's address register is not for a KX100.
        SimKX100 other(1);
        QVERIFY(other.handleFrame(request("00 10 04 1C 00 01 02 00 09 2C 5A")).isEmpty());
        QCOMPARE(other.address(), 1);
    }

    void refusalIsDeviceFailure()
    {
        SimKX100 inverter(1);
        QCOMPARE(inverter.refusalReply(request("01 03 01 6A 00 01 A5 EA")),
                 bytes("01 83 04 40 F3"));
        QVERIFY(inverter.refusalReply(request("00 10 01 6A 00 01 02 00 07 F3 C8")).isEmpty());
    }

    void factoryDefaultsComeFromTheParameterTable()
    {
        SimKX100 inverter(4);
        // n001 = 1, n003 = 2000, n064 = 50, n108 = 1; n106 reads as the address.
        QCOMPARE(inverter.registerValue(257), std::optional<quint16>(1));
        QCOMPARE(inverter.registerValue(259), std::optional<quint16>(2000));
        QCOMPARE(inverter.registerValue(320), std::optional<quint16>(50));
        QCOMPARE(inverter.registerValue(364), std::optional<quint16>(1));
        QCOMPARE(inverter.registerValue(362), std::optional<quint16>(4));
        QCOMPARE(inverter.registerValue(365), std::nullopt);
    }
};

QTEST_APPLESS_MAIN(tst_SimKX100)
#include "tst_SimKX100.moc"
