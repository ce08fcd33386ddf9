#include "DriverHarness.h"
#include "setup/IniFile.h"
#include "bus/TInverterKX100.h"
#include "params/ParameterSet.h"

#include <QTest>

using namespace DriverHarness;

class tst_TInverterKX100 : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void requests_data();
    void requests();
    void auxCommandSendsNothing();
    void decode_data();
    void decode();
    void setupRoundTrip();
    void loadSetupValueForms_data();
    void loadSetupValueForms();
    void loadSetupOfEmptySectionGivesDefaults();
};

void tst_TInverterKX100::construction()
{
    TInverterKX100 driver(12);
    QCOMPARE(driver.Address, 12);
    QCOMPARE(driver.GetTypeName(), QString("KX100"));
    QCOMPARE(driver.GetEditorClass(), QString("TKX100DnLdForm"));
    QVERIFY(!driver.GetRunning() && !driver.GetReverse() && !driver.GetAuxFlag());
    QVERIFY(!driver.AddressConfirmed);
    QCOMPARE(driver.GetOutputFreq(), 0.0f);
    // Entries 1..108 carry the keys of the same number; every one is reachable.
    QCOMPARE(driver.paramCount(), 109);
    QCOMPARE(driver.param(1), 1);
    QCOMPARE(driver.param(3), 2000);
    QCOMPARE(driver.param(64), 50);
    QCOMPARE(driver.param(108), 1);
    QCOMPARE(driver.param(109), 0);
    QVERIFY(!driver.setParam(109, 5));
    QVERIFY(!driver.setParam(-1, 5));
}

void tst_TInverterKX100::requests_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("reverse");
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("ReadAddress rev0 run0 value0")
        << "ReadAddress" << false << false << 0 << QByteArray("01 03 01 6a 00 01 a5 ea");
    QTest::newRow("ReadFreqRef rev0 run0 value0")
        << "ReadFreqRef" << false << false << 0 << QByteArray("01 03 00 23 00 01 75 c0");
    QTest::newRow("ReadOutputFreq rev0 run0 value0")
        << "ReadOutputFreq" << false << false << 0 << QByteArray("01 03 00 24 00 01 c4 01");
    QTest::newRow("ReadOutputVoltage rev0 run0 value0")
        << "ReadOutputVoltage" << false << false << 0 << QByteArray("01 03 00 28 00 01 04 02");
    QTest::newRow("ReadOutputCurrent rev0 run0 value0")
        << "ReadOutputCurrent" << false << false << 0 << QByteArray("01 03 00 27 00 01 34 01");
    QTest::newRow("ReadRegister 300 rev0 run0 value0")
        << "ReadRegister 300" << false << false << 0 << QByteArray("01 03 01 2c 00 01 44 3f");
    QTest::newRow("Run rev0 run0 value0")
        << "Run" << false << false << 0 << QByteArray("01 10 00 01 00 01 02 00 01 66 41");
    QTest::newRow("Run rev1 run0 value0")
        << "Run" << true << false << 0 << QByteArray("01 10 00 01 00 01 02 00 03 e7 80");
    QTest::newRow("Stop rev0 run1 value0")
        << "Stop" << false << true << 0 << QByteArray("01 10 00 01 00 01 02 00 00 a7 81");
    QTest::newRow("Stop rev1 run1 value0")
        << "Stop" << true << true << 0 << QByteArray("01 10 00 01 00 01 02 00 02 26 40");
    QTest::newRow("Forward rev1 run0 value0")
        << "Forward" << true << false << 0 << QByteArray("01 10 00 01 00 01 02 00 01 66 41");
    QTest::newRow("RunReverse rev0 run0 value0")
        << "RunReverse" << false << false << 0 << QByteArray("01 10 00 01 00 01 02 00 03 e7 80");
    QTest::newRow("WriteFreqRef rev0 run0 value5000")
        << "WriteFreqRef" << false << false << 5000
        << QByteArray("01 10 00 02 00 01 02 01 f4 a7 a5");
    QTest::newRow("WriteFreqRef rev0 run0 value4999")
        << "WriteFreqRef" << false << false << 4999
        << QByteArray("01 10 00 02 00 01 02 01 f3 e6 67");
    QTest::newRow("WriteFreqRef rev0 run0 value-15")
        << "WriteFreqRef" << false << false << -15
        << QByteArray("01 10 00 02 00 01 02 ff ff a6 02");
    QTest::newRow("WriteRegister 1 rev1 run1 value77")
        << "WriteRegister 1" << true << true << 77
        << QByteArray("01 10 00 01 00 01 02 00 03 e7 80");
    QTest::newRow("WriteRegister 1 rev0 run1 value77")
        << "WriteRegister 1" << false << true << 77
        << QByteArray("01 10 00 01 00 01 02 00 01 66 41");
    QTest::newRow("WriteRegister 300 rev0 run0 value-5")
        << "WriteRegister 300" << false << false << -5
        << QByteArray("01 10 01 2c 00 01 02 ff fb b1 4f");
    QTest::newRow("WriteRegister 301 rev0 run0 value74565")
        << "WriteRegister 301" << false << false << 74565
        << QByteArray("01 10 01 2d 00 01 02 23 45 68 2e");
    QTest::newRow("SendCommit rev0 run0 value9")
        << "SendCommit" << false << false << 9 << QByteArray("01 10 09 00 00 01 02 00 00 3f 50");
    QTest::newRow("WriteAddress rev0 run0 value9")
        << "WriteAddress" << false << false << 9 << QByteArray("00 10 01 6a 00 01 02 00 01 73 ca");
}

