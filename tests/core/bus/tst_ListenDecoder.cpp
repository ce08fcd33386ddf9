// What a listener tells of another master's exchanges: every parameter row of every model
// named by its code with its value in the row's scale (generated from the tables), the
// issue's examples, and the model found from the registers the master uses.
#include "BusTestSupport.h"
#include "bus/ListenDecoder.h"
#include "bus/TrafficDecoder.h"
#include "params/ParameterRowTable.h"
#include "params/ParameterValue.h"

#include <QtTest>

using namespace BusTestSupport;
using Model = TrafficEntry::Model;
using Frame = StreamFrameCutter::Frame;

namespace {
QByteArray hex4(int value)
{
    return QByteArray::number(value, 16).rightJustified(4, '0');
}

ExchangePairer::Exchange exchange(const QByteArray &requestHex, const QByteArray &replyHex)
{
    ExchangePairer::Exchange e;
    Frame request;
    request.bytes = QByteArray::fromHex(requestHex);
    request.protocol =
        request.bytes.startsWith('/') ? Frame::Protocol::Slash : Frame::Protocol::Modbus;
    request.startUs = 1'000'000;
    request.endUs = 1'008'000;
    e.protocol = request.protocol;
    e.request = request;
    e.address = ExchangePairer::addressOf(request);
    e.kind = ExchangePairer::Exchange::Kind::Broadcast;
    if (!replyHex.isEmpty()) {
        Frame reply = request;
        reply.bytes = QByteArray::fromHex(replyHex);
        reply.startUs = 1'012'000;
        reply.endUs = 1'020'000;
        e.reply = reply;
        e.kind = ExchangePairer::Exchange::Kind::Answered;
    }
    return e;
}

// A read of the register at address 1 answered with the word, in the model's protocol.
ExchangePairer::Exchange read(Model model, int registerNumber, int word)
{
    if (model == Model::KX200)
        return exchange(withSum("2F 01 52" + hex4(registerNumber)),
                        withSum("2F 01 52" + hex4(registerNumber) + hex4(word & 0xFFFF)));
    return exchange(withCrc("01 03" + hex4(registerNumber) + "00 01"),
                    withCrc("01 03 02" + hex4(word & 0xFFFF)));
}
} // namespace

class tst_ListenDecoder : public QObject
{
    Q_OBJECT

private slots:
    void namesEveryRowInItsScale_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QStringList>("tables");
        QStringList kx300;
        for (const QString &name : ParameterRowTable::embeddedNames())
            if (name.startsWith(QLatin1String("kx300_")))
                kx300 << name;
        QTest::newRow("KX100") << int(Model::KX100) << QStringList{"kx100"};
        QTest::newRow("KX200") << int(Model::KX200) << QStringList{"kx200"};
        QTest::newRow("KX300") << int(Model::KX300) << kx300;
    }
    void namesEveryRowInItsScale()
    {
        QFETCH(int, model);
        QFETCH(QStringList, tables);
        const QString name = TrafficEntry::modelName(Model(model));
        int checked = 0;
        for (const QString &table : tables) {
            for (const ParameterRow &row : ParameterRowTable::embedded(table).rows()) {
                // A register shared by two rows is named after the one the drive's window uses.
                const ParameterRow *named = ParameterValue::rowOfRegister(name, row.registerNumber);
                if (!named || named->code != row.code)
                    continue;
                int value = row.isList()  ? int(row.items.size()) - 1
                            : row.bounded ? int(row.rawMaximum)
                                          : (row.unsignedWord ? 40000 : 1234);
                QString shown = QString::number(value);
                if (row.isList()) {
                    shown = row.items.value(value).trimmed();
                    if (shown.isEmpty())
                        shown = QString::number(value);
                } else if (row.decimals > 0) {
                    shown =
                        QString::number(value / std::pow(10.0, row.decimals), 'f', row.decimals);
                }
                ListenDecoder decoder;
                decoder.setModel(1, Model(model));
                const TrafficEntry entry =
                    decoder.entry(read(Model(model), row.registerNumber, value));
                QString code = row.code;
                while (code.endsWith(QLatin1Char('*')))
                    code.chop(1);
                const QString meaning = TrafficDecoder::meaning(entry);
                if (meaning.startsWith(QStringLiteral("команда")))
                    continue;
                const QString expected = QStringLiteral("чтение %1 = %2").arg(code, shown);
                if (!meaning.startsWith(expected))
                    QFAIL(qPrintable(
                        QStringLiteral("%1: %2, expected %3").arg(table, meaning, expected)));
                ++checked;
            }
        }
        QVERIFY(checked > 40);
    }

    void examples_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("given"); // "ADDR=MODEL" or empty: inferred
        QTest::addColumn<QString>("meaning");

        QTest::newRow("scaled write")
            << withCrc("01 10 01 03 00 01 02 07 D0") << withCrc("01 10 01 03 00 01") << "1=KX100"
            << "запись CD003 = 200.0 В";
        QTest::newRow("unsigned counter")
            << withCrc("03 03 00 2C 00 01") << withCrc("03 03 02 9C 40") << "3=KX300"
            << "чтение U1-13 = 40000";
        QTest::newRow("exception")
            << withCrc("03 03 00 2C 00 01") << withCrc("03 83 02") << "3=KX300"
            << "исключение 02 (чтение U1-13)";
        QTest::newRow("inferred from a register only KX300 has")
            << withCrc("03 03 02 00 00 01") << withCrc("03 03 02 00 64") << ""
            << "чтение C1-01 = 10.0";
        QTest::newRow("inferred from a register only KX100 has")
            << withCrc("01 03 00 02 00 01") << withCrc("01 03 02 01 F4") << ""
            << "чтение 0x0002 = 500";
        QTest::newRow("slash frames are KX200's")
            << withSum("2F 02 57 00 06 00 1E") << withSum("2F 02 57 00 06 00 1E") << ""
            << "запись CD06 = 3.0";
        QTest::newRow("broadcast shows what it asked")
            << withCrc("00 10 00 02 00 01 02 01 F4") << QByteArray() << ""
            << "запись 0x0002 = 500 (всем)";
    }
    void examples()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(QString, given);
        QFETCH(QString, meaning);
        ListenDecoder decoder;
        if (!given.isEmpty())
            decoder.setModel(given.section('=', 0, 0).toInt(),
                             TrafficEntry::modelNamed(given.section('=', 1)));
        QCOMPARE(TrafficDecoder::meaning(decoder.entry(exchange(request, reply))), meaning);
    }

    void ambiguousRegistersStayRawUntilAWriteDecides()
    {
        ListenDecoder decoder;
        // Register 259 is CD003 on a KX100 and A1-03 on a KX300: no model yet.
        decoder.entry(exchange(withCrc("01 03 01 03 00 01"), withCrc("01 03 02 07 D0")));
        QCOMPARE(decoder.modelOf(1), Model::Unknown);
        // Register 2 exists on a KX100 only.
        decoder.entry(exchange(withCrc("01 03 00 02 00 01"), withCrc("01 03 02 01 F4")));
        QCOMPARE(decoder.modelOf(1), Model::KX100);
    }
};

QTEST_GUILESS_MAIN(tst_ListenDecoder)
#include "tst_ListenDecoder.moc"
