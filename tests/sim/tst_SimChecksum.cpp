#include "sim/SimChecksum.h"

#include <QtTest>

class tst_SimChecksum : public QObject
{
    Q_OBJECT

private slots:
    void crc16_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("crc");
        QTest::newRow("check string") << QByteArray("123456789") << 0x4B37;
        QTest::newRow("empty") << QByteArray() << 0xFFFF;
        // Read of register 362 at slave 1: CRC bytes A5 EA on the wire.
        QTest::newRow("read 362") << QByteArray::fromHex("0103016A0001") << 0xEAA5;
        // Reply 01 03 02 00 01 79 84.
        QTest::newRow("reply") << QByteArray::fromHex("0103020001") << 0x8479;
    }

    void crc16()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, crc);
        QCOMPARE(SimChecksum::crc16(data.constData(), data.size()), quint16(crc));
    }

    void appendedCrcIsLowByteFirstAndValidates()
    {
        QByteArray frame = QByteArray::fromHex("0103016A0001");
        SimChecksum::appendCrc(frame);
        QCOMPARE(frame, QByteArray::fromHex("0103016A0001A5EA"));
        QVERIFY(SimChecksum::crcValid(frame));

        QByteArray swapped = QByteArray::fromHex("0103016A0001EAA5");
        QVERIFY(!SimChecksum::crcValid(swapped));
        QVERIFY(!SimChecksum::crcValid(QByteArray::fromHex("01A5")));
    }

    void slashSum()
    {
        // '/' 0x03 'R' 0x08 0x02 -> 0x8E
        QByteArray frame = QByteArray::fromHex("2F03520802");
        QCOMPARE(SimChecksum::sum8(frame.constData(), frame.size()), quint8(0x8E));
        SimChecksum::appendSum(frame);
        QCOMPARE(frame, QByteArray::fromHex("2F035208028E"));
        QVERIFY(SimChecksum::sumValid(frame));
        frame[5] = char(0x8F);
        QVERIFY(!SimChecksum::sumValid(frame));
        // The sum wraps modulo 256.
        QCOMPARE(SimChecksum::sum8("\xFF\x02", 2), quint8(0x01));
    }
};

QTEST_APPLESS_MAIN(tst_SimChecksum)
#include "tst_SimChecksum.moc"
