#include "bus/LocalTime.h"

#include <QDateTime>
#include <QTest>

#include <cstdlib>
#include <ctime>

class tst_LocalTime : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }
    // Stamps one after the other across the switch to summer time and back, as a log meets
    // them: each shows as the local time of its own moment.
    void followsTheOffset_data()
    {
        QTest::addColumn<qint64>("utcMs");
        // 2026-03-29 01:00 UTC: 02:00 CET becomes 03:00 CEST; 2026-10-25 01:00 UTC back.
        const qint64 spring =
            QDateTime(QDate(2026, 3, 29), QTime(1, 0), Qt::UTC).toMSecsSinceEpoch();
        const qint64 autumn =
            QDateTime(QDate(2026, 10, 25), QTime(1, 0), Qt::UTC).toMSecsSinceEpoch();
        for (const qint64 at : {spring - 60'001, spring - 1, spring, spring + 59'999, autumn - 1,
                                autumn, autumn + 61'000, qint64(-1)})
            QTest::addRow("%lld", at) << at;
    }
    void followsTheOffset()
    {
        QFETCH(qint64, utcMs);
        const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");
        QCOMPARE(LocalTime::text(utcMs, format),
                 QDateTime::fromMSecsSinceEpoch(utcMs).toString(format));
    }
};

QTEST_GUILESS_MAIN(tst_LocalTime)
#include "tst_LocalTime.moc"
