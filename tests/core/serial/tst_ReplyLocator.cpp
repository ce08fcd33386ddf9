#include "serial/ReplyLocator.h"

#include "bus/BusReplyRule.h"

#include <QTest>

// Rows: the request in flight, the bytes received so far, and where the reply lies in them.
class tst_ReplyLocator : public QObject
{
    Q_OBJECT

private slots:
    void locate_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        const QByteArray read = "03 03 00 10 00 01 84 2d";
        const QByteArray write = "03 10 00 10 00 01 02 00 05 7d a3";
        QTest::newRow("the reply alone") << read << QByteArray("03 03 02 07 d0 c2 28") << 0 << 7;
        QTest::newRow("reply in parts") << read << QByteArray("03 03 02 07") << 0 << 0;
        QTest::newRow("noise, then the reply")
            << read << QByteArray("55 03 03 02 07 d0 c2 28") << 1 << 7;
        QTest::newRow("noise, then a part of the reply")
            << read << QByteArray("55 aa 03 03") << 2 << 0;
        QTest::newRow("broken exception, then the reply")
            << read << QByteArray("03 83 02 00 00 03 03 02 07 d0 c2 28") << 5 << 7;
        QTest::newRow("broken reply, then the reply")
            << read << QByteArray("03 03 02 07 d1 c2 28 03 03 02 07 d0 c2 28") << 7 << 7;
        QTest::newRow("lone address byte, then the reply")
            << read << QByteArray("03 03 03 02 07 d0 c2 28") << 1 << 7;
        QTest::newRow("a broken frame only") << read << QByteArray("03 83 02 00 00") << 5 << 0;
        QTest::newRow("another slave's reply")
            << read << QByteArray("04 03 02 07 d0 77 e8") << 7 << 0;
        QTest::newRow("nothing") << read << QByteArray() << 0 << 0;
        QTest::newRow("echo of another quantity, then the echo")
            << write << QByteArray("03 10 00 10 00 05 00 2d 03 10 00 10 00 01 01 ee") << 8 << 8;
    }
    void locate()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, received);
        const QByteArray tx = QByteArray::fromHex(request);
        const QByteArray rx = QByteArray::fromHex(received);
        const ReplyLocator::Span span = ReplyLocator::locate(
            BusReplyRule(), reinterpret_cast<const uint8_t *>(tx.constData()), int(tx.size()),
            reinterpret_cast<const uint8_t *>(rx.constData()), int(rx.size()));
        QTEST(span.start, "start");
        QTEST(span.length, "length");
    }
};

QTEST_GUILESS_MAIN(tst_ReplyLocator)
#include "tst_ReplyLocator.moc"
