#include "monitor/MonitorCaption.h"

#include <QTest>

class tst_MonitorCaption : public QObject
{
    Q_OBJECT

private slots:
    void slotOf_data();
    void slotOf();
    void forSlotRoundTrips();
};

void tst_MonitorCaption::slotOf_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("slot");
    const QString prefix = MonitorCaption::prefix();
    QTest::newRow("7") << prefix + "7" << 7;
    QTest::newRow("0") << prefix + "0" << 0;
    QTest::newRow("31") << prefix + "31" << 31;
    QTest::newRow("leading zeros") << prefix + "007" << 7;
    QTest::newRow("digits then text") << prefix + "3x" << 3;
    QTest::newRow("not a number") << prefix + "abc" << 0;
    QTest::newRow("nothing after the prefix") << prefix << 0;
    QTest::newRow("shorter than the prefix") << QStringLiteral("Монитор:") << 0;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("32 is no slot") << prefix + "32" << -1;
    QTest::newRow("45 is no slot") << prefix + "45" << -1;
    QTest::newRow("huge number") << prefix + "99999999999999999999999" << -1;
    QTest::newRow("sign is not a digit") << prefix + "-1" << 0;
}

void tst_MonitorCaption::slotOf()
{
    QFETCH(QString, caption);
    QFETCH(int, slot);
    QCOMPARE(MonitorCaption::slotOf(caption), slot);
}

void tst_MonitorCaption::forSlotRoundTrips()
{
    QCOMPARE(MonitorCaption::prefix().size(), MonitorCaption::PrefixLength);
    QCOMPARE(MonitorCaption::forSlot(12), QStringLiteral("Монитор:  ПЧ     #12"));
    for (int slot = 0; slot < 32; ++slot)
        QCOMPARE(MonitorCaption::slotOf(MonitorCaption::forSlot(slot)), slot);
}

QTEST_APPLESS_MAIN(tst_MonitorCaption)
#include "tst_MonitorCaption.moc"
