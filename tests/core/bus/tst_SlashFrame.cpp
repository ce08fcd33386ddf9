#include "SubmissionRecorder.h"
#include "bus/SlashFrame.h"

#include <QTest>

class tst_SlashFrame : public QObject
{
    Q_OBJECT

private slots:
    void build_data();
    void build();
    void checkReply_data();
    void checkReply();
    void takeApart_data();
    void takeApart();
    void takeApartOfShortReplies_data();
    void takeApartOfShortReplies();
    void matchReply_data();
    void matchReply();
    void paramRegister_data();
    void paramRegister();
    void paramIndexOfOtherRegisters_data();
    void paramIndexOfOtherRegisters();
};

static QByteArray hexOf(const TransactionRecord &record)
{
    return QByteArray(reinterpret_cast<const char *>(record.TxFrame), record.TxLength).toHex(' ');
}

void tst_SlashFrame::build_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("data");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("read 0x0802 at address 3")
        << "read" << 3 << 0x0802 << 0 << QByteArray("2f 03 52 08 02 8e");
    QTest::newRow("write 0xC600 to 0xFA00 at address 5")
        << "write" << 5 << 0xFA00 << 0xC600 << QByteArray("2f 05 57 fa 00 c6 00 4b");
    QTest::newRow("broadcast address 5")
        << "broadcast" << 0 << 0 << 5 << QByteArray("2f 57 08 02 00 05 95");
}

void tst_SlashFrame::build()
{
    QFETCH(QString, kind);
    QFETCH(int, address);
    QFETCH(int, reg);
    QFETCH(int, data);
    QFETCH(QByteArray, frame);
    TransactionRecord record;
    if (kind == "read")
        SlashFrame::buildRead(record, uint8_t(address), uint16_t(reg));
    else if (kind == "write")
        SlashFrame::buildWrite(record, uint8_t(address), uint16_t(reg), uint16_t(data));
    else
        SlashFrame::buildBroadcastAddress(record, uint16_t(data));
    QCOMPARE(hexOf(record), frame);
    QCOMPARE(record.RxLength, -1);
}

void tst_SlashFrame::checkReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("result");
    QTest::newRow("addressed R") << QByteArray("2f 03 52 08 02 00 05 93") << 0;
    QTest::newRow("addressless R") << QByteArray("2f 52 08 02 00 05 90") << 0;
    QTest::newRow("W echo") << QByteArray("2f 03 57 fa 00 c6 00 49") << 0;
    QTest::newRow("letter 0x70 is no error") << QByteArray("2f 03 70 08 02 00 05 b1") << 0;
    QTest::newRow("bad sum") << QByteArray("2f 03 52 08 02 00 05 94") << 3;
    QTest::newRow("N") << QByteArray("2f 03 4e 08 02 00 05 8f") << 3;
    QTest::newRow("n") << QByteArray("2f 03 6e 08 02 00 05 af") << 3;
    QTest::newRow("addressless N, three bytes") << QByteArray("2f 4e 7d") << 3;
    QTest::newRow("w is an error letter") << QByteArray("2f 03 77 08 02 00 05 b8") << 2;
    QTest::newRow("q") << QByteArray("2f 03 71 08 02 00 05 b2") << 2;
    QTest::newRow("0x7F") << QByteArray("2f 03 7f 08 02 00 05 c0") << 2;
    QTest::newRow("two bytes") << QByteArray("2f 2f") << 3;
    QTest::newRow("line error chunk \"Even\"") << QByteArray("45 76 65 6e") << 3;
}

void tst_SlashFrame::checkReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, result);
    const TransactionRecord record = exchange("2f 03 52 08 02 8e", reply);
    QCOMPARE(SlashFrame::checkReply(record), result);
}

void tst_SlashFrame::takeApart_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("letter");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("data");
    QTest::newRow("addressed") << QByteArray("2f 03 52 08 02 8e")
                               << QByteArray("2f 03 52 08 02 00 05 93") << 3 << int('R') << 0x0802
                               << 5;
    QTest::newRow("addressless answer to the broadcast counts as the receiver's")
        << QByteArray("2f 57 08 02 00 09 99") << QByteArray("2f 57 08 02 00 09 99") << 9 << int('W')
        << 0x0802 << 9;
    QTest::newRow("write echo") << QByteArray("2f 03 57 fa 00 c6 00 49")
                                << QByteArray("2f 03 57 fa 00 c6 00 49") << 3 << int('W') << 0xFA00
                                << 0xC600;
}

