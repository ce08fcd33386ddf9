// What a DDATA carries: readouts beyond the deadband of their range, everything else on any
// change, measured against what was last published.
#include "cli/DriveTelemetry.h"

#include <QtTest>

using M = DriveTelemetry::Metric;
Q_DECLARE_METATYPE(QList<M>)

class tst_DriveTelemetry : public QObject
{
    Q_OBJECT

private slots:
    void changes_data()
    {
        QTest::addColumn<double>("deadband");
        QTest::addColumn<float>("frequency"); // published 50 Hz (range 60)
        QTest::addColumn<float>("current");   // published 5 A (range 10)
        QTest::addColumn<bool>("running");    // published false
        QTest::addColumn<QList<M>>("expected");
        QTest::newRow("nothing") << 1.0 << 50.0f << 5.0f << false << QList<M>{};
        QTest::newRow("any change without deadband")
            << 0.0 << 50.01f << 5.0f << false << QList<M>{M::Frequency};
        QTest::newRow("inside 1 %") << 1.0 << 50.5f << 4.95f << false << QList<M>{};
        QTest::newRow("beyond 1 %")
            << 1.0 << 50.7f << 4.8f << false << QList<M>{M::Frequency, M::Current};
        QTest::newRow("flag ignores deadband")
            << 50.0 << 55.0f << 5.0f << true << QList<M>{M::Running};
    }
    void changes()
    {
        QFETCH(double, deadband);
        QFETCH(float, frequency);
        QFETCH(float, current);
        QFETCH(bool, running);
        DriveTelemetry published;
        published.frequency = 50;
        published.current = 5;
        DriveTelemetry now = published;
        now.frequency = frequency;
        now.current = current;
        now.running = running;
        const QList<M> changed = now.changesFrom(published, deadband);
        QTEST(changed, "expected");
        // Once adopted, the same values are no change; a drift is measured from there.
        published.adopt(now, changed);
        QVERIFY(now.changesFrom(published, deadband).isEmpty());
    }

    // Every counter change is published: the line statistics are never held back.
    void countersAlwaysChange()
    {
        DriveTelemetry published;
        DriveTelemetry now = published;
        now.good = 1;
        now.errors = 2;
        QCOMPARE(now.changesFrom(published, 100.0), (QList<M>{M::Good, M::Errors}));
    }
};

QTEST_GUILESS_MAIN(tst_DriveTelemetry)
#include "tst_DriveTelemetry.moc"
