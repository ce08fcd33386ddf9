#include "bus/LocalTime.h"

#include <QDateTime>
#include <QTest>

#include <ctime>

class tst_LocalTime : public QObject
{
    Q_OBJECT

private slots:
    // Stamps one after the other across the switch to summer time and back (2026-03-29 and
    // 2026-10-25, 01:00 UTC, in Berlin), as a log meets them: each shows its own local time.
    void followsTheOffset_data()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        QTest::addColumn<qint64>("utcMs");
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