void tst_SlashFrame::takeApart()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(int, address);
    QFETCH(int, letter);
    QFETCH(int, reg);
    QFETCH(int, data);
    const auto parts = SlashFrame::takeApart(exchange(request, reply), 9);
    QVERIFY(parts);
    QCOMPARE(parts->address, address);
    QCOMPARE(int(parts->letter), letter);
    QCOMPARE(parts->registerNumber, reg);
    QCOMPARE(int(parts->data), data);
}

void tst_SlashFrame::takeApartOfShortReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("addressless N") << QByteArray("2f 4e 7d");
    QTest::newRow("addressed without data") << QByteArray("2f 03 52 08 02 00 8e");
    QTest::newRow("addressless without data") << QByteArray("2f 52 08 02 00 8b");
}

void tst_SlashFrame::takeApartOfShortReplies()
{
    QFETCH(QByteArray, reply);
    QVERIFY(!SlashFrame::takeApart(exchange("2f 03 52 08 02 8e", reply), 3));
    TransactionRecord oversized = exchange("2f 03 52 08 02 8e", "2f 03 52 08 02 00 05 93");
    oversized.RxLength = 101;
    QVERIFY(!SlashFrame::takeApart(oversized, 3));
    QCOMPARE(SlashFrame::checkReply(oversized), 3);
}

// Rows: request, the bytes received so far, what they are, and the reply's length.
void tst_SlashFrame::matchReply_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<int>("length");
    const QByteArray readAddress = "2f 05 52 08 01 8f";
    const QByteArray readFreqRef = "2f 05 52 00 01 87";
    const QByteArray broadcast = "2f 57 08 02 00 07 97";
    const int partial = int(ReplyMatch::Verdict::Partial);
    const int complete = int(ReplyMatch::Verdict::Complete);
    const int corrupt = int(ReplyMatch::Verdict::Corrupt);
    const int foreign = int(ReplyMatch::Verdict::Foreign);

    QTest::newRow("split: start and address") << readFreqRef << QByteArray("2f 05") << partial << 0;
    QTest::newRow("split: letter and register")
        << readFreqRef << QByteArray("2f 05 52 00 01") << partial << 8;
    QTest::newRow("reply") << readFreqRef << QByteArray("2f 05 52 00 01 13 88 22") << complete << 8;
    QTest::newRow("two frames back to back: the first one only")
        << readFreqRef << QByteArray("2f 05 52 00 01 13 88 22 2f 05 52 00 01 13 88 22") << complete
        << 8;
    QTest::newRow("error letter") << readFreqRef << QByteArray("2f 05 72 00 01 00 00 a7")
                                  << complete << 8;
    QTest::newRow("negative acknowledgement naming another register")
        << readFreqRef << QByteArray("2f 05 4e 08 01 00 00 8b") << complete << 8;
    QTest::newRow("truncated at the gap")
        << readFreqRef << QByteArray("2f 05 52 00 01 13 88") << partial << 8;
    QTest::newRow("bad sum") << readFreqRef << QByteArray("2f 05 52 00 01 13 88 23") << corrupt
                             << 8;
    QTest::newRow("no start byte")
        << readFreqRef << QByteArray("23 05 52 00 01 13 88 16") << foreign << 0;
    QTest::newRow("addressless reply to an addressed request")
        << readFreqRef << QByteArray("2f 52 00 01 13 88 1d") << complete << 7;
    QTest::newRow("addressless, truncated") << readFreqRef << QByteArray("2f 52 00 01 13") << partial
                                            << 7;
    QTest::newRow("addressless, other register")
        << readFreqRef << QByteArray("2f 52 fa 00 c4 00 3f") << foreign << 0;
    QTest::newRow("addressless, other letter") << readFreqRef << QByteArray("2f 57 00") << foreign
                                               << 0;
    QTest::newRow("addressless refusal names no drive")
        << readFreqRef << QByteArray("2f 4e 00 01 00 00 7e") << foreign << 0;
    QTest::newRow("other address") << readFreqRef << QByteArray("2f 06 52") << foreign << 0;
    QTest::newRow("frequency reference poll answered with the status register")
        << readFreqRef << QByteArray("2f 05 52 fa 00 c4 00 44") << foreign << 0;
    QTest::newRow("read of 0x0801 answered by a write of 0x0802")
        << readAddress << QByteArray("2f 05 57 08 02 00 05 9a") << foreign << 0;
    QTest::newRow("read answered with the write error letter")
        << readAddress << QByteArray("2f 05 77") << foreign << 0;
    QTest::newRow("broadcast answered without address")
        << broadcast << QByteArray("2f 57 08 02 00 07 97") << complete << 7;
    QTest::newRow("broadcast answered from the new address")
        << broadcast << QByteArray("2f 07 57 08 02 00 07 9e") << complete << 8;
    QTest::newRow("broadcast answered from another address")
        << broadcast << QByteArray("2f 05 57") << foreign << 0;
}

