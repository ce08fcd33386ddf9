#include "SubmissionRecorder.h"
#include "bus/ModbusFrame.h"

#include <QTest>

class tst_ModbusFrame : public QObject
{
    Q_OBJECT

private slots:
    void crc_data();
    void crc();
    void buildRead();
    void buildWrite_data();
    void buildWrite();
    void buildLeavesReplyAlone();
    void checkReply_data();
    void checkReply();
    void takeApart_data();
    void takeApart();
    void takeApartFromOtherSlave();
    void takeApartNeverReadsPastTheFrames_data();
    void takeApartNeverReadsPastTheFrames();
    void matchReply_data();
    void matchReply();
};

static QByteArray bytes(const uint8_t *data, int length)
{
    return QByteArray(reinterpret_cast<const char *>(data), length);
}

void tst_ModbusFrame::crc_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("crc");
    QTest::newRow("check string") << QByteArray("123456789") << 0x4B37;
    QTest::newRow("read 362 of slave 1") << QByteArray::fromHex("0103016A0001") << 0xEAA5;
    QTest::newRow("read reply") << QByteArray::fromHex("0103020001") << 0x8479;
    QTest::newRow("empty") << QByteArray() << 0xFFFF;
}

void tst_ModbusFrame::crc()
{
    QFETCH(QByteArray, data);
    QFETCH(int, crc);
    QCOMPARE(int(ModbusFrame::crc16(reinterpret_cast<const uint8_t *>(data.constData()),
                                    int(data.size()))),
             crc);
}

void tst_ModbusFrame::buildRead()
{
    TransactionRecord record;
    ModbusFrame::buildRead(record, 1, 362);
    QCOMPARE(record.TxLength, 8);
    QCOMPARE(bytes(record.TxFrame, 8).toHex(' '), QByteArray("01 03 01 6a 00 01 a5 ea"));
}

void tst_ModbusFrame::buildWrite_data()
{
    QTest::addColumn<int>("slave");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("run reverse") << 1 << 1 << 3 << QByteArray("01 10 00 01 00 01 02 00 03 e7 80");
    QTest::newRow("broadcast address 7 into 362")
        << 0 << 362 << 7 << QByteArray("00 10 01 6a 00 01 02 00 07 f3 c8");
    QTest::newRow("high register and value")
        << 31 << 0xFFFD << 0xFFFB << QByteArray("1f 10 ff fd 00 01 02 ff fb 3d 61");
}

void tst_ModbusFrame::buildWrite()
{
    QFETCH(int, slave);
    QFETCH(int, reg);
    QFETCH(int, value);
    QFETCH(QByteArray, frame);
    TransactionRecord record;
    ModbusFrame::buildWrite(record, uint8_t(slave), uint16_t(reg), uint16_t(value));
    QCOMPARE(record.TxLength, 11);
    QCOMPARE(bytes(record.TxFrame, 11).toHex(' '), frame);
}

void tst_ModbusFrame::buildLeavesReplyAlone()
{
    TransactionRecord record;
    record.RxLength = -1;
    record.Result = 1;
    record.TxFrame[11] = 0x5A;
    ModbusFrame::buildWrite(record, 2, 3, 4);
    QCOMPARE(record.RxLength, -1);
    QCOMPARE(record.Result, 1);
    QCOMPARE(record.TxFrame[11], uint8_t(0x5A)); // nothing written past the frame
}

void tst_ModbusFrame::checkReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("result");
    QTest::newRow("read reply") << QByteArray("01 03 02 00 01 79 84") << 0;
    QTest::newRow("CRC bytes swapped") << QByteArray("01 03 02 00 01 84 79") << 3;
    QTest::newRow("data corrupted") << QByteArray("01 03 02 00 02 79 84") << 3;
    QTest::newRow("write echo") << QByteArray("01 10 00 01 00 01 50 09") << 0;
    QTest::newRow("function 0x80 is no exception") << QByteArray("01 80 02 c0 01") << 0;
    QTest::newRow("exception 0x81") << QByteArray("01 81 02 c1 91") << 2;
    QTest::newRow("exception 0x83") << QByteArray("01 83 02 c0 f1") << 2;
    QTest::newRow("exception 0x90") << QByteArray("01 90 02 cd c1") << 2;
    QTest::newRow("exception with bad CRC") << QByteArray("01 90 02 cd c2") << 3;
    QTest::newRow("four bytes, address and function only") << QByteArray("01 03 40 21") << 0;
    QTest::newRow("three bytes") << QByteArray("01 03 02") << 3;
    QTest::newRow("one byte") << QByteArray("01") << 3;
    QTest::newRow("line error chunk \"Even\"") << QByteArray("45 76 65 6e") << 3;
}

