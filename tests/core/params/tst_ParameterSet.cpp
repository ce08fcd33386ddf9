#include "bus/SlashFrame.h"
#include "params/ParameterSet.h"

#include <QSet>
#include <QTest>

class tst_ParameterSet : public QObject
{
    Q_OBJECT

private slots:
    void rowCounts_data();
    void rowCounts();
    void rows_data();
    void rows();
    void registersFollowTheModelRule();
    void lookups();
    void parseRejectsMalformedTables_data();
    void parseRejectsMalformedTables();
    void parseSkipsCommentsAndBlankLines();
};

void tst_ParameterSet::rowCounts_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::newRow("KX100") << "KX100" << 108 << "n001"
                           << "n108";
    QTest::newRow("KX200") << "KX200" << 49 << "CD01"
                           << "CD49";
    QTest::newRow("KX300") << "KX300" << 298 << "A1-00"
                           << "U3-08";
}

void tst_ParameterSet::rowCounts()
{
    QFETCH(QString, model);
    QFETCH(int, count);
    QFETCH(QString, first);
    QFETCH(QString, last);
    const ParameterSet &set = ParameterSet::forModel(model);
    QVERIFY2(set.errorString().isEmpty(), qPrintable(set.errorString()));
    QCOMPARE(set.count(), count);
    QCOMPARE(set.rows().first().key, first);
    QCOMPARE(set.rows().last().key, last);
    QSet<QString> keys;
    QSet<int> registers, indexes;
    for (const ParameterDef &def : set.rows()) {
        keys.insert(def.key);
        registers.insert(def.registerNumber);
        indexes.insert(def.index);
    }
    QCOMPARE(keys.size(), count);
    QCOMPARE(registers.size(), count);
    QCOMPARE(indexes.size(), count);
    QVERIFY(ParameterSet::forModel("KX400").isEmpty());
    QVERIFY(ParameterSet::forModel("").isEmpty());
}

void tst_ParameterSet::rows_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("defaultValue");
    QTest::newRow("n003") << "KX100"
                          << "n003" << 259 << 3 << 2000;
    QTest::newRow("n044") << "KX100"
                          << "n044" << 300 << 44 << 0;
    QTest::newRow("n068") << "KX100"
                          << "n068" << 324 << 68 << 100;
    QTest::newRow("n106 bus address") << "KX100"
                                      << "n106" << 362 << 106 << 0;
    QTest::newRow("n108") << "KX100"
                          << "n108" << 364 << 108 << 1;
    QTest::newRow("CD09") << "KX200"
                          << "CD09" << 9 << 9 << 5000;
    QTest::newRow("CD16") << "KX200"
                          << "CD16" << 0x16 << 16 << 500;
    QTest::newRow("CD46") << "KX200"
                          << "CD46" << 0x800 << 46 << 3;
    QTest::newRow("CD48 bus address") << "KX200"
                                      << "CD48" << 0x802 << 48 << 0;
    QTest::newRow("A1-00") << "KX300"
                           << "A1-00" << 0x100 << 0x100 << 1;
    QTest::newRow("B5-04") << "KX300"
                           << "B5-04" << 0x197 << 0x197 << 1000;
    QTest::newRow("C8-08") << "KX300"
                           << "C8-08" << 0x22A << 0x22A << 100;
    QTest::newRow("E2-05") << "KX300"
                           << "E2-05" << 0x312 << 0x312 << 9842;
    QTest::newRow("F1-01") << "KX300"
                           << "F1-01" << 0x380 << 0x380 << 600;
    QTest::newRow("H5-01 station address") << "KX300"
                                           << "H5-01" << 1052 << 1052 << 31;
    QTest::newRow("L8-07") << "KX300"
                           << "L8-07" << 0x4AA << 0x4AA << 0;
    QTest::newRow("O2-09") << "KX300"
                           << "O2-09" << 0x50D << 0x50D << 2;
    QTest::newRow("U1-01") << "KX300"
                           << "U1-01" << 0x20 << 0x20 << 0;
}

void tst_ParameterSet::rows()
{
    QFETCH(QString, model);
    QFETCH(QString, key);
    QFETCH(int, reg);
    QFETCH(int, index);
    QFETCH(int, defaultValue);
    const ParameterDef *def = ParameterSet::forModel(model).findKey(key);
    QVERIFY(def);
    QCOMPARE(def->registerNumber, reg);
    QCOMPARE(def->index, index);
    QCOMPARE(def->defaultValue, defaultValue);
}

void tst_ParameterSet::registersFollowTheModelRule()
{
    for (const ParameterDef &def : ParameterSet::forModel("KX100").rows()) {
        QCOMPARE(def.key, QString("n%1").arg(def.index, 3, 10, QLatin1Char('0')));
        QCOMPARE(def.registerNumber, 256 + def.index);
    }
    for (const ParameterDef &def : ParameterSet::forModel("KX200").rows()) {
        QCOMPARE(def.key, QString("CD%1").arg(def.index, 2, 10, QLatin1Char('0')));
        QCOMPARE(def.registerNumber, SlashFrame::ParamRegister(def.index));
    }
    const ParameterSet &kx300 = ParameterSet::forModel("KX300");
    QVERIFY(kx300.maxIndex() < 1296);
    for (const ParameterDef &def : kx300.rows())
        QCOMPARE(def.index, def.registerNumber);
}

void tst_ParameterSet::lookups()
{
    const ParameterSet &set = ParameterSet::forModel("KX300");
    QCOMPARE(set.findKey(" h5-01 "), set.findRegister(1052));
    QCOMPARE(set.findIndex(1052)->key, QString("H5-01"));
    QVERIFY(!set.findKey("H5-05"));
    QVERIFY(!set.findRegister(0));
    QVERIFY(!set.findIndex(1295));
}

void tst_ParameterSet::parseRejectsMalformedTables_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");
    QTest::newRow("three fields") << "n001\t257\t1\n"
                                  << "line 1: expected 4 fields, found 3";
    QTest::newRow("bad register") << "n001\t257\t1\t1\nn002\tx\t2\t6\n"
                                  << "line 2: bad register \"x\"";
    QTest::newRow("register too large") << "n001\t70000\t1\t1\n"
                                        << "line 1: bad register \"70000\"";
    QTest::newRow("negative index") << "n001\t257\t-1\t1\n"
                                    << "line 1: bad index \"-1\"";
    QTest::newRow("bad default") << "n001\t257\t1\t1.5\n"
                                 << "line 1: bad default \"1.5\"";
    QTest::newRow("repeated key") << "n001\t257\t1\t1\nN001\t258\t2\t6\n"
                                  << "line 2: key N001 repeated";
}

void tst_ParameterSet::parseRejectsMalformedTables()
{
    QFETCH(QString, text);
    QFETCH(QString, reason);
    ParameterSet set;
    QString error;
    QVERIFY(!set.parse(text, &error));
    QCOMPARE(error, reason);
    QVERIFY(set.isEmpty());
}

void tst_ParameterSet::parseSkipsCommentsAndBlankLines()
{
    ParameterSet set;
    QVERIFY(set.parse("# key\tregister\tindex\tdefault\n\nn001\t257\t1\t-7\r\n", nullptr));
    QCOMPARE(set.count(), 1);
    QCOMPARE(set.rows().first().defaultValue, -7);
}

QTEST_GUILESS_MAIN(tst_ParameterSet)
#include "tst_ParameterSet.moc"
