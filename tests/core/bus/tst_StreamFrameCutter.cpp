// Recorded streams cut into frames: gaps, frames that run together, noise before, between and
// inside the look of frames, both protocols. Each stream is written as the frames it must
// give back, so a stream row says both what is on the line and what the listener must see.
#include "BusTestSupport.h"
#include "bus/StreamFrameCutter.h"

#include <QtTest>

using namespace BusTestSupport;
using Frame = StreamFrameCutter::Frame;

namespace {
// A stream element: "M:HEX" a Modbus frame, "S:HEX" a slash frame, "N:HEX" noise, "+MS" a
// silence of MS milliseconds, "|" or "|MS" a chunk boundary inside a frame, the rest of the
// frame delivered a character or MS milliseconds later (a loaded machine holds bytes back).
QString expectedOf(const QStringList &stream)
{
    QStringList frames;
    bool joins = false; // the element goes on the frame before it
    for (const QString &element : stream) {
        if (element.startsWith(QLatin1Char('+')))
            continue;
        if (element.startsWith(QLatin1Char('|'))) {
            joins = true;
            continue;
        }
        if ((joins || element.startsWith(QLatin1String("N:"))) && !frames.isEmpty() &&
            frames.last().left(2) == element.left(2))
            frames.last() += QLatin1Char(' ') + element.mid(2);
        else
            frames << element;
        joins = false;
    }
    return frames.join(QLatin1Char('\n'));
}

QString cut(int baud, const QStringList &stream)
{
    StreamFrameCutter cutter(baud);
    QList<Frame> frames;
    qint64 now = 1'000'000;
    QByteArray chunk;
    const auto deliver = [&] {
        if (chunk.isEmpty())
            return;
        now += chunk.size() * cutter.characterUs();
        frames += cutter.feed(chunk, now);
        chunk.clear();
    };
    for (const QString &element : stream) {
        if (element.startsWith(QLatin1Char('+'))) {
            deliver();
            now += element.mid(1).toLongLong() * 1000;
        } else if (element.startsWith(QLatin1Char('|'))) {
            deliver();
            now += element.size() > 1 ? element.mid(1).toLongLong() * 1000 : cutter.characterUs();
        } else {
            chunk += QByteArray::fromHex(element.mid(2).toLatin1());
        }
    }
    deliver();
    frames += cutter.flush(now + cutter.silenceUs());
    QStringList out;
    for (const Frame &frame : frames) {
        const char kind = frame.protocol == Frame::Protocol::Modbus  ? 'M'
                          : frame.protocol == Frame::Protocol::Slash ? 'S'
                                                                     : 'N';
        out << QString(QLatin1Char(kind)) + QLatin1Char(':') +
                   QString::fromLatin1(frame.bytes.toHex(' ').toUpper());
        if (frame.endUs < frame.startUs)
            return QStringLiteral("frame ends before it starts");
    }
    return out.join(QLatin1Char('\n'));
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

class tst_StreamFrameCutter : public QObject
{
    Q_OBJECT

private slots:
    void cutsStreams_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<QStringList>("stream");

        const QString readRq = m("01 03 01 03 00 01");
        const QString readRp = m("01 03 02 07 D0");
        const QString writeRq = m("03 10 02 00 00 01 02 00 64");
        const QString writeRp = m("03 10 02 00 00 01");
        const QString slashRq = s("2F 02 52 00 03");
        const QString slashRp = s("2F 02 52 00 03 00 1E");
        // The first six bytes of this read reply sum right as a read request would.
        const QString twinRp = s("2F 02 52 00 03 86 00");
        QTest::newRow("Modbus with gaps, 9600")
            << 9600 << QStringList{readRq, "+5", readRp, "+5", writeRq, "+5", writeRp};
        QTest::newRow("run together, 115200")
            << 115200 << QStringList{readRq, readRp, writeRq, writeRp, slashRq, slashRp};
        QTest::newRow("slash with gaps")
            << 9600 << QStringList{slashRq, "+4", slashRp, "+4", s("2F 57 08 02 00 05"), "+4"};
        QTest::newRow("read reply that looks like a request too")
            << 115200 << QStringList{slashRq, twinRp, slashRq, "+3", twinRp};
        QTest::newRow("noise between frames")
            << 115200
            << QStringList{"N:FF 13", readRq, "N:AA", readRp, "N:2F 02", slashRq, "N:00", slashRp};
        QTest::newRow("noise that looks like a long frame's start")
            << 9600 << QStringList{"N:05 03 FA", readRq, readRp, writeRq, writeRp, "+1100"};
        QTest::newRow("frame delivered in pieces")
            << 9600 << QStringList{"M:01 03 01", "|", "M:03 00 01 75 F6", readRp};
        QTest::newRow("frame held back mid-way")
            << 115200 << QStringList{readRq, "S:2F 02", "|80", "S:52 00 03 86", slashRp};
        QTest::newRow("frame cut short by a silence")
            << 9600 << QStringList{"N:01 03 01 03", "+1100", readRq, readRp};
        QTest::newRow("exception and a function of its own")
            << 9600 << QStringList{readRq, m("01 83 02"), "+1100", m("01 2B 0E 01 00"), "+1100"};
        QTest::newRow("broken CRC is noise")
            << 9600 << QStringList{"N:01 03 01 03 00 01 75 F7", "+1100", readRq};
    }
    void cutsStreams()
    {
        QFETCH(int, baud);
        QFETCH(QStringList, stream);
        QCOMPARE(cut(baud, stream), expectedOf(stream));
    }
};

QTEST_GUILESS_MAIN(tst_StreamFrameCutter)
#include "tst_StreamFrameCutter.moc"
