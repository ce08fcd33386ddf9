#include "DriverHarness.h"
#include "setup/IniFile.h"
#include "bus/TInverterBase.h"

#include <QTest>

using namespace DriverHarness;

class tst_TInverterBase : public QObject
{
    Q_OBJECT

private slots:
    void protocolOperationsDoNothing_data();
    void protocolOperationsDoNothing();
    void setupHoldsOnlyTheTypeName();
    void emptyTableRefusesEveryIndex();
};

void tst_TInverterBase::protocolOperationsDoNothing_data()
{
    QTest::addColumn<QString>("operation");
    for (const char *name :
         {"ReadRegister 1", "WriteRegister 1", "SendCommit", "ReadAddress", "ReadFreqRef",
          "ReadOutputFreq", "ReadOutputVoltage", "ReadOutputCurrent", "WriteAddress", "Run", "Stop",
          "Forward", "RunReverse", "AuxCommand", "WriteFreqRef"})
        QTest::newRow(name) << QString(name);
}

void tst_TInverterBase::protocolOperationsDoNothing()
{
    QFETCH(QString, operation);
    SubmissionRecorder main;
    TInverterBase driver(2);
    TransactionRecord record;
    InitTransaction(record, &main, Msg::CommandResult, 5000, 2);
    QVERIFY(runOperation(driver, operation, record));
    QVERIFY(main.records.isEmpty());
    QCOMPARE(record.TxLength, -1);

    // A reply changes nothing either, and its check leaves the result as it was.
    TransactionRecord reply = exchange("02 03 00 24 00 01", modbusReply("02 03 02 01 f4"));
    reply.Result = 1;
    const auto before = snapshot(driver);
    driver.CheckReply(reply);
    driver.DecodeReply(reply);
    QCOMPARE(reply.Result, 1);
    QCOMPARE(driver.ReplyRegister(reply), -1);
    QCOMPARE(compare(before, snapshot(driver), ""), QString());
}

void tst_TInverterBase::setupHoldsOnlyTheTypeName()
{
    TInverterBase driver(0);
    QCOMPARE(driver.Address, 0);
    QCOMPARE(driver.GetTypeName(), QString());
    QCOMPARE(driver.GetEditorClass(), QString("TKX100DnLdForm"));
    driver.TypeName = "KX100";
    IniFile ini;
    driver.SaveSetup(ini, "S");
    QCOMPARE(ini.keys("S"), QStringList{"TypeName"});
    QCOMPARE(ini.readString("S", "TypeName"), QString("KX100"));
    driver.LoadSetup(ini, "S");
    QCOMPARE(driver.paramCount(), 0);
}

void tst_TInverterBase::emptyTableRefusesEveryIndex()
{
    TInverterBase driver(1);
    QVERIFY(driver.Params().isEmpty());
    QVERIFY(!driver.setParam(0, 1));
    QCOMPARE(driver.param(0), 0);
    QCOMPARE(driver.param(-1), 0);
}

QTEST_GUILESS_MAIN(tst_TInverterBase)
#include "tst_TInverterBase.moc"
