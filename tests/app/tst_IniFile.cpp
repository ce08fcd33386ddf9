#include "app/IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_IniFile : public QObject
{
    Q_OBJECT

private slots:
    void matchesNamesIgnoringCaseAndBlanks_data();
    void matchesNamesIgnoringCaseAndBlanks();
    void keepsNamesAsFirstGiven();
    void keepsKeyOrderAndSectionOrder();
    void eraseSectionRemovesOnlyThatSection();
    void readInteger_data();
    void readInteger();
    void readBoolAndDefaults();
    void valuesRoundTripThroughText_data();
    void valuesRoundTripThroughText();
    void skipsMalformedLines();
    void duplicateKeysReadTheFirst();
    void decodesWindows1251();
    void readsWindows1251File();
    void readsUtf8FileWithByteOrderMark();
    void missingFileLoadsEmpty();
    void refusesHugeFile();
    void saveWritesUtf8AndReplacesFile();
    void failedRenameLeavesOldFileWhole();
    void saveIntoMissingFolderReportsError();
};

void tst_IniFile::matchesNamesIgnoringCaseAndBlanks_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::newRow("exact") << QStringLiteral("  ПЧ     #0") << QStringLiteral("Enable");
    QTest::newRow("trimmed") << QStringLiteral("ПЧ     #0") << QStringLiteral(" Enable ");
    QTest::newRow("cyrillic lower case")
        << QStringLiteral("  пч     #0") << QStringLiteral("ENABLE");
    QTest::newRow("tab around") << QStringLiteral("\tПЧ     #0\t") << QStringLiteral("enable");
}

void tst_IniFile::matchesNamesIgnoringCaseAndBlanks()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    IniFile ini;
    ini.parse(QStringLiteral("[  ПЧ     #0]\nEnable=true\n"));
    QVERIFY(ini.sectionExists(section));
    QVERIFY(ini.valueExists(section, key));
    QCOMPARE(ini.readString(section, key), QStringLiteral("true"));
    // Inner blanks are part of the name.
    QVERIFY(!ini.sectionExists(QStringLiteral("ПЧ #0")));

    ini.writeString(section, key, QStringLiteral("false"));
    QCOMPARE(ini.sections().size(), 1);
    QCOMPARE(ini.keys(section), QStringList{QStringLiteral("Enable")});
    QCOMPARE(ini.readString(QStringLiteral("  ПЧ     #0"), QStringLiteral("Enable")),
             QStringLiteral("false"));
}

void tst_IniFile::keepsNamesAsFirstGiven()
{
    IniFile ini;
    ini.writeString(QStringLiteral("  ПЧ     #12"), QStringLiteral("TypeName"),
                    QStringLiteral("KX100"));
    ini.writeString(QStringLiteral("пч #12"), QStringLiteral("x"), QStringLiteral("1"));
    ini.writeString(QStringLiteral("  пч     #12  "), QStringLiteral("TYPENAME"),
                    QStringLiteral("KX300"));
    QCOMPARE(ini.toText(), QStringLiteral("[  ПЧ     #12]\nTypeName=KX300\n\n[пч #12]\nx=1\n"));

    IniFile reread;
    reread.parse(ini.toText());
    QCOMPARE(reread.sections(),
             (QStringList{QStringLiteral("  ПЧ     #12"), QStringLiteral("пч #12")}));
}

