#include "cli/InverterTransfer.h"

#include <QtTest>

class tst_InverterTransfer : public QObject
{
    Q_OBJECT

private slots:
    void plansFollowTheEditors()
    {
        QString error;
        const QList<ParameterTransfer::Plan> kx100 = InverterTransfer::plans("KX100", &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(kx100.size(), 1);
        QCOMPARE(kx100[0].count(), 108);
        QVERIFY(kx100[0].commitAfterWrite);
        QVERIFY(kx100[0].downloadSkip.isEmpty());

        const QList<ParameterTransfer::Plan> kx200 = InverterTransfer::plans("KX200", &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(kx200.size(), 1);
        QCOMPARE(kx200[0].count(), 49);
        QVERIFY(!kx200[0].commitAfterWrite);
        QCOMPARE(kx200[0].downloadSkip, (QSet<int>{0, 1, 2, 3, 22, 44}));

        // KX300: the nine setting groups with a commit after each write, then the monitor
        // group, which is only read; together every key of the setup file.
        const QList<ParameterTransfer::Plan> kx300 = InverterTransfer::plans("KX300", &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(kx300.size(), 10);
        QString groups;
        int rows = 0;
        for (const ParameterTransfer::Plan &plan : kx300) {
            groups += plan.rows.first().group;
            rows += plan.count();
            QCOMPARE(plan.uploadOnly, plan.rows.first().group == QLatin1String("U"));
            QCOMPARE(plan.commitAfterWrite, !plan.uploadOnly);
        }
        QCOMPARE(groups, QStringLiteral("ABCDEFHLOU"));
        QCOMPARE(rows, 298);
    }

    void unknownModelHasNoPlan()
    {
        QString error;
        QVERIFY(InverterTransfer::plans("KX400", &error).isEmpty());
        QCOMPARE(error, QStringLiteral("unknown model KX400"));
    }

    void addressParameters()
    {
        QCOMPARE(InverterTransfer::addressParamIndex("KX100"), 106);  // n106, register 362
        QCOMPARE(InverterTransfer::addressParamIndex("KX200"), 48);   // CD48, register 0x0802
        QCOMPARE(InverterTransfer::addressParamIndex("KX300"), 1052); // H5-01
        QCOMPARE(InverterTransfer::addressParamIndex("KX400"), -1);
    }
};

QTEST_GUILESS_MAIN(tst_InverterTransfer)
#include "tst_InverterTransfer.moc"
