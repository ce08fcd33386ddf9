#include "sim/SimKX300.h"

#include <QtTest>

namespace {
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

class tst_SimKX300 : public QObject
{
    Q_OBJECT

private slots:
    void replies_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("read station address 1052")
            << QByteArray("03 03 04 1C 00 01 45 1E") << bytes("03 03 02 00 03 81 85");
        // The KX100's address register is not a KX300 register: detection relies on the
        // refusal to move on to the KX300 probe.
        QTest::newRow("read 362 refused")
            << QByteArray("03 03 01 6A 00 01 A4 08") << bytes("03 83 02 61 31");
        QTest::newRow("read A1-01 default 2")
            << QByteArray("03 03 01 01 00 01 D5 D4") << bytes("03 03 02 00 02 40 45");
        QTest::newRow("read reserved U1-14")
            << QByteArray("03 03 00 2D 00 01 15 E1") << bytes("03 03 02 00 00 C1 84");
        QTest::newRow("read 1296 beyond the space")
            << QByteArray("03 03 05 10 00 01 84 E1") << bytes("03 83 02 61 31");
        QTest::newRow("read gap after A2-15")
            << QByteArray("03 03 01 15 00 01 95 D0") << bytes("03 83 02 61 31");
        QTest::newRow("read commit register")
            << QByteArray("03 03 FF FD 00 01 24 0C") << bytes("03 83 02 61 31");
        QTest::newRow("operation word 3 is no command")
            << QByteArray("03 10 00 00 00 01 02 00 03 FF 31") << bytes("03 90 03 AD C1");
        QTest::newRow("monitor is read only")
            << QByteArray("03 10 00 21 00 01 02 00 00 B9 81") << bytes("03 90 02 6C 01");
        QTest::newRow("commit") << QByteArray("03 10 FF FD 00 01 02 00 00 A5 D2")
                                << bytes("03 10 FF FD 00 01 A1 CF");
        QTest::newRow("run forward")
            << QByteArray("03 10 00 00 00 01 02 00 01 7E F0") << bytes("03 10 00 00 00 01 00 2B");
        QTest::newRow("reference 50.00 Hz")
            << QByteArray("03 10 00 01 00 01 02 13 88 B3 B7") << bytes("03 10 00 01 00 01 51 EB");
    }

    void replies()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, reply);
        SimKX300 inverter(3);
        QCOMPARE(inverter.handleFrame(request(frame.constData())).toHex(' '), reply.toHex(' '));
    }

    void runStopWords()
    {
        SimKX300 inverter(3);
        QVERIFY(inverter.setRegisterValue(1, 5000)); // 50.00 Hz
        QVERIFY(inverter.setRegisterValue(0, 1));
        QCOMPARE(inverter.operationWord(), quint16(1));
        inverter.drive().advance(5.0);
        QCOMPARE(inverter.registerValue(0x21), std::optional<quint16>(5000));
        QCOMPARE(inverter.registerValue(0x20), std::optional<quint16>(5000));
        QCOMPARE(inverter.registerValue(0x25), std::optional<quint16>(3800)); // 380.0 V

        // Reverse: ramps through zero; U1-01 and U1-02 turn negative.
        QVERIFY(inverter.setRegisterValue(0, 2));
        QCOMPARE(inverter.operationWord(), quint16(2));
        inverter.drive().advance(5.0);
        QCOMPARE(inverter.registerValue(0x21), std::optional<quint16>(0));
        inverter.drive().advance(5.0);
        QCOMPARE(inverter.registerValue(0x21), std::optional<quint16>(0xEC78)); // -5000
        QCOMPARE(inverter.registerValue(0x20), std::optional<quint16>(0xEC78));
        const quint16 current = inverter.registerValue(0x22).value_or(0);
        QVERIFY(current > 0 && current <= 120);

        // Stop keeps the direction, ramps down.
        QVERIFY(inverter.setRegisterValue(0, 0));
        QCOMPARE(inverter.operationWord(), quint16(0));
        QVERIFY(inverter.drive().reverse());
        inverter.drive().advance(6.0);
        QCOMPARE(inverter.registerValue(0x21), std::optional<quint16>(0));
        QCOMPARE(inverter.registerValue(0x22), std::optional<quint16>(0));
    }

    void parameterWriteCommitReadBack()
    {
        SimKX300 inverter(3);
        // B5-07 (0x019A) takes negative settings: -10 travels as 0xFFF6.
        QVERIFY(inverter.setRegisterValue(0x019A, 0xFFF6));
        QCOMPARE(inverter.handleFrame(request("03 10 FF FD 00 01 02 00 00 A5 D2")),
                 bytes("03 10 FF FD 00 01 A1 CF"));
        QCOMPARE(inverter.commitCount(), 1);
        QCOMPARE(inverter.registerValue(0x019A), std::optional<quint16>(0xFFF6));
        // Factory settings: C1-01 = 100, E2-05 = 9842, H5-02 = 3, O2-09 = 2.
        QCOMPARE(inverter.registerValue(0x0200), std::optional<quint16>(100));
        QCOMPARE(inverter.registerValue(0x0312), std::optional<quint16>(9842));
        QCOMPARE(inverter.registerValue(0x041D), std::optional<quint16>(3));
        QCOMPARE(inverter.registerValue(0x050D), std::optional<quint16>(2));
    }

    void broadcastAddressWrite()
    {
        SimKX300 inverter(3);
        QCOMPARE(inverter.handleFrame(request("00 10 04 1C 00 01 02 00 09 2C 5A")),
                 bytes("09 10 04 1C 00 01 C0 77"));
        QCOMPARE(inverter.address(), 9);

        // The KX100's address write leaves a KX300 alone.
        SimKX300 other(3);
        QVERIFY(other.handleFrame(request("00 10 01 6A 00 01 02 00 09 72 0C")).isEmpty());
        QCOMPARE(other.address(), 3);
    }

    void refusalIsDeviceFailure()
    {
        SimKX300 inverter(3);
        QCOMPARE(inverter.refusalReply(request("03 03 04 1C 00 01 45 1E")),
                 bytes("03 83 04 E1 33"));
    }
};

QTEST_APPLESS_MAIN(tst_SimKX300)
#include "tst_SimKX300.moc"
