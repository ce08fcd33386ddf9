#include "setup/IniFile.h"
#include "setup/SetupFile.h"
#include "serial/TComm32.h"

#include <QTest>

#include <climits>

using WindowEntry = SetupFile::WindowEntry;

class tst_SetupFile : public QObject
{
    Q_OBJECT

private slots:
    void serialSettingsWrittenInOrder();
    void serialSettingsRead_data();
    void serialSettingsRead();
    void noPortNameLeavesAllFiveAlone_data();
    void noPortNameLeavesAllFiveAlone();
    void outOfRangeValueNotApplied_data();
    void outOfRangeValueNotApplied();

    void noWindowsWritesCountZeroOnly();
    void classKeysAndEachWindowsOwnKeys();
    void loadKeepsRestorableClassesOnly();
    void countIsBounded_data();
    void countIsBounded();
    void captionMustNameASlot();

    void captionSlot_data();
    void captionSlot();
    void boundedGeometry_data();
    void boundedGeometry();

private:
    static void setPort(TComm32 &port)
    {
        port.setCommPort(QStringLiteral("COM1"));
        port.setBaudRate(4800);
        port.setParity(pOdd);
        port.setStopBits(sb2_0);
        port.setByteSize(7);
    }
    static void comparePort(const TComm32 &port, const QString &name, int baud, TParity parity,
                            TStopBits stopBits, int byteSize)
    {
        QCOMPARE(port.commPort(), name);
        QCOMPARE(port.baudRate(), baud);
        QCOMPARE(port.parity(), parity);
        QCOMPARE(port.stopBits(), stopBits);
        QCOMPARE(port.byteSize(), byteSize);
    }
};

void tst_SetupFile::serialSettingsWrittenInOrder()
{
    TComm32 port;
    setPort(port);
    port.setExchangeTiming({true, 150, EchoMode::Off, 250});
    IniFile ini;
    ini.writeString(SetupFile::RS232Section, QStringLiteral("Stale"), QStringLiteral("x"));
    SetupFile::SaveSerialSettings(ini, port);
    // The exchange timing follows the five line settings.
    QCOMPARE(ini.keys(SetupFile::RS232Section),
             (QStringList{"COM Port", "Baud Rate", "Parity", "Stop Bits", "Byte Size",
                          "Fast Exchange", "Reply Timeout", "Echo", "ResyncMs"}));
    QCOMPARE(ini.readString(SetupFile::RS232Section, "Echo"), QStringLiteral("off"));
    QCOMPARE(ini.readString(SetupFile::RS232Section, "ResyncMs"), QStringLiteral("250"));
    TComm32 loaded;
    QVERIFY(SetupFile::LoadSerialSettings(ini, loaded).isEmpty());
    QCOMPARE(loaded.exchangeTiming(), port.exchangeTiming());
    QCOMPARE(ini.readString(SetupFile::RS232Section, "Fast Exchange"), QStringLiteral("1"));
    QCOMPARE(ini.readString(SetupFile::RS232Section, "Reply Timeout"), QStringLiteral("150"));
    QCOMPARE(ini.readString(SetupFile::RS232Section, "COM Port"), QStringLiteral("COM1"));
    QCOMPARE(ini.readString(SetupFile::RS232Section, "Baud Rate"), QStringLiteral("4800"));
    QCOMPARE(ini.readString(SetupFile::RS232Section, "Parity"), QStringLiteral("1"));
    QCOMPARE(ini.readString(SetupFile::RS232Section, "Stop Bits"), QStringLiteral("2"));
    QCOMPARE(ini.readString(SetupFile::RS232Section, "Byte Size"), QStringLiteral("7"));
}

void tst_SetupFile::serialSettingsRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("byteSize");
    QTest::addColumn<bool>("fast");
    QTest::addColumn<int>("replyTimeout");
    QTest::addColumn<EchoMode>("echo");
    QTest::addColumn<int>("resync");
    QTest::newRow("all keys") << "COM Port=COM2\nBaud Rate=19200\nParity=0\nStop Bits=1\n"
                                 "Byte Size=8\nFast Exchange=1\nReply Timeout=120\n"
                                 "Echo=On\nResyncMs=500\n"
                              << 19200 << 0 << 1 << 8 << true << 120 << EchoMode::On << 500;
    // A file of the five keys only gets the standard timing, whatever the port had.
    QTest::newRow("defaults") << "COM Port=COM2\n"
                              << 9600 << 2 << 0 << 8 << false << 300 << EchoMode::Auto << 0;
}

