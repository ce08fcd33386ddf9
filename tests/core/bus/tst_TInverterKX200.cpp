#include "DriverHarness.h"
#include "setup/IniFile.h"
#include "bus/TInverterKX200.h"
#include "params/ParameterSet.h"

#include <QTest>

using namespace DriverHarness;

class tst_TInverterKX200 : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void requests_data();
    void requests();
    void sendCommitSendsNothing();
    void decode_data();
    void decode();
    void replyRegister_data();
    void replyRegister();
    void setupRoundTripLeavesEntryZeroAlone();
    void loadSetupOfEmptySectionGivesDefaults();
};

void tst_TInverterKX200::construction()
{
    TInverterKX200 driver(3);
    QCOMPARE(driver.Address, 3);
    QCOMPARE(driver.GetTypeName(), QString("KX200"));
    QCOMPARE(driver.GetEditorClass(), QString("TKX200DnLdForm"));
    QCOMPARE(driver.paramCount(), 50);
    QCOMPARE(driver.param(0), 0);
    QCOMPARE(driver.param(9), 5000);
    QCOMPARE(driver.param(16), 500);
    QCOMPARE(driver.param(46), 3);
    QCOMPARE(driver.param(49), 0);
    QCOMPARE(TInverterKX200::ParamRegister(16), 0x0016);
    QCOMPARE(TInverterKX200::ParamIndex(0x0010), 10);
}

void tst_TInverterKX200::requests_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("reverse");
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("ReadAddress rev0 run0 value0")
        << "ReadAddress" << false << false << 0 << QByteArray("2f 03 52 08 02 8e");
    QTest::newRow("ReadFreqRef rev0 run0 value0")
        << "ReadFreqRef" << false << false << 0 << QByteArray("2f 03 52 00 01 85");
    QTest::newRow("ReadOutputFreq rev0 run0 value0")
        << "ReadOutputFreq" << false << false << 0 << QByteArray("2f 03 52 00 03 87");
    QTest::newRow("ReadOutputVoltage rev0 run0 value0")
        << "ReadOutputVoltage" << false << false << 0 << QByteArray("2f 03 52 00 04 88");
    QTest::newRow("ReadOutputCurrent rev0 run0 value0")
        << "ReadOutputCurrent" << false << false << 0 << QByteArray("2f 03 52 00 02 86");
    QTest::newRow("ReadRegister 0x0016 rev0 run0 value0")
        << "ReadRegister 0x0016" << false << false << 0 << QByteArray("2f 03 52 00 16 9a");
    QTest::newRow("Run rev0 run0 value0")
        << "Run" << false << false << 0 << QByteArray("2f 03 57 fa 00 c4 00 47");
    QTest::newRow("Run rev1 run0 value0")
        << "Run" << true << false << 0 << QByteArray("2f 03 57 fa 00 c6 00 49");
    QTest::newRow("Stop rev0 run1 value0")
        << "Stop" << false << true << 0 << QByteArray("2f 03 57 fa 00 d0 00 53");
    QTest::newRow("Stop rev1 run1 value0")
        << "Stop" << true << true << 0 << QByteArray("2f 03 57 fa 00 d2 00 55");
    QTest::newRow("Forward rev1 run0 value0")
        << "Forward" << true << false << 0 << QByteArray("2f 03 57 fa 00 c4 00 47");
    QTest::newRow("RunReverse rev0 run0 value0")
        << "RunReverse" << false << false << 0 << QByteArray("2f 03 57 fa 00 c6 00 49");
    QTest::newRow("AuxCommand rev1 run1 value0")
        << "AuxCommand" << true << true << 0 << QByteArray("2f 03 57 fa 00 c1 00 44");
    QTest::newRow("WriteFreqRef rev0 run0 value5000")
        << "WriteFreqRef" << false << false << 5000 << QByteArray("2f 03 57 fa 01 13 88 1f");
    QTest::newRow("WriteRegister 0x0802 rev0 run0 value7")
        << "WriteRegister 0x0802" << false << false << 7 << QByteArray("2f 03 57 08 02 00 07 9a");
    QTest::newRow("WriteRegister 0x0016 rev0 run0 value-5")
        << "WriteRegister 0x0016" << false << false << -5 << QByteArray("2f 03 57 00 16 ff fb 99");
    QTest::newRow("WriteAddress rev0 run0 value9")
        << "WriteAddress" << false << false << 9 << QByteArray("2f 57 08 02 00 03 93");
}

