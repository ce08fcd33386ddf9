#include "setup/IniFile.h"
#include "setup/WindowPlacement.h"

#include <QTest>

class tst_WindowPlacement : public QObject
{
    Q_OBJECT

private slots:
    void saveWritesTheSixKeys();
    void readsAWindowsFile();
    void emptySectionRestoresNothing();
    void malformedValuesKeepDefaults_data();
    void malformedValuesKeepDefaults();
};

void tst_WindowPlacement::saveWritesTheSixKeys()
{
    WindowPlacement placement;
    placement.flags = 2;
    placement.showCmd = WindowPlacement::ShowMaximized;
    placement.maxPosition = QPoint(1920, 0);
    placement.normalLeft = -10;
    placement.normalTop = 20;
    placement.normalRight = 650;
    placement.normalBottom = 500;
    placement.activeControl = "Toolbar";
    IniFile ini;
    placement.save(ini);
    QCOMPARE(ini.keys("TMainForm"),
             (QStringList{"Flags", "ShowCmd", "MinMaxPos", "NormPos", "ActiveControl", "Visible"}));
    QCOMPARE(ini.readString("TMainForm", "Flags"), QStringLiteral("2"));
    QCOMPARE(ini.readString("TMainForm", "ShowCmd"), QStringLiteral("3"));
    QCOMPARE(ini.readString("TMainForm", "MinMaxPos"), QStringLiteral("-1,-1,1920,0"));
    QCOMPARE(ini.readString("TMainForm", "NormPos"), QStringLiteral("-10,20,650,500"));
    QCOMPARE(ini.readString("TMainForm", "ActiveControl"), QStringLiteral("Toolbar"));
    QCOMPARE(ini.readString("TMainForm", "Visible"), QStringLiteral("1"));
}

void tst_WindowPlacement::readsAWindowsFile()
{
    IniFile ini;
    ini.parse("[TMainForm]\nFlags=2\nShowCmd=2\nMinMaxPos=-1,-1,-4,-4\n"
              "NormPos=88, 116, 888, 716\nActiveControl=MdiArea\nVisible=0\n");
    WindowPlacement read;
    QVERIFY(read.load(ini));
    QCOMPARE(read.flags, 2);
    QCOMPARE(read.showCmd, int(WindowPlacement::ShowMinimized));
    QCOMPARE(read.maxPosition, QPoint(-4, -4));
    QVERIFY(read.hasNormalPosition);
    QCOMPARE(read.normalLeft, 88);
    QCOMPARE(read.normalTop, 116);
    QCOMPARE(read.normalRight, 888);
    QCOMPARE(read.normalBottom, 716);
    QCOMPARE(read.activeControl, QStringLiteral("MdiArea"));
    QCOMPARE(read.visible, false);
}

void tst_WindowPlacement::emptySectionRestoresNothing()
{
    IniFile ini;
    ini.parse("[TMainForm]\nVisible=1\n");
    WindowPlacement read;
    QVERIFY(!read.load(ini));
}

void tst_WindowPlacement::malformedValuesKeepDefaults_data()
{
    QTest::addColumn<QString>("showCmd");
    QTest::addColumn<QString>("position");
    QTest::newRow("three numbers") << "3"
                                   << "1,2,3";
    QTest::newRow("five numbers") << "3"
                                  << "1,2,3,4,5";
    QTest::newRow("letters") << "3"
                             << "a,b,c,d";
    QTest::newRow("empty") << "3"
                           << "";
    QTest::newRow("too large") << "3"
                               << "1,2,3,99999999999";
    // Windows show commands other than minimised and maximised show the window normally.
    QTest::newRow("show no activate") << "7"
                                      << "";
    QTest::newRow("hide") << "0"
                          << "";
    QTest::newRow("negative") << "-3"
                              << "";
}

void tst_WindowPlacement::malformedValuesKeepDefaults()
{
    QFETCH(QString, showCmd);
    QFETCH(QString, position);
    IniFile ini;
    ini.writeString("TMainForm", "ShowCmd", showCmd);
    ini.writeString("TMainForm", "NormPos", position);
    ini.writeString("TMainForm", "MinMaxPos", position);
    WindowPlacement read;
    QVERIFY(read.load(ini));
    QCOMPARE(read.showCmd, showCmd == "3" ? int(WindowPlacement::ShowMaximized)
                                          : int(WindowPlacement::ShowNormal));
    QVERIFY(!read.hasNormalPosition);
    QCOMPARE(read.normalRight, 0);
    QCOMPARE(read.maxPosition, QPoint(-1, -1));
}

QTEST_GUILESS_MAIN(tst_WindowPlacement)
#include "tst_WindowPlacement.moc"