void tst_ModbusFrame::checkReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, result);
    TransactionRecord record = exchange("0103016A0001A5EA", reply);
    const TransactionRecord before = record;
    QCOMPARE(ModbusFrame::checkReply(record), result);
    QCOMPARE(bytes(record.RxFrame, record.RxLength), bytes(before.RxFrame, before.RxLength));
}

void tst_ModbusFrame::takeApart_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("isRead");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");
    QTest::newRow("read: register from the request, value from the reply")
        << QByteArray("05 03 01 2c 00 01 45 bb") << QByteArray("05 03 02 12 34 44 f3") << true
        << 300 << 0x1234;
    QTest::newRow("write echo: register from the echo, value from the request")
        << QByteArray("05 10 00 01 00 01 02 00 03 00 00") << QByteArray("05 10 00 01 00 01 51 8d")
        << false << 1 << 3;
    QTest::newRow("read of 0xFFF6 stays unsigned here")
        << QByteArray("01 03 00 21 00 01 00 00") << QByteArray("01 03 02 ff f6 79 f2") << true << 33
        << 0xFFF6;
}

void tst_ModbusFrame::takeApart()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(bool, isRead);
    QFETCH(int, reg);
    QFETCH(int, value);
    const TransactionRecord record = exchange(request, reply);
    const auto parts = ModbusFrame::takeApart(record);
    QVERIFY(parts);
    QCOMPARE(parts->isRead, isRead);
    QCOMPARE(parts->registerNumber, reg);
    QCOMPARE(int(parts->value), value);
    QCOMPARE(ModbusFrame::replyRegister(record), reg);
}

void tst_ModbusFrame::takeApartFromOtherSlave()
{
    const TransactionRecord record = exchange("05 03 01 2c 00 01 45 bb", "05 03 02 12 34 44 f3");
    QVERIFY(ModbusFrame::takeApartFrom(record, 5));
    QVERIFY(!ModbusFrame::takeApartFrom(record, 6));
    // Byte 0 above 31 is no slave of this bus, even for a driver claiming that address.
    TransactionRecord far = record;
    far.RxFrame[0] = 40;
    QVERIFY(!ModbusFrame::takeApartFrom(far, 40));
}

void tst_ModbusFrame::takeApartNeverReadsPastTheFrames_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    // A 4-byte read reply passes the CRC check but holds no value.
    QTest::newRow("read reply without value")
        << QByteArray("01 03 00 24 00 01 c4 01") << QByteArray("01 03 40 21");
    // An echo of a request that was no write has no written value to take.
    QTest::newRow("echo to a read request")
        << QByteArray("01 03 00 24 00 01 c4 01") << QByteArray("01 80 02 c0 01");
    QTest::newRow("nothing received") << QByteArray("01 03 00 24 00 01 c4 01") << QByteArray();
}

void tst_ModbusFrame::takeApartNeverReadsPastTheFrames()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    TransactionRecord record = exchange(request, reply);
    if (reply.isEmpty())
        record.RxLength = -1;
    QVERIFY(!ModbusFrame::takeApart(record));
    QCOMPARE(ModbusFrame::replyRegister(record), -1);

    TransactionRecord oversized = exchange(request, "01 03 02 00 01 79 84");
    oversized.RxLength = 5000;
    QCOMPARE(ModbusFrame::checkReply(oversized), 3);
    QVERIFY(!ModbusFrame::takeApart(oversized));
}

QTEST_GUILESS_MAIN(tst_ModbusFrame)
#include "tst_ModbusFrame.moc"