void tst_SetupFile::serialSettingsRead()
{
    QFETCH(QString, text);
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(int, byteSize);
    QFETCH(bool, fast);
    QFETCH(int, replyTimeout);
    QFETCH(EchoMode, echo);
    QFETCH(int, resync);
    IniFile ini;
    ini.parse("[RS232 Section]\n" + text);
    TComm32 port;
    setPort(port);
    port.setExchangeTiming({true, 999});
    QVERIFY(SetupFile::LoadSerialSettings(ini, port).isEmpty());
    comparePort(port, "COM2", baud, TParity(parity), TStopBits(stopBits), byteSize);
    QCOMPARE(port.exchangeTiming().value(), (ExchangeTiming{fast, replyTimeout, echo, resync}));
}

void tst_SetupFile::noPortNameLeavesAllFiveAlone_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("no section") << QString();
    QTest::newRow("no key") << QStringLiteral("[RS232 Section]\nBaud Rate=19200\nParity=0\n"
                                              "Stop Bits=1\nByte Size=8\n");
    QTest::newRow("empty") << QStringLiteral("[RS232 Section]\nCOM Port=\nBaud Rate=19200\n"
                                             "Parity=0\nStop Bits=1\nByte Size=8\n");
    QTest::newRow("blanks") << QStringLiteral("[RS232 Section]\nCOM Port=\"   \"\n"
                                              "Baud Rate=19200\nParity=0\n");
}

void tst_SetupFile::noPortNameLeavesAllFiveAlone()
{
    QFETCH(QString, text);
    IniFile ini;
    ini.parse(text);
    TComm32 port;
    setPort(port);
    QVERIFY(SetupFile::LoadSerialSettings(ini, port).isEmpty());
    comparePort(port, "COM1", 4800, pOdd, sb2_0, 7);
}

void tst_SetupFile::outOfRangeValueNotApplied_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("baud zero") << "Baud Rate"
                               << "0";
    QTest::newRow("baud negative") << "Baud Rate"
                                   << "-9600";
    QTest::newRow("baud huge") << "Baud Rate"
                               << "2147483647";
    QTest::newRow("parity") << "Parity"
                            << "7";
    QTest::newRow("parity negative") << "Parity"
                                     << "-1";
    QTest::newRow("stop bits") << "Stop Bits"
                               << "3";
    QTest::newRow("byte size") << "Byte Size"
                               << "9";
    QTest::newRow("byte size small") << "Byte Size"
                                     << "4";
    QTest::newRow("fast exchange") << "Fast Exchange"
                                   << "2";
    QTest::newRow("reply time-out") << "Reply Timeout"
                                    << "10001";
    QTest::newRow("echo") << "Echo"
                          << "sometimes";
    QTest::newRow("resync") << "ResyncMs"
                            << "10001";
}

void tst_SetupFile::outOfRangeValueNotApplied()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    IniFile ini;
    ini.parse(QStringLiteral("[RS232 Section]\nCOM Port=COM2\nBaud Rate=19200\nParity=0\n"
                             "Stop Bits=1\nByte Size=8\n"));
    ini.writeString(SetupFile::RS232Section, key, value);
    TComm32 port;
    setPort(port);
    const QStringList notes = SetupFile::LoadSerialSettings(ini, port);
    QCOMPARE(notes.size(), 1);
    QVERIFY2(notes.first().contains(key), qPrintable(notes.first()));
    // The refused value keeps the port's own; the others are applied.
    QCOMPARE(port.commPort(), QStringLiteral("COM2"));
    QCOMPARE(port.baudRate(), key == "Baud Rate" ? 4800 : 19200);
    QCOMPARE(port.parity(), key == "Parity" ? pOdd : pNone);
    QCOMPARE(port.stopBits(), key == "Stop Bits" ? sb2_0 : sb1_5);
    QCOMPARE(port.byteSize(), key == "Byte Size" ? 7 : 8);
}

void tst_SetupFile::noWindowsWritesCountZeroOnly()
{
    IniFile ini;
    ini.parse(QStringLiteral("[MDI Section]\nCount=1\nForm1=TLEDForm\nTLEDForm.Caption=x\n"));
    SetupFile::SaveWindowList(ini, {});
    QCOMPARE(ini.keys(SetupFile::MDISection), QStringList{"Count"});
    QCOMPARE(ini.readString(SetupFile::MDISection, "Count"), QStringLiteral("0"));
}