void tst_TInverterKX200::requests()
{
    QFETCH(QString, operation);
    QFETCH(bool, reverse);
    QFETCH(bool, running);
    QFETCH(int, value);
    QFETCH(QByteArray, frame);
    TInverterKX200 driver(3);
    const QString problem =
        DriverHarness::checkRequest(driver, operation, reverse, running, value, frame);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void tst_TInverterKX200::sendCommitSendsNothing()
{
    SubmissionRecorder main;
    TInverterKX200 driver(3);
    TransactionRecord record;
    InitTransaction(record, &main, Msg::DownloadStep, 0, 3);
    driver.SendCommit(record);
    QVERIFY(main.records.isEmpty());
}

void tst_TInverterKX200::decode_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Run echo with reverse, aux cleared")
        << 5 << "AuxFlag=1"
        << "Run" << 0 << slashReply("2f 05 57 fa 00 c6 00") << 0 << "Running=1 Reverse=1 AuxFlag=0";
    QTest::newRow("aux echo") << 5 << "Running=1 Reverse=1"
                              << "AuxCommand" << 0 << slashReply("2f 05 57 fa 00 c1 00") << 0
                              << "Running=0 Reverse=0 AuxFlag=1";
    QTest::newRow("status word without address byte counts as the addressed drive's")
        << 5 << ""
        << "Run" << 0 << slashReply("2f 57 fa 00 c4 00") << 0 << "Running=1";
    QTest::newRow("address 5 from address 5")
        << 5 << ""
        << "ReadAddress" << 0 << slashReply("2f 05 52 08 02 00 05") << 0
        << "Params[48]=5 AddressConfirmed=1";
    QTest::newRow("addressless address reply confirms the addressed drive")
        << 5 << ""
        << "ReadAddress" << 0 << slashReply("2f 52 08 02 00 05") << 0
        << "Params[48]=5 AddressConfirmed=1";
    QTest::newRow("address 6 from address 5")
        << 5 << "AddressConfirmed=1"
        << "ReadAddress" << 0 << slashReply("2f 05 52 08 02 00 06") << 0
        << "Params[48]=6 AddressConfirmed=0";
    QTest::newRow("frequency reference") << 5 << ""
                                         << "ReadFreqRef" << 0 << slashReply("2f 05 52 00 01 13 88")
                                         << 0 << "FreqRef=50 Params[1]=5000";
    QTest::newRow("output current")
        << 5 << ""
        << "ReadOutputCurrent" << 0 << slashReply("2f 05 52 00 02 00 7b") << 0
        << "OutputCurrent=12.3 Params[2]=123";
    QTest::newRow("output frequency") << 5 << ""
                                      << "ReadOutputFreq" << 0 << slashReply("2f 05 52 00 03 13 88")
                                      << 0 << "OutputFreq=50 Params[3]=5000";
    QTest::newRow("output voltage")
        << 5 << ""
        << "ReadOutputVoltage" << 0 << slashReply("2f 05 52 00 04 0f 3c") << 0
        << "OutputVoltage=390 Params[4]=3900";
    QTest::newRow("parameter 16 unsigned")
        << 5 << ""
        << "ReadRegister 0x16" << 0 << slashReply("2f 05 52 00 16 ff ff") << 0
        << "Params[16]=65535";
    QTest::newRow("parameter 700")
        << 5 << ""
        << "ReadRegister 0x700" << 0 << slashReply("2f 05 52 07 00 00 02") << 0 << "Params[45]=2";
    QTest::newRow("parameter 803")
        << 5 << ""
        << "ReadRegister 0x803" << 0 << slashReply("2f 05 52 08 03 00 09") << 0 << "Params[49]=9";
    QTest::newRow("write echo carries its own data")
        << 5 << ""
        << "WriteRegister 0x16" << 1 << slashReply("2f 05 57 00 16 00 07") << 0 << "Params[16]=7";
    QTest::newRow("frequency reference echo changes nothing")
        << 5 << ""
        << "WriteFreqRef" << 5000 << slashReply("2f 05 57 fa 01 13 88") << 0 << "";
    QTest::newRow("register of no parameter leaves entry 49 alone")
        << 5 << ""
        << "ReadRegister 0x900" << 0 << slashReply("2f 05 52 09 00 00 09") << 0 << "";
    QTest::newRow("register 0x1A leaves entry 20 alone")
        << 5 << ""
        << "ReadRegister 0x1A" << 0 << slashReply("2f 05 52 00 1a 00 09") << 0 << "";
    QTest::newRow("reply of another address")
        << 5 << ""
        << "ReadOutputFreq" << 0 << slashReply("2f 06 52 00 03 13 88") << 0 << "";
    QTest::newRow("other letter") << 5 << ""
                                  << "ReadOutputFreq" << 0 << slashReply("2f 05 41 00 03 13 88")
                                  << 0 << "";
    QTest::newRow("negative acknowledgement n")
        << 5 << ""
        << "ReadOutputFreq" << 0 << slashReply("2f 05 6e 00 03 13 88") << 3 << "";
    QTest::newRow("addressless N") << 5 << ""
                                   << "ReadOutputFreq" << 0 << slashReply("2f 4e") << 3 << "";
    QTest::newRow("error letter w")
        << 5 << ""
        << "ReadOutputFreq" << 0 << slashReply("2f 05 77 00 03 13 88") << 2 << "";
    QTest::newRow("bad sum") << 5 << ""
                             << "ReadOutputFreq" << 0 << QByteArray("2f05520003138800") << 3 << "";
    QTest::newRow("valid sum but no data")
        << 5 << ""
        << "ReadOutputFreq" << 0 << slashReply("2f 05 52 00 03") << 0 << "";
}