void tst_TInverterKX100::requests()
{
    QFETCH(QString, operation);
    QFETCH(bool, reverse);
    QFETCH(bool, running);
    QFETCH(int, value);
    QFETCH(QByteArray, frame);
    TInverterKX100 driver(1);
    const QString problem =
        DriverHarness::checkRequest(driver, operation, reverse, running, value, frame);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void tst_TInverterKX100::auxCommandSendsNothing()
{
    SubmissionRecorder main;
    TInverterKX100 driver(1);
    TransactionRecord record;
    InitTransaction(record, &main, Msg::CommandResult, 0, 1);
    driver.AuxCommand(record);
    QVERIFY(main.records.isEmpty());
    QCOMPARE(record.TxLength, -1);
}

void tst_TInverterKX100::decode_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Run echo with reverse sets both flags")
        << 7 << "Reverse=1"
        << "Run" << 0 << modbusReply("07 10 00 01 00 01") << 0 << "Running=1 Reverse=1";
    QTest::newRow("Stop echo with reverse keeps reverse")
        << 7 << "Running=1 Reverse=1"
        << "Stop" << 0 << modbusReply("07 10 00 01 00 01") << 0 << "Running=0 Reverse=1";
    QTest::newRow("echo of 0 clears both")
        << 7 << "Running=1"
        << "Stop" << 0 << modbusReply("07 10 00 01 00 01") << 0 << "Running=0 Reverse=0";
    QTest::newRow("Forward echo clears reverse")
        << 7 << "Reverse=1"
        << "Forward" << 0 << modbusReply("07 10 00 01 00 01") << 0 << "Running=1 Reverse=0";
    QTest::newRow("read of the operation word")
        << 7 << ""
        << "ReadRegister 1" << 0 << modbusReply("07 03 02 00 03") << 0 << "Running=1 Reverse=1";
    QTest::newRow("WriteFreqRef echo")
        << 7 << ""
        << "WriteFreqRef" << 5000 << modbusReply("07 10 00 02 00 01") << 0 << "FreqRef=50";
    QTest::newRow("frequency reference monitor")
        << 7 << ""
        << "ReadFreqRef" << 0 << modbusReply("07 03 02 01 f5") << 0 << "FreqRef=50.1";
    QTest::newRow("output frequency")
        << 7 << ""
        << "ReadOutputFreq" << 0 << modbusReply("07 03 02 01 f4") << 0 << "OutputFreq=50";
    QTest::newRow("output current")
        << 7 << ""
        << "ReadOutputCurrent" << 0 << modbusReply("07 03 02 00 7b") << 0 << "OutputCurrent=12.3";
    QTest::newRow("output voltage unscaled")
        << 7 << ""
        << "ReadOutputVoltage" << 0 << modbusReply("07 03 02 01 7c") << 0 << "OutputVoltage=380";
    QTest::newRow("output frequency 0xFFF6 is unsigned")
        << 7 << ""
        << "ReadOutputFreq" << 0 << modbusReply("07 03 02 ff f6") << 0 << "OutputFreq=6552.6";
    QTest::newRow("address 7 from slave 7") << 7 << ""
                                            << "ReadAddress" << 0 << modbusReply("07 03 02 00 07")
                                            << 0 << "AddressConfirmed=1 Params[106]=7";
    QTest::newRow("address 9 from slave 7") << 7 << "AddressConfirmed=1"
                                            << "ReadAddress" << 0 << modbusReply("07 03 02 00 09")
                                            << 0 << "AddressConfirmed=0 Params[106]=9";
    QTest::newRow("register 300 is n044")
        << 7 << ""
        << "ReadRegister 300" << 0 << modbusReply("07 03 02 12 34") << 0 << "Params[44]=4660";
    QTest::newRow("register 364 is n108, the last entry")
        << 7 << ""
        << "ReadRegister 364" << 0 << modbusReply("07 03 02 00 05") << 0 << "Params[108]=5";
    QTest::newRow("register 257 is n001")
        << 7 << ""
        << "ReadRegister 257" << 0 << modbusReply("07 03 02 ff f6") << 0 << "Params[1]=65526";
    QTest::newRow("register 256 is outside the set")
        << 7 << ""
        << "ReadRegister 256" << 0 << modbusReply("07 03 02 00 05") << 0 << "";
    QTest::newRow("register 365 is outside the set")
        << 7 << ""
        << "ReadRegister 365" << 0 << modbusReply("07 03 02 00 05") << 0 << "";
    QTest::newRow("parameter write echo takes the written value")
        << 7 << ""
        << "WriteRegister 300" << 42 << modbusReply("07 10 01 2c 00 01") << 0 << "Params[44]=42";
    QTest::newRow("write echo naming another quantity stores nothing")
        << 7 << ""
        << "WriteRegister 300" << 42 << modbusReply("07 10 01 2c 00 05") << 0 << "";
    QTest::newRow("commit echo changes nothing")
        << 7 << ""
        << "SendCommit" << 0 << modbusReply("07 10 09 00 00 01") << 0 << "";
    QTest::newRow("broadcast echo from the new address")
        << 7 << ""
        << "WriteAddress" << 0 << modbusReply("07 10 01 6a 00 01") << 0
        << "AddressConfirmed=1 Params[106]=7";
    QTest::newRow("reply of another slave changes nothing")
        << 7 << ""
        << "ReadOutputFreq" << 0 << modbusReply("06 03 02 01 f4") << 0 << "";
    QTest::newRow("broadcast echo from slave 0 changes nothing")
        << 7 << ""
        << "WriteAddress" << 0 << modbusReply("00 10 01 6a 00 01") << 0 << "";
    QTest::newRow("exception reply") << 7 << ""
                                     << "ReadOutputFreq" << 0 << modbusReply("07 83 02") << 2 << "";
    QTest::newRow("CRC swapped") << 7 << ""
                                 << "ReadOutputFreq" << 0 << QByteArray("07030201f45330") << 3
                                 << "";
    QTest::newRow("read reply without value")
        << 7 << ""
        << "ReadOutputFreq" << 0 << modbusReply("07 03") << 0 << "";
    QTest::newRow("three bytes") << 7 << ""
                                 << "ReadOutputFreq" << 0 << QByteArray("070302") << 3 << "";
}