// Rows: request, the bytes received so far, what they are, and the reply's length.
void tst_ModbusFrame::matchReply_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<int>("length");
    const QByteArray read = "05 03 00 24 00 01 c5 85";
    const QByteArray write = "05 10 00 02 00 01 02 01 f4 95 65";
    const int partial = int(ReplyMatch::Verdict::Partial);
    const int complete = int(ReplyMatch::Verdict::Complete);
    const int corrupt = int(ReplyMatch::Verdict::Corrupt);
    const int foreign = int(ReplyMatch::Verdict::Foreign);

    QTest::newRow("nothing yet") << read << QByteArray() << partial << 0;
    QTest::newRow("split: address and function") << read << QByteArray("05 03") << partial << 0;
    QTest::newRow("split: header known") << read << QByteArray("05 03 02 00") << partial << 7;
    QTest::newRow("read reply") << read << QByteArray("05 03 02 00 24 49 9f") << complete << 7;
    QTest::newRow("two frames back to back: the first one only")
        << read << QByteArray("05 03 02 00 24 49 9f 05 03 02 00 24 49 9f") << complete << 7;
    QTest::newRow("exception reply") << read << QByteArray("05 83 02 81 30") << complete << 5;
    QTest::newRow("truncated at the gap")
        << read << QByteArray("05 03 02 00 24 49") << partial << 7;
    QTest::newRow("bad CRC") << read << QByteArray("05 03 02 00 25 49 9f") << corrupt << 7;
    QTest::newRow("valid frame followed by a zero byte")
        << read << QByteArray("05 03 02 00 24 49 9f 00") << complete << 7;
    QTest::newRow("other slave") << read << QByteArray("06 03 02 00 24 0d 9f") << foreign << 0;
    QTest::newRow("byte count of two registers")
        << read << QByteArray("05 03 04 00 24 00 25 3e 23") << foreign << 0;
    QTest::newRow("two-register read reply")
        << QByteArray("05 03 00 24 00 02 85 84") << QByteArray("05 03 04 00 24 00 25 3e 23")
        << complete << 9;
    QTest::newRow("one-register reply to a two-register read")
        << QByteArray("05 03 00 24 00 02 85 84") << QByteArray("05 03 02 00 24 49 9f") << foreign
        << 0;
    QTest::newRow("function 0x80") << read << QByteArray("05 80 02 81 c0") << foreign << 0;
    QTest::newRow("write echo") << write << QByteArray("05 10 00 02 00 01 a1 8d") << complete << 8;
    QTest::newRow("read-form reply to a write")
        << write << QByteArray("05 03 02 00 24 49 9f") << foreign << 0;
    QTest::newRow("echo naming another register")
        << write << QByteArray("05 10 00 01 00 01 51 8d") << foreign << 0;
    // The quantity is checked as well: an echo of five registers answers no write of one.
    QTest::newRow("echo with odd quantity")
        << QByteArray("05 10 00 01 00 01 02 00 03 00 00") << QByteArray("05 10 00 01 00 05 50 4e")
        << foreign << 0;
    QTest::newRow("echo with odd quantity, cut") << write << QByteArray("05 10 00 02 01") << foreign
                                                 << 0;
    QTest::newRow("broadcast address write answered from the new address")
        << QByteArray("00 10 01 6a 00 01 02 00 07 f3 c8") << QByteArray("07 10 01 6a 00 01 20 4f")
        << complete << 8;
    QTest::newRow("broadcast address write answered from another address")
        << QByteArray("00 10 01 6a 00 01 02 00 07 f3 c8") << QByteArray("05 10") << foreign << 0;
    QTest::newRow("broadcast echo naming another register")
        << QByteArray("00 10 01 6a 00 01 02 00 07 f3 c8") << QByteArray("00 10 04 1c") << foreign
        << 0;
}

void tst_ModbusFrame::matchReply()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, received);
    QFETCH(int, verdict);
    QFETCH(int, length);
    const QByteArray tx = QByteArray::fromHex(request);
    const QByteArray rx = QByteArray::fromHex(received);
    const ReplyMatch match =
        ModbusFrame::matchReply(reinterpret_cast<const uint8_t *>(tx.constData()), int(tx.size()),
                                reinterpret_cast<const uint8_t *>(rx.constData()), int(rx.size()));
    QCOMPARE(int(match.verdict), verdict);
    QCOMPARE(match.length, length);
    // Only a whole reply to this very request is ever taken apart.
    const bool whole = verdict != int(ReplyMatch::Verdict::Foreign) &&
                       verdict != int(ReplyMatch::Verdict::Partial) && length == rx.size() &&
                       (uint8_t(rx.at(1)) & 0x80) == 0;
    QCOMPARE(bool(ModbusFrame::takeApart(exchange(request, received))), whole);
}