void tst_TInverterKX200::decode()
{
    QFETCH(int, slot);
    QFETCH(QString, setup);
    QFETCH(QString, operation);
    QFETCH(int, value);
    QFETCH(QByteArray, reply);
    QFETCH(int, result);
    QFETCH(QString, expected);
    SubmissionRecorder main;
    TInverterKX200 driver(slot);
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

void tst_TInverterKX200::replyRegister_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("reg");
    QTest::newRow("addressed") << slashReply("2f 05 52 08 02 00 05") << 0x0802;
    QTest::newRow("addressless") << slashReply("2f 52 08 02 00 05") << 0x0802;
    QTest::newRow("too short") << slashReply("2f 4e") << -1;
}

void tst_TInverterKX200::replyRegister()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, reg);
    TInverterKX200 driver(5);
    QCOMPARE(driver.ReplyRegister(exchange("2f 05 52 08 02 90", reply)), reg);
}

void tst_TInverterKX200::setupRoundTripLeavesEntryZeroAlone()
{
    TInverterKX200 original(3);
    for (int i = 0; i < original.paramCount(); ++i)
        original.setParam(i, 1000 - i * 45);
    IniFile ini;
    original.SaveSetup(ini, "  ПЧ     #3");
    const QStringList keys = ini.keys("  ПЧ     #3");
    QCOMPARE(keys.size(), 50);
    QCOMPARE(keys.at(0), QString("TypeName"));
    QCOMPARE(keys.at(1), QString("CD01"));
    QCOMPARE(keys.last(), QString("CD49"));
    QVERIFY(!keys.contains("CD00"));
    QCOMPARE(ini.readString("  ПЧ     #3", "CD48"), QString::number(1000 - 48 * 45));

    IniFile reread;
    reread.parse(ini.toText());
    TInverterKX200 loaded(3);
    loaded.setParam(0, 77);
    loaded.LoadSetup(reread, "  ПЧ     #3");
    QCOMPARE(loaded.param(0), 77);
    for (int i = 1; i < 50; ++i)
        QCOMPARE(loaded.param(i), original.param(i));
}

void tst_TInverterKX200::loadSetupOfEmptySectionGivesDefaults()
{
    IniFile ini;
    ini.writeString("  ПЧ     #3", "Enable", "1");
    ini.writeString("  ПЧ     #3", "TypeName", "KX200");
    ini.writeString("  ПЧ     #3", "CD09", "oops");
    TInverterKX200 driver(3);
    for (int i = 1; i < driver.paramCount(); ++i)
        driver.setParam(i, -1);
    driver.LoadSetup(ini, "  ПЧ     #3");
    const ParameterSet &set = ParameterSet::forModel("KX200");
    QCOMPARE(set.count(), 49);
    for (const ParameterDef &def : set.rows())
        QCOMPARE(driver.param(def.index), def.defaultValue);
    QCOMPARE(driver.param(9), 5000);
}

QTEST_GUILESS_MAIN(tst_TInverterKX200)
#include "tst_TInverterKX200.moc"