void tst_TInverterKX100::decode()
{
    QFETCH(int, slot);
    QFETCH(QString, setup);
    QFETCH(QString, operation);
    QFETCH(int, value);
    QFETCH(QByteArray, reply);
    QFETCH(int, result);
    QFETCH(QString, expected);
    SubmissionRecorder main;
    TInverterKX100 driver(slot);
    prepare(driver, setup);
    TransactionRecord request;
    InitTransaction(request, &main, Msg::MonitorPollResult, value, slot);
    QVERIFY(runOperation(driver, operation, request));
    QCOMPARE(main.records.size(), 1);

    TransactionRecord record = main.records[0];
    const QByteArray rx = QByteArray::fromHex(reply);
    std::copy(rx.begin(), rx.end(), record.RxFrame);
    record.RxLength = int32_t(rx.size());
    const auto before = snapshot(driver);
    driver.CheckReply(record);
    QCOMPARE(record.Result, result);
    if (record.Result == 0)
        driver.DecodeReply(record);
    const QString difference = compare(before, snapshot(driver), expected);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void tst_TInverterKX100::setupRoundTrip()
{
    TInverterKX100 original(4);
    for (int i = 1; i <= 108; ++i)
        original.setParam(i, i * 37 - 2000);
    IniFile ini;
    original.SaveSetup(ini, "  ПЧ     #4");
    QCOMPARE(ini.readString("  ПЧ     #4", "TypeName"), QString("KX100"));
    QStringList keys = ini.keys("  ПЧ     #4");
    QCOMPARE(keys.size(), 109);
    QCOMPARE(keys.first(), QString("TypeName"));
    QCOMPARE(keys.at(1), QString("n001"));
    QCOMPARE(keys.last(), QString("n108"));
    QCOMPARE(ini.readString("  ПЧ     #4", "n047"), QString("-261"));

    // Through text, as a setup file carries it.
    IniFile reread;
    reread.parse(ini.toText());
    TInverterKX100 loaded(4);
    loaded.LoadSetup(reread, "  ПЧ     #4");
    QCOMPARE(loaded.Params(), original.Params());
}

void tst_TInverterKX100::loadSetupValueForms_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("loaded");
    QTest::newRow("decimal") << "1500" << 1500;
    QTest::newRow("negative") << "-5" << -5;
    QTest::newRow("hexadecimal") << "0x10" << 16;
    QTest::newRow("upper-case hex prefix") << "0X1f" << 31;
    QTest::newRow("text") << "abc" << 2000;
    QTest::newRow("empty") << "" << 2000;
    QTest::newRow("trailing junk") << "12abc" << 2000;
}

