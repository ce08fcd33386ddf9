// The traffic log's reading of an exchange: the meaning and result code for every model and
// outcome, judged with check bytes computed here, and hex that stays whole for long chunks.
#include "BusTestSupport.h"
#include "bus/TrafficDecoder.h"
#include "bus/TrafficLine.h"

#include <QtTest>

using namespace BusTestSupport;
using Model = TrafficEntry::Model;

namespace {
TransactionRecord exchangeOf(const QByteArray &requestHex, const QByteArray &replyHex)
{
    TransactionRecord record;
    InitTransaction(record, nullptr, 0, 0, 1);
    const QByteArray tx = QByteArray::fromHex(requestHex);
    std::memcpy(record.TxFrame, tx.constData(), size_t(tx.size()));
    record.TxLength = int32_t(tx.size());
    if (replyHex != "-") {
        const QByteArray rx = QByteArray::fromHex(replyHex);
        std::memcpy(record.RxFrame, rx.constData(), size_t(rx.size()));
        record.RxLength = int32_t(rx.size());
    }
    return record;
}

QByteArray corrupt(const QByteArray &hex)
{
    QByteArray bytes = QByteArray::fromHex(hex);
    bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] ^ 0x5A);
    return bytes.toHex(' ');
}
} // namespace

class tst_TrafficDecoder : public QObject
{
    Q_OBJECT

private slots:
    void meaningOfEachModel_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply"); // "-" for none
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("meaning");

        const QByteArray readCD003 = withCrc("01 03 01 03 00 01");
        const int kx100 = int(Model::KX100);
        QTest::newRow("KX100 read")
            << kx100 << readCD003 << withCrc("01 03 02 07 D0") << 0 << "чтение CD003 = 2000";
        QTest::newRow("KX100 commit") << kx100 << withCrc("01 10 09 00 00 01 02 00 00")
                                      << withCrc("01 10 09 00 00 01") << 0 << "запись 0x0900 = 0";
        QTest::newRow("KX100 command")
            << kx100 << withCrc("01 10 00 01 00 01 02 00 03") << withCrc("01 10 00 01 00 01") << 0
            << "команда пуск, реверс = 3";
        QTest::newRow("KX100 exception")
            << kx100 << readCD003 << withCrc("01 83 02") << 2 << "исключение 02 (чтение CD003)";
        QTest::newRow("KX100 time-out")
            << kx100 << readCD003 << QByteArray("-") << 1 << "нет ответа (чтение CD003)";
        QTest::newRow("KX100 bad CRC") << kx100 << readCD003 << corrupt(withCrc("01 03 02 07 D0"))
                                       << 3 << "ошибка CRC (чтение CD003)";
        QTest::newRow("KX100 other address") << kx100 << readCD003 << withCrc("02 03 02 07 D0") << 0
                                             << "чужой адрес 2 (чтение CD003)";
        QTest::newRow("KX100 line error")
            << kx100 << readCD003 << QByteArray("4576656E") << 3 << "ошибка линии (чтение CD003)";
        QTest::newRow("KX100 short")
            << kx100 << readCD003 << QByteArray("01 03") << 3 << "короткий ответ (чтение CD003)";

        const int kx300 = int(Model::KX300);
        QTest::newRow("KX300 signed read")
            << kx300 << withCrc("01 03 00 21 00 01") << withCrc("01 03 02 EC 78") << 0
            << "чтение U1-02 = -5000";
        QTest::newRow("KX300 unsigned counter")
            << kx300 << withCrc("01 03 00 2C 00 01") << withCrc("01 03 02 9C 40") << 0
            << "чтение U1-13 = 40000";
        QTest::newRow("KX300 stop") << kx300 << withCrc("01 10 00 00 00 01 02 00 00")
                                    << withCrc("01 10 00 00 00 01") << 0 << "команда стоп = 0";
        QTest::newRow("unknown Modbus") << int(Model::Unknown) << withCrc("01 03 00 24 00 01")
                                        << withCrc("01 03 02 00 05") << 0 << "чтение 0x0024 = 5";

