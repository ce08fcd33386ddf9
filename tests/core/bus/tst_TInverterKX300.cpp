#include "DriverHarness.h"
#include "setup/IniFile.h"
#include "bus/TInverterKX300.h"
#include "params/ParameterSet.h"

#include <QTest>

#include <algorithm>

using namespace DriverHarness;

class tst_TInverterKX300 : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void requests_data();
    void requests();
    void auxCommandSendsNothing();
    void decode_data();
    void decode();
    void setupRoundTripKeepsOtherRegisters();
    void loadSetupOfEmptySectionGivesReadDefaults();
};

void tst_TInverterKX300::construction()
{
    TInverterKX300 driver(9);
    QCOMPARE(driver.Address, 9);
    QCOMPARE(driver.GetTypeName(), QString("KX300"));
    QCOMPARE(driver.GetEditorClass(), QString("TKX300DnLdForm"));
    QCOMPARE(driver.paramCount(), 1296);
    QVERIFY(std::all_of(driver.Params().begin(), driver.Params().end(),
                        [](int32_t v) { return v == 0; }));
    driver.setParam(1052, 4);
    driver.SetDefaults(); // no factory defaults of its own
    QCOMPARE(driver.param(1052), 4);
}

void tst_TInverterKX300::requests_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("reverse");
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("ReadAddress rev0 run0 value0")
        << "ReadAddress" << false << false << 0 << QByteArray("01 03 04 1c 00 01 44 fc");
    QTest::newRow("ReadFreqRef rev0 run0 value0")
        << "ReadFreqRef" << false << false << 0 << QByteArray("01 03 00 20 00 01 85 c0");
    QTest::newRow("ReadOutputFreq rev0 run0 value0")
        << "ReadOutputFreq" << false << false << 0 << QByteArray("01 03 00 21 00 01 d4 00");
    QTest::newRow("ReadOutputVoltage rev0 run0 value0")
        << "ReadOutputVoltage" << false << false << 0 << QByteArray("01 03 00 25 00 01 95 c1");
    QTest::newRow("ReadOutputCurrent rev0 run0 value0")
        << "ReadOutputCurrent" << false << false << 0 << QByteArray("01 03 00 22 00 01 24 00");
    QTest::newRow("ReadRegister 256 rev0 run0 value0")
        << "ReadRegister 256" << false << false << 0 << QByteArray("01 03 01 00 00 01 85 f6");
    QTest::newRow("Run rev0 run0 value0")
        << "Run" << false << false << 0 << QByteArray("01 10 00 00 00 01 02 00 01 67 90");
    QTest::newRow("Run rev1 run0 value0")
        << "Run" << true << false << 0 << QByteArray("01 10 00 00 00 01 02 00 02 27 91");
    QTest::newRow("Stop rev0 run1 value0")
        << "Stop" << false << true << 0 << QByteArray("01 10 00 00 00 01 02 00 00 a6 50");
    QTest::newRow("Stop rev1 run1 value0")
        << "Stop" << true << true << 0 << QByteArray("01 10 00 00 00 01 02 00 00 a6 50");
    QTest::newRow("Forward rev1 run0 value0")
        << "Forward" << true << false << 0 << QByteArray("01 10 00 00 00 01 02 00 01 67 90");
    QTest::newRow("RunReverse rev0 run0 value0")
        << "RunReverse" << false << false << 0 << QByteArray("01 10 00 00 00 01 02 00 02 27 91");
    QTest::newRow("WriteFreqRef rev0 run0 value5000")
        << "WriteFreqRef" << false << false << 5000
        << QByteArray("01 10 00 01 00 01 02 13 88 aa d7");
    QTest::newRow("WriteRegister 0 rev1 run1 value77")
        << "WriteRegister 0" << true << true << 77
        << QByteArray("01 10 00 00 00 01 02 00 03 e6 51");
    QTest::newRow("WriteRegister 0 rev0 run0 value77")
        << "WriteRegister 0" << false << false << 77
        << QByteArray("01 10 00 00 00 01 02 00 00 a6 50");
    QTest::newRow("WriteRegister 1 rev0 run0 value1234")
        << "WriteRegister 1" << false << false << 1234
        << QByteArray("01 10 00 01 00 01 02 04 d2 25 1c");
    QTest::newRow("WriteRegister 2 rev0 run0 value7")
        << "WriteRegister 2" << false << false << 7
        << QByteArray("01 10 00 02 00 01 02 00 07 e6 70");
    QTest::newRow("WriteRegister 410 rev0 run0 value-5")
        << "WriteRegister 410" << false << false << -5
        << QByteArray("01 10 01 9a 00 01 02 ff fb ab 19");
    QTest::newRow("SendCommit rev0 run0 value9")
        << "SendCommit" << false << false << 9 << QByteArray("01 10 ff fd 00 01 02 00 00 bc b2");
    QTest::newRow("WriteAddress rev0 run0 value9")
        << "WriteAddress" << false << false << 9 << QByteArray("00 10 04 1c 00 01 02 00 01 2d 9c");
}