void tst_SetupFile::classKeysAndEachWindowsOwnKeys()
{
    const QString caption3 = QStringLiteral("Монитор:  ПЧ     #3");
    const QString caption7 = QStringLiteral("Монитор:  ПЧ     #7");
    IniFile ini;
    SetupFile::SaveWindowList(ini, {{"TLEDForm", "Состояние", 0, 0, 300, 200},
                                    {"TMonitorForm", caption3, 10, 20, 200, 150},
                                    {"TMonitorForm", caption7, 30, 40, 250, 160}});
    // The class keys as ever, then each window's own keys.
    QStringList keys{"Count", "Form1", "TLEDForm.Caption", "TLEDForm.Top", "TLEDForm.Left",
                     "TLEDForm.Width", "TLEDForm.Height", "Form2", "TMonitorForm.Caption",
                     "TMonitorForm.Top", "TMonitorForm.Left", "TMonitorForm.Width",
                     "TMonitorForm.Height", "Form3"};
    for (const char *n : {"Form1", "Form2", "Form3"})
        for (const char *key : {".Caption", ".Top", ".Left", ".Width", ".Height"})
            keys << QLatin1String(n) + QLatin1String(key);
    QCOMPARE(ini.keys(SetupFile::MDISection), keys);
    QCOMPARE(ini.readInteger(SetupFile::MDISection, "Count", -1), 3);
    QCOMPARE(ini.readString(SetupFile::MDISection, "Form2"), QStringLiteral("TMonitorForm"));
    QCOMPARE(ini.readString(SetupFile::MDISection, "Form3"), QStringLiteral("TMonitorForm"));
    QCOMPARE(ini.readString(SetupFile::MDISection, "TMonitorForm.Caption"), caption7);
    QCOMPARE(ini.readInteger(SetupFile::MDISection, "TMonitorForm.Top", 0), 40);
    QCOMPARE(ini.readInteger(SetupFile::MDISection, "TMonitorForm.Left", 0), 30);

    QCOMPARE(ini.readString(SetupFile::MDISection, "Form2.Caption"), caption3);
    QCOMPARE(ini.readInteger(SetupFile::MDISection, "Form2.Left", 0), 10);

    // Every window reads back as itself.
    const QList<WindowEntry> read = SetupFile::LoadWindowList(ini, {"TLEDForm", "TMonitorForm"});
    QCOMPARE(read.size(), 3);
    QCOMPARE(read[0], (WindowEntry{"TLEDForm", "Состояние", 0, 0, 300, 200}));
    QCOMPARE(read[1], (WindowEntry{"TMonitorForm", caption3, 10, 20, 200, 150}));
    QCOMPARE(read[2], (WindowEntry{"TMonitorForm", caption7, 30, 40, 250, 160}));

    // A file with the class keys only: both entries read back as the window written last.
    for (const char *n : {"Form1", "Form2", "Form3"})
        for (const char *key : {".Caption", ".Top", ".Left", ".Width", ".Height"})
            ini.deleteKey(SetupFile::MDISection, QLatin1String(n) + QLatin1String(key));
    const QList<WindowEntry> old = SetupFile::LoadWindowList(ini, {"TLEDForm", "TMonitorForm"});
    QCOMPARE(old.size(), 3);
    QCOMPARE(old[1], (WindowEntry{"TMonitorForm", caption7, 30, 40, 250, 160}));
    QCOMPARE(old[2], old[1]);
}

void tst_SetupFile::loadKeepsRestorableClassesOnly()
{
    IniFile ini;
    ini.parse(QStringLiteral("[MDI Section]\nCount=5\nForm1=TKX300ADnLdForm\nForm2=\n"
                             "Form3=TKX300BDnLdForm\nForm5=TLEDForm\n"
                             "TKX300ADnLdForm.Caption=A #1\nTKX300BDnLdForm.Caption=B #1\n"));
    QStringList notes;
    const QList<WindowEntry> read =
        SetupFile::LoadWindowList(ini, {"TLEDForm", "TMonitorForm", "TKX300DnLdForm"}, &notes);
    QCOMPARE(read.size(), 1);
    QCOMPARE(read[0].className, QStringLiteral("TLEDForm"));
    QCOMPARE(read[0].caption, QString());
    QVERIFY(notes.isEmpty()); // written-but-not-restored classes are passed over quietly
}

void tst_SetupFile::countIsBounded_data()
{
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("entries");
    QTest::addColumn<bool>("noted");
    QTest::newRow("negative") << "-5" << 0 << true;
    QTest::newRow("int max") << "2147483647" << int(SetupFile::MaxWindowEntries) << true;
    QTest::newRow("int min") << "-2147483648" << 0 << true;
    QTest::newRow("text") << "many" << 0 << false;
    QTest::newRow("at limit") << QString::number(SetupFile::MaxWindowEntries)
                              << int(SetupFile::MaxWindowEntries) << false;
}

void tst_SetupFile::countIsBounded()
{
    QFETCH(QString, count);
    QFETCH(int, entries);
    QFETCH(bool, noted);
    IniFile ini;
    ini.writeString(SetupFile::MDISection, "Count", count);
    for (int n = 1; n <= SetupFile::MaxWindowEntries + 10; ++n)
        ini.writeString(SetupFile::MDISection, QStringLiteral("Form%1").arg(n), "TLEDForm");
    QStringList notes;
    QCOMPARE(SetupFile::LoadWindowList(ini, {"TLEDForm"}, &notes).size(), entries);
    QCOMPARE(!notes.isEmpty(), noted);
}

