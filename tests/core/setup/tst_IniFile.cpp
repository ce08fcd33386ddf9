#include "setup/IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_IniFile : public QObject
{
    Q_OBJECT

private slots:
    void namesMatchIgnoringCaseAndBlanks_data();
    void namesMatchIgnoringCaseAndBlanks();
    void keepsNamesAsFirstGiven();
    void namesAndOrderKeptAsFirstGiven();
    void eraseSection();
    void readInteger_data();
    void readInteger();
    void readBoolAndDefaults();
    void valuesWithBlanksRoundTrip();
    void valuesRoundTripThroughText_data();
    void valuesRoundTripThroughText();
    void malformedLinesSkipped();
    void duplicateKeysReadTheFirst();
    void decodesWindows1251();
    void readsWindows1251File_data();
    void readsWindows1251File();
    void readsUtf8FileWithByteOrderMark();
    void decidesEncodingPerLine();
    void acceptsEveryLineEnd_data();
    void acceptsEveryLineEnd();
    void lineBreakInNameFoundAsStored();
    void loadErrors();
    void saveReplacesFileAtomically();
    void failedRenameLeavesOldFileWhole();

private:
    static QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes)
    {
        const QString name = dir.filePath(QStringLiteral("setup.ini"));
        QFile file(name);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return name;
    }
    static QByteArray readFile(const QString &name)
    {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

void tst_IniFile::namesMatchIgnoringCaseAndBlanks_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::newRow("exact") << QStringLiteral("  ПЧ     #0") << QStringLiteral("Enable");
    QTest::newRow("trimmed") << QStringLiteral("ПЧ     #0") << QStringLiteral(" Enable ");
    QTest::newRow("cyrillic case") << QStringLiteral("  пч     #0") << QStringLiteral("ENABLE");
    QTest::newRow("tabs") << QStringLiteral("\tПЧ     #0\t") << QStringLiteral("enable");
}

void tst_IniFile::namesMatchIgnoringCaseAndBlanks()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    IniFile ini;
    ini.parse(QStringLiteral("[  ПЧ     #0]\nEnable=true\n"));
    QVERIFY(ini.sectionExists(section));
    QVERIFY(ini.valueExists(section, key));
    QCOMPARE(ini.readString(section, key), QStringLiteral("true"));
    QVERIFY(!ini.sectionExists(QStringLiteral("ПЧ #0"))); // inner blanks count

    ini.writeString(section, key, QStringLiteral("false"));
    QCOMPARE(ini.toText(), QStringLiteral("[  ПЧ     #0]\nEnable=false\n"));
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

