#include "views/MonitorLimits.h"

#include <QTest>

#include <limits>

class tst_MonitorLimits : public QObject
{
    Q_OBJECT

private slots:
    void parseWholeNumber_data();
    void parseWholeNumber();
    void meterPosition_data();
    void meterPosition();
    void extremeLimitsStayInRange();
};

void tst_MonitorLimits::parseWholeNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("12") << "12" << true << 12;
    QTest::newRow("spaces") << " 12 " << true << 12;
    QTest::newRow("negative") << "-5" << true << -5;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("fraction") << "1.5" << false << 0;
    QTest::newRow("beyond 32 bits") << "99999999999" << false << 0;
}

void tst_MonitorLimits::parseWholeNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    const std::optional<int> parsed = MonitorLimits::parseWholeNumber(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, value);
}

void tst_MonitorLimits::meterPosition_data()
{
    QTest::addColumn<int>("quantity");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("position");
    QTest::newRow("30 Hz of 0..60") << 0 << 30.0 << 50;
    QTest::newRow("truncated, not rounded") << 0 << 59.9 << 99;
    QTest::newRow("above the range") << 0 << 75.0 << 100;
    QTest::newRow("below the range") << 1 << -20.0 << 0;
    QTest::newRow("380 V of 0..400") << 1 << 380.0 << 95;
    QTest::newRow("5.5 A of 0..10") << 2 << 5.5 << 55;
    QTest::newRow("NaN") << 2 << std::numeric_limits<double>::quiet_NaN() << 0;
}

void tst_MonitorLimits::meterPosition()
{
    QFETCH(int, quantity);
    QFETCH(double, value);
    QFETCH(int, position);
    MonitorLimits limits;
    QCOMPARE(limits.meterPosition(MonitorLimits::Quantity(quantity), value), position);
}

void tst_MonitorLimits::extremeLimitsStayInRange()
{
    MonitorLimits limits;
    QVERIFY(limits.apply(0, std::numeric_limits<int>::max()));
    QVERIFY(limits.apply(1, std::numeric_limits<int>::min()));
    QCOMPARE(limits.sliderPosition(100), 50);
    QCOMPARE(limits.sliderPosition(std::numeric_limits<int64_t>::max() / 2), 100);
    QCOMPARE(limits.boundReference(int64_t(1) << 40), std::numeric_limits<int>::max());
    QCOMPARE(limits.referenceForSlider(100), std::numeric_limits<int>::max());
    QCOMPARE(limits.referenceForSlider(0), std::numeric_limits<int>::min());
    QCOMPARE(MonitorLimits::hundredths(std::numeric_limits<int>::max()),
             std::numeric_limits<int32_t>::max());
    QCOMPARE(MonitorLimits::hundredths(std::numeric_limits<int>::min()),
             std::numeric_limits<int32_t>::min());
}

QTEST_APPLESS_MAIN(tst_MonitorLimits)
#include "tst_MonitorLimits.moc"
