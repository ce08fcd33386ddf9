// Pairing what another master and the drives say: replies to the waiting request, requests
// that go unanswered, broadcasts, orphans, time-outs and write echoes that look like requests.
#include "BusTestSupport.h"
#include "bus/ExchangePairer.h"

#include <QtTest>

using namespace BusTestSupport;
using Frame = StreamFrameCutter::Frame;
using Kind = ExchangePairer::Exchange::Kind;

namespace {
// "M:HEX" / "S:HEX" a frame 10 ms after the previous one; "+MS" time passing.
QString pair(const QStringList &frames)
{
    ExchangePairer pairer(500'000);
    QList<ExchangePairer::Exchange> exchanges;
    qint64 now = 0;
    for (const QString &element : frames) {
        if (element.startsWith(QLatin1Char('+'))) {
            now += element.mid(1).toLongLong() * 1000;
            exchanges += pairer.expire(now);
            continue;
        }
        now += 10'000;
        Frame frame;
        frame.protocol =
            element.startsWith(QLatin1Char('S')) ? Frame::Protocol::Slash : Frame::Protocol::Modbus;
        frame.bytes = QByteArray::fromHex(element.mid(2).toLatin1());
        frame.startUs = now - 1000;
        frame.endUs = now;
        exchanges += pairer.take(frame);
    }
    exchanges += pairer.finish();
    QStringList out;
    for (const ExchangePairer::Exchange &e : exchanges) {
        static const char *const names[] = {"answered", "unanswered", "broadcast", "orphan",
                                            "noise"};
        out << QStringLiteral("%1 #%2").arg(QLatin1String(names[int(e.kind)])).arg(e.address);
    }
    return out.join(QStringLiteral(", "));
}

QString m(const QByteArray &hex)
{
    return QStringLiteral("M:") + QString::fromLatin1(withCrc(hex));
}
QString s(const QByteArray &hex)
{
    return QStringLiteral("S:") + QString::fromLatin1(withSum(hex));
}
} // namespace

class tst_ExchangePairer : public QObject
{
    Q_OBJECT

private slots:
    void pairs_data()
    {
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<QString>("exchanges");

        const QString read1 = m("01 03 01 03 00 01");
        const QString reply1 = m("01 03 02 07 D0");
        const QString slashWrite = s("2F 02 57 00 06 00 1E");
        QTest::newRow("read and write answered")
            << QStringList{read1, reply1, m("03 10 02 00 00 01 02 00 64"), m("03 10 02 00 00 01")}
            << "answered #1, answered #3";
        QTest::newRow("exception answers") << QStringList{read1, m("01 83 02")} << "answered #1";
        QTest::newRow("request meets request")
            << QStringList{read1, m("03 03 00 20 00 01"), m("03 03 02 00 00")}
            << "unanswered #1, answered #3";
        QTest::newRow("reply of another drive is an orphan")
            << QStringList{read1, m("03 03 02 00 00"), reply1} << "orphan #3, answered #1";
        QTest::newRow("reply of a wrong length is an orphan")
            << QStringList{read1, m("01 03 04 00 00 00 00")} << "orphan #1, unanswered #1";
        QTest::newRow("reply after the time-out")
            << QStringList{read1, "+600", reply1} << "unanswered #1, orphan #1";
        QTest::newRow("broadcast, then a read")
            << QStringList{m("00 10 00 02 00 01 02 01 F4"), read1, reply1}
            << "broadcast #0, answered #1";
        QTest::newRow("slash write echo is the reply")
            << QStringList{slashWrite, slashWrite, s("2F 02 52 FA 00"), s("2F 02 52 FA 00 00 00")}
            << "answered #2, answered #2";
        QTest::newRow("slash refusal answers")
            << QStringList{s("2F 02 52 FA 00"), s("2F 02 4E FA 00 00 00")} << "answered #2";
        QTest::newRow("protocols do not answer each other")
            << QStringList{s("2F 01 52 01 03"), reply1} << "orphan #1, unanswered #1";
        QTest::newRow("request without reply at the end") << QStringList{read1} << "unanswered #1";
    }
    void pairs()
    {
        QFETCH(QStringList, frames);
        QFETCH(QString, exchanges);
        QCOMPARE(pair(frames), exchanges);
    }
};

QTEST_GUILESS_MAIN(tst_ExchangePairer)
#include "tst_ExchangePairer.moc"