void tst_SetupFile::captionMustNameASlot()
{
    IniFile ini;
    ini.parse(QStringLiteral("[MDI Section]\nCount=4\nForm1=TMonitorForm\nForm2=TKX100DnLdForm\n"
                             "Form3=TLEDForm\nForm4=TKX200DnLdForm\n"
                             "TMonitorForm.Caption=Монитор:  ПЧ     #99\n"
                             "TKX100DnLdForm.Caption=Загрузка\n"
                             "TLEDForm.Caption=Состояние ИНД\n"
                             "TKX200DnLdForm.Caption=Загрузка:  ПЧ     #31\n"));
    QStringList notes;
    const QList<WindowEntry> read = SetupFile::LoadWindowList(
        ini, {"TLEDForm", "TMonitorForm", "TKX100DnLdForm", "TKX200DnLdForm"}, &notes);
    QCOMPARE(read.size(), 2);
    QCOMPARE(read[0].className, QStringLiteral("TLEDForm"));
    QCOMPARE(read[1].className, QStringLiteral("TKX200DnLdForm"));
    QCOMPARE(notes.size(), 2);
    QVERIFY(notes[0].contains("#99"));
}

void tst_SetupFile::captionSlot_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("slot");
    QTest::newRow("monitor 7") << QStringLiteral("Монитор:  ПЧ     #7") << 7;
    QTest::newRow("editor 31") << QStringLiteral("Загрузка:  ПЧ     #31") << 31;
    QTest::newRow("zero") << "#0" << 0;
    QTest::newRow("leading zero") << "#07" << 7;
    QTest::newRow("blank after") << "#5 " << 5;
    QTest::newRow("no hash") << "Состояние ИНД" << int(SetupFile::NoSlot);
    QTest::newRow("empty") << "" << int(SetupFile::NoSlot);
    QTest::newRow("32") << "#32" << int(SetupFile::BadSlot);
    QTest::newRow("negative") << "#-1" << int(SetupFile::BadSlot);
    QTest::newRow("nothing after") << "ПЧ #" << int(SetupFile::BadSlot);
    QTest::newRow("letters") << "#7a" << int(SetupFile::BadSlot);
    QTest::newRow("huge") << "#99999999999999999999" << int(SetupFile::BadSlot);
    QTest::newRow("last hash counts") << "#3 #12" << 12;
}

void tst_SetupFile::captionSlot()
{
    QFETCH(QString, caption);
    QFETCH(int, slot);
    QCOMPARE(SetupFile::CaptionSlot(caption), slot);
}

void tst_SetupFile::boundedGeometry_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QRect>("expected");
    // Area 800 x 600, fallback 300 x 200, margin 40.
    QTest::newRow("inside") << 10 << 20 << 300 << 200 << QRect(10, 20, 300, 200);
    QTest::newRow("partly left") << -100 << 20 << 300 << 200 << QRect(-100, 20, 300, 200);
    QTest::newRow("zero size") << 10 << 20 << 0 << 0 << QRect(10, 20, 300, 200);
    QTest::newRow("negative size") << 10 << 20 << -50 << -1 << QRect(10, 20, 300, 200);
    QTest::newRow("larger than area") << 0 << 0 << 5000 << 4000 << QRect(0, 0, 800, 600);
    QTest::newRow("far right") << 100000 << 50 << 300 << 200 << QRect(760, 50, 300, 200);
    QTest::newRow("far below") << 50 << 100000 << 300 << 200 << QRect(50, 560, 300, 200);
    QTest::newRow("far left") << -100000 << 50 << 300 << 200 << QRect(-260, 50, 300, 200);
    QTest::newRow("above") << 50 << -30 << 300 << 200 << QRect(50, 0, 300, 200);
    QTest::newRow("extremes") << INT_MAX << INT_MIN << INT_MAX << INT_MAX
                              << QRect(760, 0, 800, 600);
    QTest::newRow("minimum extremes")
        << INT_MIN << INT_MAX << INT_MIN << INT_MIN << QRect(-260, 560, 300, 200);
}

void tst_SetupFile::boundedGeometry()
{
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QRect, expected);
    const WindowEntry saved{"TLEDForm", QString(), left, top, width, height};
    QCOMPARE(SetupFile::BoundedGeometry(saved, QSize(800, 600), QSize(300, 200)), expected);
}

QTEST_GUILESS_MAIN(tst_SetupFile)
#include "tst_SetupFile.moc"
