#include "setup/IniFile.h"
#include "setup/RecentFileList.h"

#include <QTest>

class tst_RecentFileList : public QObject
{
    Q_OBJECT

private slots:
    void newestFirstEachNameOnce();
    void saveReplacesTheSection();
    void loadSkipsEmptyRepeatedAndSurplusNames();
};

void tst_RecentFileList::newestFirstEachNameOnce()
{
    RecentFileList list;
    for (int i = 0; i < 11; ++i)
        list.add(QStringLiteral("/f%1.ini").arg(i));
    list.add(QString());
    list.add("/f5.ini");
    QCOMPARE(list.items().size(), RecentFileList::MaxCount);
    QCOMPARE(list.items().mid(0, 3), (QStringList{"/f5.ini", "/f10.ini", "/f9.ini"}));
    QCOMPARE(list.items().last(), QStringLiteral("/f1.ini")); // "/f0.ini" was pushed out
}

void tst_RecentFileList::saveReplacesTheSection()
{
    IniFile ini;
    ini.parse("[TMainForm.MRUManager1]\nItem_0=/old0.ini\nItem_9=/old9.ini\n[Other]\nk=v\n");
    RecentFileList list;
    list.add("/a.ini");
    list.add("/b.ini");
    list.save(ini, "TMainForm.MRUManager1");
    QCOMPARE(ini.keys("TMainForm.MRUManager1"), (QStringList{"Item_0", "Item_1"}));
    QCOMPARE(ini.readString("TMainForm.MRUManager1", "Item_0"), QStringLiteral("/b.ini"));
    QCOMPARE(ini.readString("TMainForm.MRUManager1", "Item_1"), QStringLiteral("/a.ini"));
    QCOMPARE(ini.readString("Other", "k"), QStringLiteral("v"));
}

void tst_RecentFileList::loadSkipsEmptyRepeatedAndSurplusNames()
{
    IniFile ini;
    ini.parse("[S]\nItem_0=/a.ini\nItem_1=\nItem_2=/b.ini\nItem_3=/a.ini\nItem_5=/c.ini\n"
              "Item_10=/d.ini\n");
    RecentFileList list;
    list.add("/stale.ini");
    list.load(ini, "S");
    QCOMPARE(list.items(), (QStringList{"/a.ini", "/b.ini", "/c.ini"}));
}

QTEST_GUILESS_MAIN(tst_RecentFileList)
#include "tst_RecentFileList.moc"