void tst_TInverterKX100::loadSetupValueForms()
{
    QFETCH(QString, text);
    QFETCH(int, loaded);
    IniFile ini;
    ini.writeString("S", "n003", text);
    ini.writeString("S", "n004", "7");
    TInverterKX100 driver(0);
    driver.setParam(5, 99);
    driver.LoadSetup(ini, "S");
    QCOMPARE(driver.param(3), loaded);
    QCOMPARE(driver.param(4), 7);
    QCOMPARE(driver.param(5), 0); // missing key: its default

    // A negative value goes out as its low 16 bits.
    if (loaded == -5) {
        SubmissionRecorder main;
        TransactionRecord record;
        InitTransaction(record, &main, Msg::DownloadStep, driver.param(3), 0);
        driver.WriteRegister(259, record);
        QCOMPARE(main.frame().mid(7, 2).toHex(), QByteArray("fffb"));
    }
}

void tst_TInverterKX100::loadSetupOfEmptySectionGivesDefaults()
{
    IniFile ini;
    ini.writeString("  ПЧ     #2", "Enable", "1");
    ini.writeString("  ПЧ     #2", "TypeName", "KX100");
    TInverterKX100 driver(2);
    for (int i = 0; i < driver.paramCount(); ++i)
        driver.setParam(i, -1);
    driver.LoadSetup(ini, "  ПЧ     #2");
    const ParameterSet &set = ParameterSet::forModel("KX100");
    QCOMPARE(set.count(), 108);
    for (const ParameterDef &def : set.rows())
        QCOMPARE(driver.param(def.index), def.defaultValue);
    QCOMPARE(driver.param(0), -1); // entry 0 belongs to no key
}

QTEST_GUILESS_MAIN(tst_TInverterKX100)
#include "tst_TInverterKX100.moc"