void tst_IniFile::keepsKeyOrderAndSectionOrder()
{
    IniFile ini;
    ini.parse(QStringLiteral("[B]\nz=1\na=2\n[A]\nm=3\n"));
    ini.writeString(QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("4"));
    ini.writeString(QStringLiteral("B"), QStringLiteral("Z"), QStringLiteral("5"));
    ini.writeInteger(QStringLiteral("C"), QStringLiteral("k"), -7);
    QCOMPARE(ini.sections(),
             (QStringList{QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("C")}));
    QCOMPARE(ini.keys(QStringLiteral("B")),
             (QStringList{QStringLiteral("z"), QStringLiteral("a"), QStringLiteral("c")}));
    QCOMPARE(ini.toText(), QStringLiteral("[B]\nz=5\na=2\nc=4\n\n[A]\nm=3\n\n[C]\nk=-7\n"));

    ini.deleteKey(QStringLiteral("b"), QStringLiteral(" Z "));
    QCOMPARE(ini.keys(QStringLiteral("B")),
             (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    QCOMPARE(ini.readString(QStringLiteral("B"), QStringLiteral("c")), QStringLiteral("4"));
    QVERIFY(!ini.valueExists(QStringLiteral("B"), QStringLiteral("z")));
}

void tst_IniFile::eraseSectionRemovesOnlyThatSection()
{
    IniFile ini;
    ini.parse(QStringLiteral("[One]\na=1\n[Two]\nb=2\n[Three]\nc=3\n"));
    ini.eraseSection(QStringLiteral(" two "));
    ini.eraseSection(QStringLiteral("Missing"));
    QCOMPARE(ini.sections(), (QStringList{QStringLiteral("One"), QStringLiteral("Three")}));
    QCOMPARE(ini.readString(QStringLiteral("Three"), QStringLiteral("c")), QStringLiteral("3"));
    QCOMPARE(ini.readString(QStringLiteral("Two"), QStringLiteral("b"), QStringLiteral("gone")),
             QStringLiteral("gone"));

    // A section written again after erasing starts empty and goes to the end.
    ini.writeString(QStringLiteral("Two"), QStringLiteral("new"), QStringLiteral("x"));
    QCOMPARE(ini.sections().last(), QStringLiteral("Two"));
    QCOMPARE(ini.keys(QStringLiteral("Two")), QStringList{QStringLiteral("new")});
    QCOMPARE(ini.readString(QStringLiteral("One"), QStringLiteral("a")), QStringLiteral("1"));
}

void tst_IniFile::readInteger_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("decimal") << QStringLiteral("5000") << 5000;
    QTest::newRow("negative") << QStringLiteral("-5") << -5;
    QTest::newRow("plus sign") << QStringLiteral("+12") << 12;
    QTest::newRow("hex lower") << QStringLiteral("0x10") << 16;
    QTest::newRow("hex upper") << QStringLiteral("0XfF") << 255;
    QTest::newRow("hex all bits") << QStringLiteral("0xFFFFFFFF") << -1;
    QTest::newRow("int min") << QStringLiteral("-2147483648") << INT32_MIN;
    QTest::newRow("int max") << QStringLiteral("2147483647") << INT32_MAX;
    QTest::newRow("blanks around") << QStringLiteral("  42  ") << 42;
    // Everything below is not an integer and gives the default.
    QTest::newRow("letters") << QStringLiteral("abc") << 99;
    QTest::newRow("trailing text") << QStringLiteral("12abc") << 99;
    QTest::newRow("empty") << QString() << 99;
    QTest::newRow("sign only") << QStringLiteral("-") << 99;
    QTest::newRow("bare 0x") << QStringLiteral("0x") << 99;
    QTest::newRow("bad hex digit") << QStringLiteral("0x1G") << 99;
    QTest::newRow("hex too long") << QStringLiteral("0x100000000") << 99;
    QTest::newRow("double prefix") << QStringLiteral("0x0x10") << 99;
    QTest::newRow("above int") << QStringLiteral("2147483648") << 99;
    QTest::newRow("below int") << QStringLiteral("-2147483649") << 99;
    QTest::newRow("huge") << QStringLiteral("99999999999999999999999") << 99;
    QTest::newRow("fraction") << QStringLiteral("1.5") << 99;
}

void tst_IniFile::readInteger()
{
    QFETCH(QString, value);
    QFETCH(int, expected);
    IniFile ini;
    ini.writeString(QStringLiteral("S"), QStringLiteral("k"), value);
    QCOMPARE(ini.readInteger(QStringLiteral("S"), QStringLiteral("k"), 99), expected);
}

void tst_IniFile::readBoolAndDefaults()
{
    IniFile ini;
    ini.parse(QStringLiteral("[S]\nyes=1\nno=0\nother=7\ntext=true\n"));
    QCOMPARE(ini.readBool(QStringLiteral("S"), QStringLiteral("yes"), false), true);
    QCOMPARE(ini.readBool(QStringLiteral("S"), QStringLiteral("no"), true), false);
    QCOMPARE(ini.readBool(QStringLiteral("S"), QStringLiteral("other"), false), true);
    QCOMPARE(ini.readBool(QStringLiteral("S"), QStringLiteral("text"), false), false);
    QCOMPARE(ini.readBool(QStringLiteral("S"), QStringLiteral("missing"), true), true);
    QCOMPARE(ini.readInteger(QStringLiteral("Nope"), QStringLiteral("yes"), -3), -3);
    QCOMPARE(ini.readString(QStringLiteral("S"), QStringLiteral("missing"), QStringLiteral("d")),
             QStringLiteral("d"));
    QVERIFY(ini.readString(QStringLiteral("S"), QStringLiteral("missing")).isNull());

    ini.writeBool(QStringLiteral("S"), QStringLiteral("flag"), true);
    QCOMPARE(ini.readString(QStringLiteral("S"), QStringLiteral("flag")), QStringLiteral("1"));
}

void tst_IniFile::valuesRoundTripThroughText_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QStringLiteral("COM1") << QStringLiteral("COM1");
    QTest::newRow("caption") << QStringLiteral("Монитор:  ПЧ     #7")
                             << QStringLiteral("Монитор:  ПЧ     #7");
    QTest::newRow("leading blanks")
        << QStringLiteral("   ПЧ    #5") << QStringLiteral("   ПЧ    #5");
    QTest::newRow("trailing blank") << QStringLiteral("x ") << QStringLiteral("x ");
    QTest::newRow("quoted") << QStringLiteral("\"q\"") << QStringLiteral("\"q\"");
    QTest::newRow("equals inside") << QStringLiteral("a=b") << QStringLiteral("a=b");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("line break") << QStringLiteral("a\nb\r\nc") << QStringLiteral("a b  c");
}

