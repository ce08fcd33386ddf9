#include "monitor/MonitorLimits.h"

#include <QTest>

#include <limits>

class tst_MonitorLimits : public QObject
{
    Q_OBJECT

private slots:
    void initialLimits();
    void apply_data();
    void apply();
    void parseWholeNumber_data();
    void parseWholeNumber();
    void meterPosition_data();
    void meterPosition();
    void sliderAndReference_data();
    void sliderAndReference();
    void extremeLimitsStayInRange();
};

void tst_MonitorLimits::initialLimits()
{
    MonitorLimits limits;
    const int expected[] = {60, 0, 60, 0, 400, 0, 10, 0};
    for (int tag = 0; tag < MonitorLimits::EditCount; ++tag)
        QCOMPARE(limits.limitOfTag(tag), expected[tag]);
}

void tst_MonitorLimits::apply_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<int>("quantity");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("minimum");
    QTest::newRow("max voltage 500") << 4 << 500 << true << 1 << 500 << 0;
    QTest::newRow("max voltage 0 refused") << 4 << 0 << false << 1 << 400 << 0;
    QTest::newRow("min frequency 5") << 1 << 5 << true << 0 << 60 << 5;
    QTest::newRow("min frequency 70 refused") << 1 << 70 << false << 0 << 60 << 0;
    QTest::newRow("min frequency equal to max refused") << 3 << 60 << false << 0 << 60 << 0;
    QTest::newRow("tag 2 sets max frequency") << 2 << 50 << true << 0 << 50 << 0;
    QTest::newRow("tag 3 sets min frequency") << 3 << -10 << true << 0 << 60 << -10;
    QTest::newRow("max current 1") << 6 << 1 << true << 2 << 1 << 0;
    QTest::newRow("min current -1") << 7 << -1 << true << 2 << 10 << -1;
    QTest::newRow("tag 8 does not exist") << 8 << 5 << false << 0 << 60 << 0;
    QTest::newRow("negative tag") << -1 << 5 << false << 0 << 60 << 0;
}

void tst_MonitorLimits::apply()
{
    QFETCH(int, tag);
    QFETCH(int, value);
    QFETCH(bool, taken);
    QFETCH(int, quantity);
    QFETCH(int, maximum);
    QFETCH(int, minimum);
    MonitorLimits limits;
    QCOMPARE(limits.apply(tag, value), taken);
    const auto q = MonitorLimits::Quantity(quantity);
    QCOMPARE(limits.maximum(q), maximum);
    QCOMPARE(limits.minimum(q), minimum);
}

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

void tst_MonitorLimits::sliderAndReference_data()
{
    QTest::addColumn<int>("slider");
    QTest::addColumn<int>("reference");
    QTest::addColumn<int>("sliderBack");
    // Limits 0..60 Hz: the reference is rounded, the slider truncated.
    QTest::newRow("50") << 50 << 30 << 50;
    QTest::newRow("17") << 17 << 10 << 16;
    QTest::newRow("16") << 16 << 10 << 16;
    QTest::newRow("1") << 1 << 1 << 1;
    QTest::newRow("100") << 100 << 60 << 100;
    QTest::newRow("0") << 0 << 0 << 0;
}

void tst_MonitorLimits::sliderAndReference()
{
    QFETCH(int, slider);
    QFETCH(int, reference);
    QFETCH(int, sliderBack);
    MonitorLimits limits;
    QCOMPARE(limits.referenceForSlider(slider), reference);
    QCOMPARE(limits.sliderPosition(reference), sliderBack);
    QCOMPARE(MonitorLimits::hundredths(reference), reference * 100);
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
