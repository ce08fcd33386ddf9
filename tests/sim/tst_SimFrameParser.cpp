#include "sim/SimFrameParser.h"

#include <QtTest>

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

QStringList describe(const QList<SimFrame> &frames)
{
    QStringList out;
    for (const SimFrame &frame : frames) {
        QString text = QString::fromLatin1(frame.bytes.toHex(' ').toUpper());
        text += frame.protocol == SimFrame::Protocol::Slash ? QStringLiteral(" slash")
                                                            : QStringLiteral(" modbus");
        text +=
            frame.broadcast ? QStringLiteral(" all") : QStringLiteral(" @%1").arg(frame.address);
        if (!frame.checkOk)
            text += QStringLiteral(" badsum");
        out << text;
    }
    return out;
}
} // namespace

class tst_SimFrameParser : public QObject
{
    Q_OBJECT

private slots:
    // Each chunk is fed separately; "flush" marks that the line then falls silent.
    void frames_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<bool>("flush");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QByteArray>("discarded");

        QTest::newRow("modbus read")
            << QList<QByteArray>{hex("0103016A0001A5EA")} << false
            << QStringList{"01 03 01 6A 00 01 A5 EA modbus @1"} << QByteArray();
        QTest::newRow("modbus write")
            << QList<QByteArray>{hex("01100001000102000BE646")} << false
            << QStringList{"01 10 00 01 00 01 02 00 0B E6 46 modbus @1"} << QByteArray();
        QTest::newRow("modbus broadcast")
            << QList<QByteArray>{hex("0010016A0001020007F3C8")} << false
            << QStringList{"00 10 01 6A 00 01 02 00 07 F3 C8 modbus all"} << QByteArray();
        QTest::newRow("read in pieces")
            << QList<QByteArray>{hex("0103"), hex("016A00"), hex("01A5EA")} << false
            << QStringList{"01 03 01 6A 00 01 A5 EA modbus @1"} << QByteArray();
        QTest::newRow("two frames in one chunk")
            << QList<QByteArray>{hex("0103016A0001A5EA2F035208028E")} << false
            << QStringList{"01 03 01 6A 00 01 A5 EA modbus @1", "2F 03 52 08 02 8E slash @3"}
            << QByteArray();
        QTest::newRow("noise before a read")
            << QList<QByteArray>{hex("FFFE00"), hex("0103016A0001A5EA")} << true
            << QStringList{"01 03 01 6A 00 01 A5 EA modbus @1"} << hex("FFFE00");
        QTest::newRow("bad crc dropped") << QList<QByteArray>{hex("0103016A0001EAA5")} << true
                                         << QStringList{} << hex("0103016A0001EAA5");
        QTest::newRow("slash read") << QList<QByteArray>{hex("2F035208028E")} << false
                                    << QStringList{"2F 03 52 08 02 8E slash @3"} << QByteArray();
        QTest::newRow("slash write")
            << QList<QByteArray>{hex("2F0257FA00C40046")} << false
            << QStringList{"2F 02 57 FA 00 C4 00 46 slash @2"} << QByteArray();
        QTest::newRow("slash broadcast")
            << QList<QByteArray>{hex("2F570802000999")} << false
            << QStringList{"2F 57 08 02 00 09 99 slash all"} << QByteArray();
        QTest::newRow("slash bad sum still delivered")
            << QList<QByteArray>{hex("2F035208028F")} << false
            << QStringList{"2F 03 52 08 02 8F slash @3 badsum"} << QByteArray();
        QTest::newRow("slash broadcast with bad sum dropped")
            << QList<QByteArray>{hex("2F570802000998")} << true << QStringList{}
            << hex("2F570802000998");
        QTest::newRow("unknown slash letter")
            << QList<QByteArray>{hex("2F03580802")} << true << QStringList{} << hex("2F03580802");
        QTest::newRow("incomplete read waits")
            << QList<QByteArray>{hex("0103016A")} << false << QStringList{} << QByteArray();
        QTest::newRow("incomplete read given up on silence")
            << QList<QByteArray>{hex("0103016A")} << true << QStringList{} << hex("0103016A");
        QTest::newRow("unknown function recognised on silence")
            << QList<QByteArray>{hex("010600010001 19CA")} << true
            << QStringList{"01 06 00 01 00 01 19 CA modbus @1"} << QByteArray();
        QTest::newRow("address above 247 is noise")
            << QList<QByteArray>{hex("F8")} << false << QStringList{} << hex("F8");
    }

    void frames()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(bool, flush);
        QFETCH(QStringList, expected);
        QFETCH(QByteArray, discarded);

        SimFrameParser parser;
        QList<SimFrame> frames;
        for (const QByteArray &chunk : chunks)
            frames += parser.feed(chunk);
        if (flush) {
            frames += parser.flush();
            QVERIFY(!parser.hasPending());
        }
        QCOMPARE(describe(frames), expected);
        QCOMPARE(parser.takeDiscarded(), discarded);
        QVERIFY(parser.takeDiscarded().isEmpty());
    }

    void endlessNoiseKeepsTheBufferBounded()
    {
        SimFrameParser parser;
        // A write header announcing a long payload, then a flood that never completes it.
        QByteArray flood = hex("011000010080FF");
        flood += QByteArray(4000, char(0x01));
        parser.feed(flood);
        QVERIFY(parser.takeDiscarded().size() >= flood.size() - SimFrameParser::MaxPending);
        QVERIFY(parser.flush().isEmpty());
        QVERIFY(!parser.hasPending());
        QCOMPARE(parser.takeDiscarded().size(), SimFrameParser::MaxPending);
        // After the flood a request is recognised again.
        const QList<SimFrame> frames = parser.feed(hex("0103016A0001A5EA"));
        QCOMPARE(frames.size(), 1);
    }
};

QTEST_APPLESS_MAIN(tst_SimFrameParser)
#include "tst_SimFrameParser.moc"