void tst_SlashFrame::matchReply()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, received);
    QFETCH(int, verdict);
    QFETCH(int, length);
    const QByteArray tx = QByteArray::fromHex(request);
    const QByteArray rx = QByteArray::fromHex(received);
    const ReplyMatch match =
        SlashFrame::matchReply(reinterpret_cast<const uint8_t *>(tx.constData()), int(tx.size()),
                               reinterpret_cast<const uint8_t *>(rx.constData()), int(rx.size()));
    QCOMPARE(int(match.verdict), verdict);
    QCOMPARE(match.length, length);
    // Only a whole reply to this very request is ever taken apart.
    const bool whole = (verdict == int(ReplyMatch::Verdict::Complete) ||
                        verdict == int(ReplyMatch::Verdict::Corrupt)) &&
                       length == rx.size();
    QCOMPARE(bool(SlashFrame::takeApart(exchange(request, received), 5)), whole);
}

void tst_SlashFrame::paramRegister_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("reg");
    QTest::newRow("0") << 0 << 0x0000;
    QTest::newRow("9") << 9 << 0x0009;
    QTest::newRow("10") << 10 << 0x0010;
    QTest::newRow("16") << 16 << 0x0016;
    QTest::newRow("39") << 39 << 0x0039;
    QTest::newRow("44") << 44 << 0x0044;
    QTest::newRow("45") << 45 << 0x0700;
    QTest::newRow("46") << 46 << 0x0800;
    QTest::newRow("47") << 47 << 0x0801;
    QTest::newRow("48 bus address") << 48 << 0x0802;
    QTest::newRow("49") << 49 << 0x0803;
}

void tst_SlashFrame::paramRegister()
{
    QFETCH(int, index);
    QFETCH(int, reg);
    QCOMPARE(SlashFrame::ParamRegister(index), reg);
    QCOMPARE(SlashFrame::ParamIndex(reg), index);
    QVERIFY(SlashFrame::isParamRegister(reg));
}

void tst_SlashFrame::paramIndexOfOtherRegisters_data()
{
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("isParam");
    QTest::newRow("0x001A is no parameter digit") << 0x001A << 20 << false;
    QTest::newRow("0x0045") << 0x0045 << 49 << false;
    QTest::newRow("0xFA00") << 0xFA00 << 49 << false;
    QTest::newRow("0x0900") << 0x0900 << 49 << false;
    QTest::newRow("negative") << -1 << 49 << false;
}

void tst_SlashFrame::paramIndexOfOtherRegisters()
{
    QFETCH(int, reg);
    QFETCH(int, index);
    QFETCH(bool, isParam);
    QCOMPARE(SlashFrame::ParamIndex(reg), index);
    QCOMPARE(SlashFrame::isParamRegister(reg), isParam);
    QCOMPARE(SlashFrame::ParamRegister(100), 0x0803);
    QCOMPARE(SlashFrame::ParamRegister(-3), 0);
}

QTEST_GUILESS_MAIN(tst_SlashFrame)
#include "tst_SlashFrame.moc"
