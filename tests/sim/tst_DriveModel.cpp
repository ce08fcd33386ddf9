#include "sim/DriveModel.h"

#include <QtTest>

#include <limits>

class tst_DriveModel : public QObject
{
    Q_OBJECT

private slots:
    void rampsUpAtTheRampRate()
    {
        DriveModel drive;
        drive.setReference(50.0);
        drive.advance(1.0);
        QCOMPARE(drive.outputFrequency(), 0.0); // not running yet
        drive.setRunning(true);
        drive.advance(1.0);
        QCOMPARE(drive.outputFrequency(), 10.0);
        drive.advance(2.5);
        QCOMPARE(drive.outputFrequency(), 35.0);
        drive.advance(10.0);
        QCOMPARE(drive.outputFrequency(), 50.0); // holds at the reference
    }

    void stopRampsDownToStandstill()
    {
        DriveModel drive;
        drive.setReference(30.0);
        drive.setRunning(true);
        drive.advance(5.0);
        drive.setRunning(false);
        drive.advance(1.0);
        QCOMPARE(drive.outputFrequency(), 20.0);
        QVERIFY(drive.energised());
        QVERIFY(drive.outputVoltage() > 0.0);
        drive.advance(5.0);
        QCOMPARE(drive.outputFrequency(), 0.0);
        QVERIFY(!drive.energised());
        QCOMPARE(drive.outputVoltage(), 0.0);
        QCOMPARE(drive.outputCurrent(), 0.0);
    }

    void reversalRampsThroughZero()
    {
        DriveModel drive;
        drive.setReference(20.0);
        drive.setRunning(true);
        drive.advance(2.0);
        QCOMPARE(drive.signedFrequency(), 20.0);
        drive.setReverse(true);
        drive.advance(1.0);
        QCOMPARE(drive.signedFrequency(), 10.0);
        drive.advance(2.0);
        QCOMPARE(drive.signedFrequency(), -10.0);
        QCOMPARE(drive.outputFrequency(), 10.0);
        drive.advance(5.0);
        QCOMPARE(drive.signedFrequency(), -20.0);
    }

    void referenceChangeWhileRunningRampsToTheNewValue()
    {
        DriveModel drive;
        drive.setReference(40.0);
        drive.setRunning(true);
        drive.advance(10.0);
        drive.setReference(25.0);
        drive.advance(1.0);
        QCOMPARE(drive.outputFrequency(), 30.0);
    }

    void voltageFollowsFrequency()
    {
        DriveModel::Ratings ratings;
        ratings.ratedVoltage = 400.0;
        ratings.baseFrequency = 50.0;
        DriveModel drive(ratings);
        drive.setRunning(true);
        drive.advance(0.1);
        const double boost = drive.outputVoltage(); // running at 0 Hz: boost only
        QVERIFY(boost > 0.0 && boost < 20.0);
        drive.setReference(25.0);
        drive.advance(10.0);
        QCOMPARE(drive.outputVoltage(), boost + (400.0 - boost) * 0.5);
        drive.setReference(100.0);
        drive.advance(10.0);
        QCOMPARE(drive.outputVoltage(), 400.0); // above base frequency: rated voltage
    }

    void currentFollowsLoadAndAcceleration()
    {
        DriveModel light;
        DriveModel heavy;
        light.setLoad(0.1);
        heavy.setLoad(1.0);
        for (DriveModel *drive : {&light, &heavy}) {
            drive->setReference(50.0);
            drive->setRunning(true);
            drive->advance(10.0);
        }
        QVERIFY(heavy.outputCurrent() > 2.0 * light.outputCurrent());
        QVERIFY(heavy.outputCurrent() < 1.1 * heavy.ratings().ratedCurrent);

        const double steady = heavy.outputCurrent();
        heavy.setReference(60.0);
        heavy.advance(0.1);
        QVERIFY(heavy.outputCurrent() > steady); // accelerating draws more
    }

    void currentShowsLifeAtSteadyState()
    {
        DriveModel drive;
        drive.setReference(50.0);
        drive.setRunning(true);
        drive.advance(10.0);
        const double first = drive.outputCurrent();
        drive.advance(0.4);
        QVERIFY(drive.outputCurrent() != first);
        QVERIFY(std::abs(drive.outputCurrent() - first) < 0.05 * first);
    }

    void badInputIsHarmless()
    {
        DriveModel drive;
        drive.setReference(std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(drive.reference(), 0.0);
        drive.setReference(-5.0);
        QCOMPARE(drive.reference(), 0.0);
        drive.setReference(10000.0);
        QCOMPARE(drive.reference(), drive.ratings().maxFrequency);
        drive.setRunning(true);
        drive.advance(std::numeric_limits<double>::infinity());
        drive.advance(-3.0);
        drive.advance(std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(drive.outputFrequency(), 0.0);
        drive.setLoad(std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(drive.load(), 0.0);
        drive.setLoad(9.0);
        QCOMPARE(drive.load(), 1.5);
    }
};

QTEST_APPLESS_MAIN(tst_DriveModel)
#include "tst_DriveModel.moc"