void tst_IniFile::namesAndOrderKeptAsFirstGiven()
{
    IniFile ini;
    ini.parse(QStringLiteral("[B]\nz=1\na=2\n[A]\nm=3\n"));
    ini.writeString(QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("4"));
    ini.writeString(QStringLiteral("B"), QStringLiteral("Z"), QStringLiteral("5"));
    ini.writeInteger(QStringLiteral("  ПЧ     #12"), QStringLiteral("k"), -7);
    ini.writeBool(QStringLiteral("  пч     #12 "), QStringLiteral("f"), true);
    QCOMPARE(ini.toText(), QStringLiteral("[B]\nz=5\na=2\nc=4\n\n[A]\nm=3\n\n"
                                          "[  ПЧ     #12]\nk=-7\nf=1\n"));
    ini.deleteKey(QStringLiteral("b"), QStringLiteral(" Z "));
    QCOMPARE(ini.keys(QStringLiteral("B")),
             (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    QCOMPARE(ini.readString(QStringLiteral("B"), QStringLiteral("c")), QStringLiteral("4"));
    QVERIFY(!ini.valueExists(QStringLiteral("B"), QStringLiteral("z")));
}

void tst_IniFile::eraseSection()
{
    IniFile ini;
    ini.parse(QStringLiteral("[One]\na=1\n[Two]\nb=2\n[Three]\nc=3\n"));
    ini.eraseSection(QStringLiteral(" two "));
    ini.eraseSection(QStringLiteral("Missing"));
    QCOMPARE(ini.sections(), (QStringList{QStringLiteral("One"), QStringLiteral("Three")}));
    QCOMPARE(ini.readString(QStringLiteral("Two"), QStringLiteral("b"), QStringLiteral("gone")),
             QStringLiteral("gone"));
    QCOMPARE(ini.readString(QStringLiteral("Three"), QStringLiteral("c")), QStringLiteral("3"));
    // Written again, the section starts empty at the end.
    ini.writeString(QStringLiteral("Two"), QStringLiteral("new"), QStringLiteral("x"));
    QCOMPARE(ini.toText(), QStringLiteral("[One]\na=1\n\n[Three]\nc=3\n\n[Two]\nnew=x\n"));
}

void tst_IniFile::readInteger_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("decimal") << QStringLiteral("5000") << 5000;
    QTest::newRow("negative") << QStringLiteral("-5") << -5;
    QTest::newRow("plus sign") << QStringLiteral("+12") << 12;
    QTest::newRow("hex") << QStringLiteral("0x10") << 16;
    QTest::newRow("hex upper") << QStringLiteral("0XfF") << 255;
    QTest::newRow("hex all bits") << QStringLiteral("0xFFFFFFFF") << -1;
    QTest::newRow("int min") << QStringLiteral("-2147483648") << INT32_MIN;
    QTest::newRow("int max") << QStringLiteral("2147483647") << INT32_MAX;
    QTest::newRow("blanks around") << QStringLiteral("  42  ") << 42;
    // Not an integer: the default.
    QTest::newRow("letters") << QStringLiteral("abc") << 99;
    QTest::newRow("trailing text") << QStringLiteral("12abc") << 99;
    QTest::newRow("empty") << QString() << 99;
    QTest::newRow("sign only") << QStringLiteral("-") << 99;
    QTest::newRow("bare 0x") << QStringLiteral("0x") << 99;
    QTest::newRow("bad hex digit") << QStringLiteral("0x1G") << 99;
    QTest::newRow("double prefix") << QStringLiteral("0x0x10") << 99;
    QTest::newRow("hex too long") << QStringLiteral("0x100000000") << 99;
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
    QCOMPARE(ini.readBool(QStringLiteral("S"), QStringLiteral("k"), true), expected != 0);
    QCOMPARE(ini.readInteger(QStringLiteral("S"), QStringLiteral("missing"), 99), 99);
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

void tst_IniFile::valuesWithBlanksRoundTrip()
{
    IniFile ini;
    ini.writeString(QStringLiteral("S"), QStringLiteral("caption"), QStringLiteral("   ПЧ    #5"));
    ini.writeString(QStringLiteral("S"), QStringLiteral("quoted"), QStringLiteral("\"q\""));
    ini.writeString(QStringLiteral("S"), QStringLiteral("lines"), QStringLiteral("a\nb"));
    ini.writeString(QStringLiteral("S"), QStringLiteral("after"), QStringLiteral("2"));
    IniFile reread;
    reread.parse(ini.toText());
    QCOMPARE(reread.readString(QStringLiteral("S"), QStringLiteral("caption")),
             QStringLiteral("   ПЧ    #5"));
    QCOMPARE(reread.readString(QStringLiteral("S"), QStringLiteral("quoted")),
             QStringLiteral("\"q\""));
    QCOMPARE(reread.readString(QStringLiteral("S"), QStringLiteral("lines")),
             QStringLiteral("a b"));
    QCOMPARE(reread.keys(QStringLiteral("S")).size(), 4);
}

void tst_IniFile::valuesRoundTripThroughText_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QStringLiteral("COM1") << QStringLiteral("COM1");
    QTest::newRow("caption") << QStringLiteral("Монитор:  ПЧ     #7")
                             << QStringLiteral("Монитор:  ПЧ     #7");
    QTest::newRow("trailing blank") << QStringLiteral("x ") << QStringLiteral("x ");
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

void tst_IniFile::malformedLinesSkipped()
{
    IniFile ini;
    ini.parse(QStringLiteral("orphan=1\r\n[Good]\r\n; comment=no\r\n# other=no\r\n"
                             "no equals sign\r\n=no key\r\n"
                             "  spaced key  =  spaced value  \r\nk=first\r\nK=second\r\n"
                             "[broken\r\nlost=1\r\n[Next]\r\nk=v\r\n\r\n"));
    QCOMPARE(ini.toText(), QStringLiteral("[Good]\nspaced key=spaced value\nk=first\n\n"
                                          "[Next]\nk=v\n"));
    // Binary rubbish parses without harm.
    QByteArray rubbish;
    for (int i = 0; i < 4096; ++i)
        rubbish.append(char((i * 7919) & 0xFF));
    ini.parse(IniFile::decodeFileText(rubbish));
    ini.parse(QStringLiteral("[]\n=\n]\n["));
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

void tst_IniFile::readsWindows1251File_data()
{
    QTest::addColumn<QByteArray>("prefix");
    QTest::newRow("plain") << QByteArray();
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF");
}

void tst_IniFile::readsWindows1251File()
{
    QFETCH(QByteArray, prefix);
    QCOMPARE(IniFile::decodeWindows1251(QByteArray("\xC0\xDF\xE0\xFF \xA8\xB8 \x80\xB9\x98", 11)),
             QString::fromUtf8("АЯая Ёё Ђ№\xEF\xBF\xBD"));

    // "[  ПЧ     #3]" and a monitor caption written by an older tool.
    QTemporaryDir dir;
    IniFile ini(writeFile(dir, prefix +
                                   "[  \xCF\xD7     #3]\r\nEnable=true\r\nTypeName=KX100\r\n"
                                   "[MDI Section]\r\nTMonitorForm.Caption=\xCC\xEE\xED\xE8\xF2\xEE"
                                   "\xF0:  \xCF\xD7     #3\r\n"));
    QString error;
    QVERIFY2(ini.load(&error), qPrintable(error));
    QCOMPARE(ini.sections(),
             (QStringList{QStringLiteral("  ПЧ     #3"), QStringLiteral("MDI Section")}));
    QCOMPARE(ini.readString(QStringLiteral("  ПЧ     #3"), QStringLiteral("TypeName")),
             QStringLiteral("KX100"));
    QCOMPARE(ini.readString(QStringLiteral("MDI Section"), QStringLiteral("TMonitorForm.Caption")),
             QStringLiteral("Монитор:  ПЧ     #3"));
}

void tst_IniFile::readsUtf8FileWithByteOrderMark()
{
    QTemporaryDir dir;
    IniFile ini(writeFile(dir, "\xEF\xBB\xBF[  \xD0\x9F\xD0\xA7     #1]\nEnable=true\n"));
    QVERIFY(ini.load());
    QCOMPARE(ini.sections(), QStringList{QStringLiteral("  ПЧ     #1")});
    QCOMPARE(ini.readString(QStringLiteral("  ПЧ     #1"), QStringLiteral("Enable")),
             QStringLiteral("true"));
    // Only the file's start holds a mark: U+FEFF at a line's start is part of its key, and
    // what is saved loads back unchanged.
    IniFile inner(writeFile(dir, "[s]\n\xEF\xBB\xBFk=1\nk=2\n"));
    for (int pass = 0; pass < 2; ++pass) {
        QVERIFY(inner.load());
        QCOMPARE(inner.keys(QStringLiteral("s")).size(), 2);
        QCOMPARE(inner.readString(QStringLiteral("s"), QStringLiteral("k")), QStringLiteral("2"));
        QVERIFY(inner.save());
    }
}

void tst_IniFile::decidesEncodingPerLine()
{
    // A UTF-8 file with one Windows-1251 comment line: the sections stay readable, and the
    // mixture is reported.
    QTemporaryDir dir;
    IniFile ini(writeFile(dir, "; \xEF\xF0\xE0\xE2\xEA\xE0\n[  \xD0\x9F\xD0\xA7     #5]\n"
                               "TypeName=KX100\n"));
    QVERIFY(ini.load());
    QVERIFY(ini.mixedEncoding());
    QCOMPARE(ini.readString(QStringLiteral("  ПЧ     #5"), QStringLiteral("TypeName")),
             QStringLiteral("KX100"));
    // Pure Windows-1251 or pure UTF-8 is no mixture; ASCII lines count as either.
    bool mixed = true;
    QCOMPARE(IniFile::decodeFileText("[\xCF\xD7]\nk=1\n", &mixed), QStringLiteral("[ПЧ]\nk=1\n"));
    QVERIFY(!mixed);
    QCOMPARE(IniFile::decodeFileText("[\xD0\x9F]\r\n\xCF\r", &mixed), QStringLiteral("[П]\r\nП\r"));
    QVERIFY(mixed);
}

void tst_IniFile::acceptsEveryLineEnd_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("LF") << QStringLiteral("\n");
    QTest::newRow("CRLF") << QStringLiteral("\r\n");
    QTest::newRow("CR") << QStringLiteral("\r");
}

void tst_IniFile::acceptsEveryLineEnd()
{
    QFETCH(QString, end);
    IniFile ini;
    ini.parse(QStringLiteral("[RS232 Section]%1COM Port=COM2%1%1Baud Rate=19200%1[B]%1k=v").arg(end));
    QCOMPARE(ini.readString(QStringLiteral("RS232 Section"), QStringLiteral("COM Port")),
             QStringLiteral("COM2"));
    QCOMPARE(ini.readInteger(QStringLiteral("RS232 Section"), QStringLiteral("Baud Rate"), 0), 19200);
    QCOMPARE(ini.readString(QStringLiteral("B"), QStringLiteral("k")), QStringLiteral("v"));
}

void tst_IniFile::lineBreakInNameFoundAsStored()
{
    IniFile ini;
    ini.writeString(QStringLiteral("a\rb"), QStringLiteral("k\nx"), QStringLiteral("1"));
    QCOMPARE(ini.sections(), QStringList{QStringLiteral("a b")});
    QVERIFY(ini.sectionExists(QStringLiteral("a b")));
    QVERIFY(ini.sectionExists(QStringLiteral("a\rb")));
    QCOMPARE(ini.readString(QStringLiteral("a b"), QStringLiteral("k x")), QStringLiteral("1"));
    ini.deleteKey(QStringLiteral("a\rb"), QStringLiteral("k\nx"));
    QVERIFY(ini.keys(QStringLiteral("a b")).isEmpty());
    ini.eraseSection(QStringLiteral("a\rb"));
    QVERIFY(ini.sections().isEmpty());
}

void tst_IniFile::loadErrors()
{
    QTemporaryDir dir;
    QString error;
    IniFile missing(dir.filePath(QStringLiteral("none.ini")));
    missing.writeString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"));
    QVERIFY(missing.load(&error)); // a missing file is an empty profile
    QVERIFY(missing.sections().isEmpty());

    IniFile folder(dir.path());
    QVERIFY(!folder.load(&error));
    QVERIFY(error.contains(QStringLiteral("directory")));

    QFile file(writeFile(dir, "[S]\nk=v\n"));
    QVERIFY(file.resize(IniFile::MaxFileSize + 1)); // sparse: costs no disk space
    IniFile huge(file.fileName());
    huge.writeString(QStringLiteral("Old"), QStringLiteral("k"), QStringLiteral("v"));
    error.clear();
    QVERIFY(!huge.load(&error));
    QVERIFY(!error.isEmpty());
    QVERIFY(huge.sections().isEmpty());
}

void tst_IniFile::saveReplacesFileAtomically()
{
    QTemporaryDir dir;
    IniFile ini(writeFile(dir, "[Old]\nk=1\n"));
    QVERIFY(ini.load());
    ini.eraseSection(QStringLiteral("Old"));
    ini.writeString(QStringLiteral("  ПЧ     #0"), QStringLiteral("Enable"),
                    QStringLiteral("false"));
    QString error;
    QVERIFY2(ini.save(&error), qPrintable(error));
    QCOMPARE(readFile(ini.fileName()), QByteArray("[  \xD0\x9F\xD0\xA7     #0]\nEnable=false\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("setup.ini")});
    IniFile reread(ini.fileName());
    QVERIFY(reread.load());
    QCOMPARE(reread.toText(), ini.toText());

    IniFile nowhere(dir.filePath(QStringLiteral("no/such/folder/setup.ini")));
    nowhere.writeString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"));
    QVERIFY(!nowhere.save(&error));
    QVERIFY(error.contains(QStringLiteral("does not exist")));
    IniFile unnamed;
    error.clear();
    QVERIFY(!unnamed.save(&error));
    QVERIFY(!error.isEmpty());
    IniFile onFolder(dir.path());
    error.clear();
    QVERIFY(!onFolder.save(&error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo(dir.path()).isDir());
}

void tst_IniFile::failedRenameLeavesOldFileWhole()
{
    QTemporaryDir dir;
    const QString name = writeFile(dir, "[Keep]\nk=1\n");
    QString seenTemp;
    QByteArray tempContents;
    IniFile::setBeforeRenameHook([&](const QString &tempName, const QString &) {
        seenTemp = tempName;
        tempContents = readFile(tempName);
        return false; // as if the rename had failed
    });
    IniFile ini(name);
    ini.writeString(QStringLiteral("New"), QStringLiteral("k"), QStringLiteral("2"));
    QString error;
    const bool saved = ini.save(&error);
    IniFile::setBeforeRenameHook(nullptr);

    QVERIFY(!saved);
    QVERIFY(error.contains(name));
    // The new contents were complete in a temporary file beside the target, which is gone;
    // the old file is untouched.
    QVERIFY(QFileInfo(seenTemp).fileName().startsWith(QStringLiteral("setup.ini.tmp-")));
    QCOMPARE(QFileInfo(seenTemp).absolutePath(), QFileInfo(name).absolutePath());
    QCOMPARE(tempContents, QByteArray("[New]\nk=2\n"));
    QVERIFY(!QFile::exists(seenTemp));
    QCOMPARE(readFile(name), QByteArray("[Keep]\nk=1\n"));
}

QTEST_GUILESS_MAIN(tst_IniFile)
#include "tst_IniFile.moc"