void tst_TInverterKX300::requests()
{
    QFETCH(QString, operation);
    QFETCH(bool, reverse);
    QFETCH(bool, running);
    QFETCH(int, value);
    QFETCH(QByteArray, frame);
    TInverterKX300 driver(1);
    const QString problem =
        DriverHarness::checkRequest(driver, operation, reverse, running, value, frame);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void tst_TInverterKX300::auxCommandSendsNothing()
{
    SubmissionRecorder main;
    TInverterKX300 driver(1);
    TransactionRecord record;
    InitTransaction(record, &main, Msg::CommandResult, 0, 1);
    driver.AuxCommand(record);
    QVERIFY(main.records.isEmpty());
}

void tst_TInverterKX300::decode_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Run echo with reverse")
        << 4 << "Reverse=1"
        << "Run" << 0 << modbusReply("04 10 00 00 00 01") << 0 << "Running=1 Reverse=1";
    QTest::newRow("Stop echo keeps reverse")
        << 4 << "Running=1 Reverse=1"
        << "Stop" << 0 << modbusReply("04 10 00 00 00 01") << 0 << "Running=0 Reverse=1";
    QTest::newRow("Forward echo clears reverse")
        << 4 << "Reverse=1"
        << "Forward" << 0 << modbusReply("04 10 00 00 00 01") << 0 << "Running=1 Reverse=0";
    QTest::newRow("operation word 3: bit 0 wins")
        << 4 << "Running=1 Reverse=1"
        << "WriteRegister 0" << 0 << modbusReply("04 10 00 00 00 01") << 0 << "Running=1 Reverse=0";
    QTest::newRow("frequency reference echo")
        << 4 << ""
        << "WriteFreqRef" << 5000 << modbusReply("04 10 00 01 00 01") << 0 << "FreqRef=50";
    QTest::newRow("negative output frequency")
        << 4 << ""
        << "ReadOutputFreq" << 0 << modbusReply("04 03 02 ec 78") << 0
        << "OutputFreq=50 Params[33]=-5000";
    QTest::newRow("negative reference monitor")
        << 4 << ""
        << "ReadFreqRef" << 0 << modbusReply("04 03 02 ff f6") << 0 << "FreqRef=0.1 Params[32]=-10";
    QTest::newRow("output current") << 4 << ""
                                    << "ReadOutputCurrent" << 0 << modbusReply("04 03 02 00 37")
                                    << 0 << "OutputCurrent=5.5 Params[34]=55";
    QTest::newRow("output voltage") << 4 << ""
                                    << "ReadOutputVoltage" << 0 << modbusReply("04 03 02 0f 3c")
                                    << 0 << "OutputVoltage=390 Params[37]=3900";
    // Words are stored in the sign of their table row.
    QTest::newRow("signed read of B5-07")
        << 4 << ""
        << "ReadRegister 410" << 0 << modbusReply("04 03 02 ff f6") << 0 << "Params[410]=-10";
    QTest::newRow("unsigned read of A1-00")
        << 4 << ""
        << "ReadRegister 0x100" << 0 << modbusReply("04 03 02 ff f6") << 0 << "Params[256]=65526";
    QTest::newRow("address 4 from slave 4") << 4 << ""
                                            << "ReadAddress" << 0 << modbusReply("04 03 02 00 04")
                                            << 0 << "Params[1052]=4 AddressConfirmed=1";
    QTest::newRow("address 5 from slave 4") << 4 << "AddressConfirmed=1"
                                            << "ReadAddress" << 0 << modbusReply("04 03 02 00 05")
                                            << 0 << "Params[1052]=5 AddressConfirmed=0";
    QTest::newRow("write echo value in the row's sign")
        << 4 << ""
        << "WriteRegister 410" << -5 << modbusReply("04 10 01 9a 00 01") << 0
        << "Params[410]=-5";
    QTest::newRow("commit echo changes nothing")
        << 4 << ""
        << "SendCommit" << 0 << modbusReply("04 10 ff fd 00 01") << 0 << "";
    QTest::newRow("register 1295 is the last entry")
        << 4 << ""
        << "ReadRegister 1295" << 0 << modbusReply("04 03 02 00 08") << 0 << "Params[1295]=8";
    QTest::newRow("register 1296 is outside the table")
        << 4 << ""
        << "ReadRegister 1296" << 0 << modbusReply("04 03 02 00 08") << 0 << "";
    QTest::newRow("register 0xFFFF is outside the table")
        << 4 << ""
        << "ReadRegister 0xFFFF" << 0 << modbusReply("04 03 02 00 08") << 0 << "";
    QTest::newRow("reply of another slave")
        << 4 << ""
        << "ReadOutputFreq" << 0 << modbusReply("05 03 02 ec 78") << 0 << "";
    QTest::newRow("exception") << 4 << ""
                               << "ReadOutputFreq" << 0 << modbusReply("04 83 02") << 2 << "";
}

