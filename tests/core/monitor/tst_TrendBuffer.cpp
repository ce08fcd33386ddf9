// The trend's sample buffer: its bounds, its order, its lookups and its CSV.
#include "monitor/TrendBuffer.h"

#include <QBuffer>
#include <QDateTime>
#include <QtTest>

class tst_TrendBuffer : public QObject
{
    Q_OBJECT

private slots:
    void boundedByCountAndAge_data()
    {
        QTest::addColumn<int>("maxSamples");
        QTest::addColumn<qint64>("maxAgeMs");
        QTest::addColumn<int>("appended"); // one a second
        QTest::addColumn<int>("kept");
        QTest::addColumn<qint64>("firstKeptMs");

        QTest::newRow("within both") << 100 << qint64(1000000) << 50 << 50 << qint64(0);
        QTest::newRow("count") << 10 << qint64(1000000) << 50 << 10 << qint64(40000);
        QTest::newRow("age") << 100 << qint64(20000) << 50 << 21 << qint64(29000);
        QTest::newRow("24 h at one a second") << TrendBuffer::MaxSamples << TrendBuffer::MaxAgeMs
                                              << 24 * 3600 + 600 << 24 * 3600 + 1 << qint64(599000);
    }
    void boundedByCountAndAge()
    {
        QFETCH(int, maxSamples);
        QFETCH(qint64, maxAgeMs);
        QFETCH(int, appended);
        QFETCH(int, kept);
        QFETCH(qint64, firstKeptMs);
        TrendBuffer buffer(maxSamples, maxAgeMs);
        for (int i = 0; i < appended; ++i)
            buffer.append(TrendBuffer::Quantity(i % 3), i, qint64(i) * 1000);
        QCOMPARE(buffer.size(), kept);
        QCOMPARE(buffer.at(0).msecs, firstKeptMs);
        QCOMPARE(buffer.last().msecs, qint64(appended - 1) * 1000);
    }

    void samplesCarryTheLastKnownValues()
    {
        TrendBuffer buffer;
        buffer.append(TrendBuffer::Frequency, 12.5, 1000);
        buffer.append(TrendBuffer::Current, 3.0, 2000);
        // A clock that steps back keeps the samples in order.
        buffer.append(TrendBuffer::Voltage, 220.0, 1500);
        QCOMPARE(buffer.size(), 3);
        QVERIFY(std::isnan(buffer.at(0).values[TrendBuffer::Voltage]));
        QCOMPARE(buffer.at(1).values[TrendBuffer::Frequency], 12.5f);
        QCOMPARE(buffer.at(1).fresh, uint8_t(1u << TrendBuffer::Current));
        QCOMPARE(buffer.at(2).msecs, qint64(2000));
        QCOMPARE(buffer.lowerBound(1001), 1);
        QCOMPARE(buffer.nearest(1400), 0);
        QCOMPARE(buffer.nearest(99999), 2);
        buffer.clear();
        QCOMPARE(buffer.nearest(0), -1);
    }

    void csvExport()
    {
        TrendBuffer buffer;
        const qint64 t0 = QDateTime(QDate(2026, 3, 1), QTime(10, 0, 0, 250)).toMSecsSinceEpoch();
        buffer.append(TrendBuffer::Frequency, 49.987, t0);
        buffer.append(TrendBuffer::Voltage, 380.04, t0 + 1000);
        QBuffer device;
        QVERIFY(device.open(QIODevice::WriteOnly));
        QVERIFY(buffer.writeCsv(device));
        QCOMPARE(QString::fromUtf8(device.data()),
                 QStringLiteral("time,F_Hz,V_V,I_A\n"
                                "2026-03-01T10:00:00.250,49.99,,\n"
                                "2026-03-01T10:00:01.250,49.99,380.0,\n"));
        // A device that refuses the write is reported.
        QBuffer closed;
        QVERIFY(!buffer.writeCsv(closed));
    }
};

QTEST_GUILESS_MAIN(tst_TrendBuffer)
#include "tst_TrendBuffer.moc"