void tst_IniFile::valuesRoundTripThroughText()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    IniFile ini;
    ini.writeString(QStringLiteral("S"), QStringLiteral("k"), value);
    ini.writeString(QStringLiteral("S"), QStringLiteral("after"), QStringLiteral("2"));
    IniFile reread;
    reread.parse(ini.toText());
    QCOMPARE(reread.readString(QStringLiteral("S"), QStringLiteral("k")), expected);
    QCOMPARE(reread.readString(QStringLiteral("S"), QStringLiteral("after")), QStringLiteral("2"));
    QCOMPARE(reread.keys(QStringLiteral("S")).size(), 2);
}

void tst_IniFile::skipsMalformedLines()
{
    IniFile ini;
    ini.parse(QStringLiteral("orphan=1\r\n"
                             "[Good]\r\n"
                             "; comment=no\r\n"
                             "# other=no\r\n"
                             "no equals sign\r\n"
                             "=no key\r\n"
                             "  spaced key  =  spaced value  \r\n"
                             "[broken\r\n"
                             "lost=1\r\n"
                             "[Next]\r\n"
                             "k=v\r\n"
                             "\r\n"));
    QCOMPARE(ini.sections(), (QStringList{QStringLiteral("Good"), QStringLiteral("Next")}));
    QCOMPARE(ini.keys(QStringLiteral("Good")), QStringList{QStringLiteral("spaced key")});
    QCOMPARE(ini.readString(QStringLiteral("Good"), QStringLiteral("spaced key")),
             QStringLiteral("spaced value"));
    QCOMPARE(ini.readString(QStringLiteral("Next"), QStringLiteral("k")), QStringLiteral("v"));
    QVERIFY(!ini.valueExists(QStringLiteral("Good"), QStringLiteral("lost")));

    // Binary rubbish parses without harm.
    QByteArray rubbish;
    for (int i = 0; i < 4096; ++i)
        rubbish.append(char((i * 7919) & 0xFF));
    ini.parse(IniFile::decodeFileText(rubbish));
    ini.parse(QStringLiteral("["));
    ini.parse(QStringLiteral("]"));
    ini.parse(QStringLiteral("[]\n=\n"));
    QCOMPARE(ini.sections(), QStringList{QString()});
}

void tst_IniFile::duplicateKeysReadTheFirst()
{
    IniFile ini;
    ini.parse(QStringLiteral("[S]\nk=first\nK=second\n[s]\nk=third\nz=1\n"));
    QCOMPARE(ini.sections(), QStringList{QStringLiteral("S")});
    QCOMPARE(ini.readString(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("first"));
    QCOMPARE(ini.keys(QStringLiteral("S")),
             (QStringList{QStringLiteral("k"), QStringLiteral("z")}));
}

void tst_IniFile::decodesWindows1251()
{
    const QByteArray bytes("\xCF\xD7 \xC0\xDF\xE0\xFF \xA8\xB8 \x80\x88\xB9\x98 a", 17);
    QCOMPARE(IniFile::decodeWindows1251(bytes), QString::fromUtf8("ПЧ АЯая Ёё Ђ€№\xEF\xBF\xBD a"));
    // 0xC0..0xFF is the alphabet, upper then lower case.
    QByteArray all;
    for (int b = 0xC0; b <= 0xFF; ++b)
        all.append(char(b));
    QCOMPARE(IniFile::decodeWindows1251(all),
             QString::fromUtf8("АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя"));
}

void tst_IniFile::readsWindows1251File()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = dir.filePath(QStringLiteral("old.ini"));
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    // "[  ПЧ     #3]", "Enable=true", "TypeName=KX100" and a caption, in Windows-1251.
    file.write("[  \xCF\xD7     #3]\r\nEnable=true\r\nTypeName=KX100\r\n"
               "[MDI Section]\r\nTMonitorForm.Caption=\xCC\xEE\xED\xE8\xF2\xEE\xF0:  "
               "\xCF\xD7     #3\r\n");
    file.close();

    IniFile ini(name);
    QString error;
    QVERIFY2(ini.load(&error), qPrintable(error));
    QCOMPARE(ini.readString(QStringLiteral("  ПЧ     #3"), QStringLiteral("TypeName")),
             QStringLiteral("KX100"));
    QCOMPARE(ini.readString(QStringLiteral("MDI Section"), QStringLiteral("TMonitorForm.Caption")),
             QStringLiteral("Монитор:  ПЧ     #3"));
}

