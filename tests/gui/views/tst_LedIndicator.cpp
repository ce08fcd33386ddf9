#include "views/LedIndicator.h"

#include <QSignalSpy>
#include <QTest>

class tst_LedIndicator : public QObject
{
    Q_OBJECT

private slots:
    void colourShown_data();
    void colourShown();
    void blinkAlternatesOnlyWhileSet();
    void blinksOnItsTimer();
    void clickReported();
};

void tst_LedIndicator::colourShown_data()
{
    QTest::addColumn<bool>("value");
    QTest::addColumn<bool>("blink");
    QTest::addColumn<QColor>("first");
    QTest::addColumn<QColor>("afterStep");
    QTest::newRow("clear") << false << false << QColor(Qt::blue) << QColor(Qt::blue);
    QTest::newRow("clear, blink on") << false << true << QColor(Qt::blue) << QColor(Qt::blue);
    QTest::newRow("set") << true << false << QColor(Qt::red) << QColor(Qt::red);
    QTest::newRow("set, blinking") << true << true << QColor(Qt::red) << QColor(Qt::blue);
}

void tst_LedIndicator::colourShown()
{
    QFETCH(bool, value);
    QFETCH(bool, blink);
    QFETCH(QColor, first);
    QFETCH(QColor, afterStep);
    LedIndicator led;
    led.setTrueColor(Qt::red);
    led.setFalseColor(Qt::blue);
    led.setValue(value);
    led.setBlink(blink);
    QCOMPARE(led.currentColor(), first);
    QCOMPARE(led.isBlinking(), value && blink);
    led.blinkStep();
    QCOMPARE(led.currentColor(), afterStep);
}

void tst_LedIndicator::blinkAlternatesOnlyWhileSet()
{
    LedIndicator led;
    led.setTrueColor(Qt::red);
    led.setFalseColor(Qt::blue);
    led.setValue(true);
    led.setBlink(true);
    led.blinkStep();
    QCOMPARE(led.currentColor(), QColor(Qt::blue));
    led.blinkStep();
    QCOMPARE(led.currentColor(), QColor(Qt::red));
    led.blinkStep();
    // Clearing the value stops the blinking and shows the false colour for good.
    led.setValue(false);
    QVERIFY(!led.isBlinking());
    QCOMPARE(led.currentColor(), QColor(Qt::blue));
    // Set again it starts with the true colour.
    led.setValue(true);
    QCOMPARE(led.currentColor(), QColor(Qt::red));
    led.setBlink(false);
    QVERIFY(!led.isBlinking());
    led.blinkStep();
    QCOMPARE(led.currentColor(), QColor(Qt::red));
}

void tst_LedIndicator::blinksOnItsTimer()
{
    LedIndicator led;
    led.setTrueColor(Qt::red);
    led.setFalseColor(Qt::blue);
    led.setInterval(10);
    QCOMPARE(led.interval(), 10);
    led.setValue(true);
    led.setBlink(true);
    QVERIFY(QTest::qWaitFor([&] { return led.currentColor() == QColor(Qt::blue); }, 2000));
    QVERIFY(QTest::qWaitFor([&] { return led.currentColor() == QColor(Qt::red); }, 2000));
}

void tst_LedIndicator::clickReported()
{
    LedIndicator led;
    led.resize(22, 22);
    led.show();
    QSignalSpy clicks(&led, &LedIndicator::clicked);
    QTest::mouseClick(&led, Qt::LeftButton);
    QCOMPARE(clicks.size(), 1);
    QTest::mouseClick(&led, Qt::RightButton);
    QCOMPARE(clicks.size(), 1);
}

QTEST_MAIN(tst_LedIndicator)
#include "tst_LedIndicator.moc"