void tst_TInverterKX300::decode()
{
    QFETCH(int, slot);
    QFETCH(QString, setup);
    QFETCH(QString, operation);
    QFETCH(int, value);
    QFETCH(QByteArray, reply);
    QFETCH(int, result);
    QFETCH(QString, expected);
    SubmissionRecorder main;
    TInverterKX300 driver(slot);
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

void tst_TInverterKX300::setupRoundTripKeepsOtherRegisters()
{
    TInverterKX300 original(6);
    for (int r = 0; r < original.paramCount(); ++r)
        original.setParam(r, (r * 7919) % 70000 - 35000);
    IniFile ini;
    original.SaveSetup(ini, "  ПЧ     #6");
    const QStringList keys = ini.keys("  ПЧ     #6");
    QCOMPARE(keys.size(), 299);
    QCOMPARE(keys.at(1), QString("A1-00"));
    QCOMPARE(keys.last(), QString("U3-08"));
    QCOMPARE(ini.readString("  ПЧ     #6", "H5-01"), QString::number(original.param(1052)));

    IniFile reread;
    reread.parse(ini.toText());
    TInverterKX300 loaded(6);
    loaded.setParam(5, 123);     // no key covers register 5
    loaded.setParam(1295, -321); // nor 1295
    loaded.LoadSetup(reread, "  ПЧ     #6");
    const ParameterSet &set = ParameterSet::forModel("KX300");
    for (const ParameterDef &def : set.rows())
        QCOMPARE(loaded.param(def.index), original.param(def.index));
    QCOMPARE(loaded.param(5), 123);
    QCOMPARE(loaded.param(1295), -321);
}

void tst_TInverterKX300::loadSetupOfEmptySectionGivesReadDefaults()
{
    IniFile ini;
    ini.writeString("  ПЧ     #6", "Enable", "1");
    ini.writeString("  ПЧ     #6", "TypeName", "KX300");
    TInverterKX300 driver(6);
    driver.LoadSetup(ini, "  ПЧ     #6");
    QCOMPARE(driver.param(1052), 31);     // "H5-01"
    QCOMPARE(driver.param(0x0100), 1);    // "A1-00"
    QCOMPARE(driver.param(0x0312), 9842); // "E2-05"
    QCOMPARE(driver.param(0x022A), 100);  // "C8-08"
    QCOMPARE(driver.param(0x050D), 2);    // "O2-09"
}

QTEST_GUILESS_MAIN(tst_TInverterKX300)
#include "tst_TInverterKX300.moc"