void tst_IniFile::readsUtf8FileWithByteOrderMark()
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("bom.ini"));
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("\xEF\xBB\xBF[  \xD0\x9F\xD0\xA7     #1]\nEnable=true\n");
    file.close();
    IniFile ini(name);
    QVERIFY(ini.load());
    QCOMPARE(ini.sections(), QStringList{QStringLiteral("  ПЧ     #1")});
}

void tst_IniFile::missingFileLoadsEmpty()
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath(QStringLiteral("none.ini")));
    ini.writeString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"));
    QString error = QStringLiteral("untouched");
    QVERIFY(ini.load(&error));
    QVERIFY(ini.sections().isEmpty());

    IniFile folder(dir.path());
    QVERIFY(!folder.load(&error));
    QVERIFY(error.contains(QStringLiteral("directory")));
}

void tst_IniFile::refusesHugeFile()
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("huge.ini"));
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[S]\nk=v\n");
    QVERIFY(file.resize(IniFile::MaxFileSize + 1)); // sparse: costs no disk space
    file.close();

    IniFile ini(name);
    ini.writeString(QStringLiteral("Old"), QStringLiteral("k"), QStringLiteral("v"));
    QString error;
    QVERIFY(!ini.load(&error));
    QVERIFY(!error.isEmpty());
    QVERIFY(ini.sections().isEmpty());
}

void tst_IniFile::saveWritesUtf8AndReplacesFile()
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("setup.ini"));
    QFile old(name);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("[Old]\nk=1\n");
    old.close();

    IniFile ini(name);
    QVERIFY(ini.load());
    ini.eraseSection(QStringLiteral("Old"));
    ini.writeString(QStringLiteral("  ПЧ     #0"), QStringLiteral("Enable"),
                    QStringLiteral("false"));
    QString error;
    QVERIFY2(ini.save(&error), qPrintable(error));

    QFile saved(name);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("[  \xD0\x9F\xD0\xA7     #0]\nEnable=false\n"));
    // Only the target is left in the folder: no temporary file.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("setup.ini")});

    IniFile reread(name);
    QVERIFY(reread.load());
    QCOMPARE(reread.toText(), ini.toText());
}

void tst_IniFile::failedRenameLeavesOldFileWhole()
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("setup.ini"));
    const QByteArray original("[Keep]\nk=1\n");
    QFile old(name);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(original);
    old.close();

    QString seenTemp;
    QByteArray tempContents;
    IniFile::setBeforeRenameHook([&](const QString &tempName, const QString &target) {
        seenTemp = tempName;
        QFile temp(tempName);
        if (temp.open(QIODevice::ReadOnly))
            tempContents = temp.readAll();
        Q_UNUSED(target);
        return false; // as if the rename had failed
    });
    IniFile ini(name);
    ini.writeString(QStringLiteral("New"), QStringLiteral("k"), QStringLiteral("2"));
    QString error;
    const bool saved = ini.save(&error);
    IniFile::setBeforeRenameHook(nullptr);

    QVERIFY(!saved);
    QVERIFY(error.contains(name));
    // The complete new contents were in a temporary beside the target...
    QVERIFY(QFileInfo(seenTemp).fileName().startsWith(QStringLiteral("setup.ini.tmp-")));
    QCOMPARE(QFileInfo(seenTemp).absolutePath(), QFileInfo(name).absolutePath());
    QCOMPARE(tempContents, QByteArray("[New]\nk=2\n"));
    // ...which is gone, and the old file is untouched.
    QVERIFY(!QFile::exists(seenTemp));
    QFile check(name);
    QVERIFY(check.open(QIODevice::ReadOnly));
    QCOMPARE(check.readAll(), original);
}

void tst_IniFile::saveIntoMissingFolderReportsError()
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath(QStringLiteral("no/such/folder/setup.ini")));
    ini.writeString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"));
    QString error;
    QVERIFY(!ini.save(&error));
    QVERIFY(error.contains(QStringLiteral("does not exist")));

    IniFile unnamed;
    QVERIFY(!unnamed.save(&error));
    QVERIFY(!error.isEmpty());

    IniFile onFolder(dir.path());
    QVERIFY(!onFolder.save(&error));
    QVERIFY(QFileInfo(dir.path()).isDir());
}

QTEST_GUILESS_MAIN(tst_IniFile)
#include "tst_IniFile.moc"