        const QByteArray readCD03 = withSum("2F 01 52 00 03");
        const int kx200 = int(Model::KX200);
        QTest::newRow("KX200 read")
            << kx200 << readCD03 << withSum("2F 01 52 00 03 07 D0") << 0 << "чтение CD03 = 2000";
        // Only the broadcast address write is answered without the address byte.
        QTest::newRow("KX200 addressless")
            << kx200 << withSum("2F 57 08 02 00 05") << withSum("2F 57 08 02 00 05") << 0
            << "запись CD48 = 5 (ответ без адреса)";
        QTest::newRow("KX200 by its frame")
            << int(Model::Unknown) << readCD03 << withSum("2F 01 52 00 03 07 D0") << 0
            << "чтение CD03 = 2000";
        QTest::newRow("KX200 command")
            << kx200 << withSum("2F 01 57 FA 00 C6 00") << withSum("2F 01 57 FA 00 C6 00") << 0
            << "команда пуск, реверс = 50688";
        QTest::newRow("KX200 error letter") << kx200 << readCD03 << withSum("2F 01 71 00 03 00 00")
                                            << 2 << "ошибка ПЧ 71 (чтение CD03)";
        QTest::newRow("KX200 negative ack") << kx200 << readCD03 << withSum("2F 01 4E 00 03 00 00")
                                            << 3 << "отрицательная квитанция (чтение CD03)";
        QTest::newRow("KX200 bad sum")
            << kx200 << readCD03 << corrupt(withSum("2F 01 52 00 03 07 D0")) << 3
            << "ошибка суммы (чтение CD03)";
        QTest::newRow("KX200 other address") << kx200 << readCD03 << withSum("2F 05 52 00 03 07 D0")
                                             << 0 << "чужой адрес 5 (чтение CD03)";
        QTest::newRow("KX200 broadcast") << kx200 << withSum("2F 57 08 02 00 05") << QByteArray("-")
                                         << 1 << "нет ответа (запись CD48 (всем))";
    }

    void meaningOfEachModel()
    {
        QFETCH(int, model);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(int, result);
        QFETCH(QString, meaning);
        const TrafficEntry entry =
            TrafficDecoder::exchange(exchangeOf(request, reply), 12, Model(model), 0);
        QCOMPARE(TrafficDecoder::meaning(entry), meaning);
        QCOMPARE(int(entry.result), result);
        QCOMPARE(entry.isError(), !(result == 0 && !meaning.startsWith(u"чужой")));
    }

    void longChunksRenderWhole()
    {
        // A 2048-byte burst of every byte value and a full 100-byte frame: all bytes, as hex.
        QByteArray burst;
        for (int i = 0; i < 2048; ++i)
            burst.append(char(i));
        const TrafficEntry stray = TrafficDecoder::stray(burst, 0);
        QCOMPARE(TrafficDecoder::meaning(stray), QStringLiteral("посторонние байты (2048)"));
        const QString hex = TrafficLine::hexText(stray.reply);
        QCOMPARE(hex.size(), 2048 * 3 - 1);
        QVERIFY(hex.startsWith(u"00 01 02") && hex.endsWith(u"FE FF"));
        QVERIFY(TrafficLine::text(stray).contains(hex));

        TransactionRecord record = exchangeOf(withCrc("01 03 01 03 00 01"), "-");
        std::memset(record.RxFrame, 0x7F, sizeof record.RxFrame);
        record.RxLength = TransactionRecord::FrameSize;
        const TrafficEntry full = TrafficDecoder::exchange(record, 5, Model::KX100, 0);
        QCOMPARE(full.reply.size(), TransactionRecord::FrameSize);
        QCOMPARE(TrafficLine::hexText(full.reply).count(u"7F"), TransactionRecord::FrameSize);
        QCOMPARE(TrafficDecoder::meaning(full), QStringLiteral("ошибка CRC (чтение CD003)"));

        const TrafficEntry notice = TrafficDecoder::stray(TrafficDecoder::LineErrorNotice, 0);
        QCOMPARE(notice.kind, TrafficEntry::Kind::LineError);
        QCOMPARE(TrafficDecoder::meaning(notice), QStringLiteral("ошибка линии"));
    }
};

QTEST_GUILESS_MAIN(tst_TrafficDecoder)
#include "tst_TrafficDecoder.moc"
