#include "TransferTestSupport.h"

#include "bus/BusHost.h"
#include "bus/TInverterBase.h"
#include "params/ParameterRowTable.h"
#include "params/ParameterSet.h"
#include "params/ParameterTransfer.h"
#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(ParameterTransfer::Outcome)

class tst_ParameterTransfer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void rowsMatchTheParameterSets_data();
    void rowsMatchTheParameterSets();
    void planRefusesARowOutsideTheSet();
    void slotFromCaption_data();
    void slotFromCaption();

    void kx100UploadReadsEveryRegisterInCodeOrder();
    void uploadReportsTheParametersThatFailed();
    void silentSlotTimesOutEverywhereAndKeepsValues();
    void kx100DownloadWritesAndCommitsEachParameter();
    void kx200DownloadSkipsReadoutsAndReserved();
    void failedCommitsArePassedOverAndReported();
    void listValueOutsideItemsDownloadsUnchanged();
    void defaultsAreTakenAsTheyAreAndMarkModified();
    void editsFollowTheFieldRules();
    void noSecondTransferAndNoEditsWhileRunning();
    void loadRefusesEmptiedOrReplacedSlot();
    void slotEmptiedDuringDownloadKeepsEditsUnsent();
    void strayCompletionIsDropped();
    void replacedDriverStopsTheTransfer();
    void valueBeyondTheRegisterIsNotSent();

private:
    void startHost(RegisterLine::Protocol protocol, int slave);
    std::unique_ptr<ParameterTransfer> kx100(int slot);
    std::unique_ptr<ParameterTransfer> kx200(int slot);
    ParameterTransfer::Outcome waitFinished(QSignalSpy &spy);

    std::unique_ptr<RegisterLine> m_line;
    std::unique_ptr<BusHost> m_host;
};

void tst_ParameterTransfer::initTestCase()
{
    qRegisterMetaType<ParameterTransfer::Outcome>();
}

void tst_ParameterTransfer::cleanup()
{
    m_host.reset();
    m_line.reset();
}

void tst_ParameterTransfer::startHost(RegisterLine::Protocol protocol, int slave)
{
    m_line = std::make_unique<RegisterLine>(protocol, slave);
    m_host = std::make_unique<BusHost>(m_line.get());
    // A silent inverter times out on the second tick.
    m_host->engine().setTimerInterval(1);
    m_host->engine().setTimeOutLimit(1);
}

std::unique_ptr<ParameterTransfer> tst_ParameterTransfer::kx100(int slot)
{
    ParameterTransfer::Plan plan =
        ParameterTransfer::makePlan(ParameterRowTable::embedded(QStringLiteral("kx100")),
                                    ParameterSet::forModel(QStringLiteral("KX100")));
    plan.commitAfterWrite = true;
    auto transfer = std::make_unique<ParameterTransfer>(plan);
    transfer->setSlot(slot);
    return transfer;
}

std::unique_ptr<ParameterTransfer> tst_ParameterTransfer::kx200(int slot)
{
    ParameterTransfer::Plan plan =
        ParameterTransfer::makePlan(ParameterRowTable::embedded(QStringLiteral("kx200")),
                                    ParameterSet::forModel(QStringLiteral("KX200")));
    plan.downloadSkip = {0, 1, 2, 3, 22, 44};
    auto transfer = std::make_unique<ParameterTransfer>(plan);
    transfer->setSlot(slot);
    return transfer;
}

ParameterTransfer::Outcome tst_ParameterTransfer::waitFinished(QSignalSpy &spy)
{
    if (spy.isEmpty() && !spy.wait(20000))
        return {};
    return spy.first().first().value<ParameterTransfer::Outcome>();
}

// The rows of every window against its model's parameter set: same keys in the same order
// as the set (the KX300 groups in group order make up the whole set), same registers.
void tst_ParameterTransfer::rowsMatchTheParameterSets_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QStringList>("tables");
    QTest::addColumn<QString>("codePrefix"); // code = prefix + key digits; empty: code = key
    QTest::newRow("KX100") << "KX100" << QStringList{"kx100"} << "CD";
    QTest::newRow("KX200") << "KX200" << QStringList{"kx200"} << "";
    QStringList groups;
    for (QChar g : QStringLiteral("abcdefhlou"))
        groups << QStringLiteral("kx300_") + g;
    QTest::newRow("KX300") << "KX300" << groups << "";
}

void tst_ParameterTransfer::rowsMatchTheParameterSets()
{
    QFETCH(QString, model);
    QFETCH(QStringList, tables);
    QFETCH(QString, codePrefix);
    const ParameterSet &set = ParameterSet::forModel(model);
    QVERIFY2(set.errorString().isEmpty(), qPrintable(set.errorString()));

    QList<const ParameterRow *> rows;
    for (const QString &name : tables) {
        const ParameterRowTable &table = ParameterRowTable::embedded(name);
        QVERIFY2(!table.isEmpty(), qPrintable(table.errorString()));
        QString error;
        const ParameterTransfer::Plan plan = ParameterTransfer::makePlan(table, set, &error);
        QVERIFY2(error.isEmpty(), qPrintable(name + ": " + error));
        QCOMPARE(plan.count(), table.count());
        for (const ParameterRow &row : table.rows())
            rows.append(&row);
    }
    QCOMPARE(rows.size(), set.count());
    for (int i = 0; i < rows.size(); ++i) {
        const ParameterRow &row = *rows[i];
        const ParameterDef &def = set.rows().at(i);
        QCOMPARE(row.key, def.key);
        QCOMPARE(row.registerNumber, def.registerNumber);
        // Codes may show an asterisk, and the KX300 codes of some subgroups an underscore.
        QString code = row.code;
        code.remove(QLatin1Char('*')).replace(QLatin1Char('_'), QLatin1Char('-'));
        if (!codePrefix.isEmpty())
            QCOMPARE(code, codePrefix + def.key.mid(1));
        else
            QCOMPARE(code, def.key);
    }
}

void tst_ParameterTransfer::planRefusesARowOutsideTheSet()
{
    ParameterRowTable table;
    QVERIFY(table.parse(
        R"({"model": "KX100", "group": "", "index": 0, "code": "CD001", "key": "n001", "caption": "x", "page": "p", "register": 258, "kind": "integer", "min": 0, "max": 9})"));
    QString error;
    const ParameterTransfer::Plan plan =
        ParameterTransfer::makePlan(table, ParameterSet::forModel(QStringLiteral("KX100")), &error);
    QCOMPARE(plan.count(), 0);
    QVERIFY2(error.contains(QStringLiteral("258")), qPrintable(error));

    // A transfer over an empty plan refuses everything instead of failing later.
    ParameterTransfer transfer(plan);
    transfer.setSlot(1);
    QVERIFY(!transfer.Load());
    QVERIFY(!transfer.startUpload());
    QVERIFY(!transfer.applyDefaults());
}

void tst_ParameterTransfer::slotFromCaption_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("slot");
    const QString prefix = QStringLiteral("Загрузка:  ПЧ     #");
    QTest::newRow("slot 7") << prefix + "7" << 7;
    QTest::newRow("slot 31") << prefix + "31" << 31;
    QTest::newRow("trailing text") << prefix + "12abc" << 12;
    QTest::newRow("no digits gives 0") << prefix + "x" << 0;
    QTest::newRow("caption too short") << QStringLiteral("Загрузка") << 0;
    QTest::newRow("beyond the bus") << prefix + "32" << -1;
    QTest::newRow("huge number") << prefix + "99999999999999999999" << -1;
}

void tst_ParameterTransfer::slotFromCaption()
{
    QFETCH(QString, caption);
    QTEST(ParameterTransfer::slotFromCaption(caption, 19), "slot");
}

void tst_ParameterTransfer::kx100UploadReadsEveryRegisterInCodeOrder()
{
    startHost(RegisterLine::Protocol::Modbus, 1);
    m_host->registry().CreateKX100(1);
    for (int n = 1; n <= 108; ++n)
        m_line->registers[256 + n] = uint16_t(n);
    m_line->registers[259] = 1400;   // CD003 below its minimum 150.0
    m_line->registers[303] = 0xFFFB; // CD047 = -5
    m_line->registers[300] = 7;      // CD044, a two-item list: no item

    auto transfer = kx100(1);
    QSignalSpy finished(transfer.get(), &ParameterTransfer::finished);
    QSignalSpy progress(transfer.get(), &ParameterTransfer::progressChanged);
    QVERIFY(transfer->startUpload());
    QVERIFY(transfer->isBusy());
    const ParameterTransfer::Outcome outcome = waitFinished(finished);

    QCOMPARE(outcome.text, QStringLiteral("Upload OK"));
    QVERIFY(outcome.ok);
    QCOMPARE(outcome.attempted, 108);
    QList<int> expected;
    for (int n = 1; n <= 108; ++n)
        expected << 256 + n;
    QCOMPARE(m_line->requested, expected);
    QCOMPARE(m_line->written.first(), RegisterLine::withCrc(QByteArray::fromHex("010301010001")));
    QCOMPARE(progress.size(), 108);
    QCOMPARE(progress.first().at(2).toString(), QStringLiteral("UpLoad: 1 / 108"));
    QCOMPARE(progress.last().at(2).toString(), QStringLiteral("UpLoad: 108 / 108"));
    QCOMPARE(progress.last().at(0).toInt(), 108);
    QCOMPARE(progress.last().at(1).toInt(), 108);

    QCOMPARE(transfer->value(0), 1);
    QCOMPARE(transfer->value(107), 108);
    QCOMPARE(transfer->value(2), 1400); // shown as read, below the field's minimum
    QCOMPARE(transfer->value(46), -5);
    QCOMPARE(transfer->value(43), 7);
    QCOMPARE(transfer->shown(43).itemIndex, -1);
    QVERIFY(!transfer->isBusy());
    QVERIFY(!transfer->isModified());
    QVERIFY(!transfer->canDownload());
}

void tst_ParameterTransfer::uploadReportsTheParametersThatFailed()
{
    startHost(RegisterLine::Protocol::Modbus, 1);
    m_host->registry().CreateKX100(1);
    TInverterBase *driver = m_host->registry().GetInverter(1);
    driver->setParam(17, 42);
    m_line->silent = {256 + 17, 256 + 101}; // CD017 and CD101 never answer
    m_line->refused = {256 + 45};           // CD045 is refused by the inverter
    m_line->registers[256 + 17] = 99;

    auto transfer = kx100(1);
    QSignalSpy finished(transfer.get(), &ParameterTransfer::finished);
    QVERIFY(transfer->startUpload());
    const ParameterTransfer::Outcome outcome = waitFinished(finished);

    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.failedCodes, QStringList({QStringLiteral("CD017"), QStringLiteral("CD045"),
                                               QStringLiteral("CD101")}));
    QCOMPARE(outcome.text,
             QStringLiteral("Upload: 3 of 108 parameters failed: CD017, CD045, CD101"));
    // Every parameter was still asked for, and the failed one keeps the driver's value.
    QCOMPARE(m_line->requested.size(), 108);
    QCOMPARE(transfer->value(16), 42);
}

void tst_ParameterTransfer::silentSlotTimesOutEverywhereAndKeepsValues()
{
    startHost(RegisterLine::Protocol::Modbus, 9); // the inverter on the line is not slot 1
    m_host->registry().CreateKX100(1);
    m_host->registry().GetInverter(1)->setParam(19, 1234); // CD019

    auto transfer = kx100(1);
    QVERIFY(transfer->Load());
    QCOMPARE(transfer->value(18), 1234);
    QSignalSpy finished(transfer.get(), &ParameterTransfer::finished);
    QVERIFY(transfer->startUpload());
    const ParameterTransfer::Outcome outcome = waitFinished(finished);

    QCOMPARE(m_line->written.size(), 108);
    QCOMPARE(outcome.failedCodes.size(), 108);
    QVERIFY(outcome.text.startsWith(
        QStringLiteral("Upload: 108 of 108 parameters failed: CD001, CD002, ")));
    QVERIFY(outcome.text.endsWith(QStringLiteral("CD107, CD108")));
    QCOMPARE(transfer->value(18), 1234);
    QVERIFY(!transfer->isModified());
    QVERIFY(!transfer->canDownload());
}

void tst_ParameterTransfer::kx100DownloadWritesAndCommitsEachParameter()
{
    startHost(RegisterLine::Protocol::Modbus, 3);
    m_host->registry().CreateKX100(3);
    auto transfer = kx100(3);
    QVERIFY(transfer->Load());
    QVERIFY(!transfer->editText(46, QStringLiteral("-5")).corrected);   // CD047
    QVERIFY(transfer->editText(18, QStringLiteral("2.3")).value == 23); // CD019
    QVERIFY(transfer->canDownload());

    QSignalSpy finished(transfer.get(), &ParameterTransfer::finished);
    QSignalSpy status(transfer.get(), &ParameterTransfer::statusChanged);
    QVERIFY(transfer->startDownload());
    const ParameterTransfer::Outcome outcome = waitFinished(finished);
    QCOMPARE(outcome.text, QStringLiteral("Download OK"));
    QCOMPARE(outcome.attempted, 108);

    QCOMPARE(m_line->written.size(), 216);
    const QByteArray commit = RegisterLine::withCrc(QByteArray::fromHex("031009000001020000"));
    for (int n = 1; n <= 108; ++n) {
        const QByteArray write = m_line->written.at(2 * (n - 1));
        QCOMPARE(uint8_t(write[1]), uint8_t(0x10));
        QCOMPARE((uint8_t(write[2]) << 8) | uint8_t(write[3]), 256 + n);
        QCOMPARE(m_line->written.at(2 * n - 1), commit);
    }
    QCOMPARE(m_line->written.at(2 * 46),
             RegisterLine::withCrc(QByteArray::fromHex("0310012F000102FFFB")));
    QCOMPARE(m_line->registers.value(256 + 19), uint16_t(23));
    QCOMPARE(status.first().first().toString(), QStringLiteral("DownLoad: 1 / 108"));
    QCOMPARE(status.last().first().toString(), QStringLiteral("DownLoad: 108 / 108"));

    // The load at the end reads the driver, which stored the echoed values.
    QVERIFY(!transfer->isModified());
    QCOMPARE(transfer->value(46), -5);
    QCOMPARE(transfer->value(18), 23);
}

void tst_ParameterTransfer::kx200DownloadSkipsReadoutsAndReserved()
{
    startHost(RegisterLine::Protocol::Slash, 2);
    m_host->registry().CreateKX200(2);
    TInverterBase *driver = m_host->registry().GetInverter(2);
    driver->setParam(44, 1234); // CD44, read-only software version above its bound
    driver->setParam(48, 2);    // CD48, the bus address
    auto transfer = kx200(2);
    QVERIFY(transfer->Load());
    QVERIFY(transfer->applyDefaults());
    QCOMPARE(transfer->value(43), 0); // the default of CD44

    QSignalSpy finished(transfer.get(), &ParameterTransfer::finished);
    QSignalSpy progress(transfer.get(), &ParameterTransfer::progressChanged);
    QVERIFY(transfer->startDownload());
    const ParameterTransfer::Outcome outcome = waitFinished(finished);
    QCOMPARE(outcome.text, QStringLiteral("Download OK"));
    QCOMPARE(outcome.attempted, 43);
    QCOMPARE(m_line->written.size(), 43);
    QCOMPARE(progress.size(), 43);
    QCOMPARE(progress.first().at(2).toString(), QStringLiteral("DownLoad: 5 / 49"));
    QCOMPARE(progress.first().at(0).toInt(), 5);
    for (const auto &write : m_line->writes)
        QVERIFY(!QList<int>({1, 2, 3, 4, 0x23, 0x0700}).contains(write.first));
    QCOMPARE(m_line->writes.first(), qMakePair(5, uint16_t(0)));
    QCOMPARE(m_line->written.first(), RegisterLine::withSum(QByteArray::fromHex("2F025700050000")));
    QCOMPARE(m_line->writes.last().first, 0x0803);
    // A KX200 takes written values without a commit.
    QCOMPARE(m_line->writes.size(), 43);
}

void tst_ParameterTransfer::failedCommitsArePassedOverAndReported()
{
    startHost(RegisterLine::Protocol::Modbus, 1);
    m_host->registry().CreateKX100(1);
    m_line->refused = {0x0900};
    auto transfer = kx100(1);
    QVERIFY(transfer->Load());
    transfer->selectItem(4, 1);
    QSignalSpy finished(transfer.get(), &ParameterTransfer::finished);
    QVERIFY(transfer->startDownload());
    const ParameterTransfer::Outcome outcome = waitFinished(finished);
    // Every parameter is still written and committed in turn.
    QCOMPARE(m_line->written.size(), 216);
    QCOMPARE(m_line->writes.size(), 108);
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.failedCodes.size(), 108);
    QVERIFY(
        outcome.text.startsWith(QStringLiteral("Download: 108 of 108 parameters failed: CD001, ")));
}

void tst_ParameterTransfer::listValueOutsideItemsDownloadsUnchanged()
{
    startHost(RegisterLine::Protocol::Modbus, 1);
    m_host->registry().CreateKX100(1);
    m_host->registry().GetInverter(1)->setParam(5, 9); // CD005 has two items
    auto transfer = kx100(1);
    QVERIFY(transfer->Load());
    QCOMPARE(transfer->shown(4).itemIndex, -1);
    QVERIFY(transfer->editText(18, QStringLiteral("1")).value == 10); // some edit to enable it
    QSignalSpy finished(transfer.get(), &ParameterTransfer::finished);
    QVERIFY(transfer->startDownload());
    waitFinished(finished);
    QVERIFY(m_line->writes.contains(qMakePair(261, uint16_t(9))));
    QCOMPARE(transfer->value(4), 9);
}

void tst_ParameterTransfer::defaultsAreTakenAsTheyAreAndMarkModified()
{
    startHost(RegisterLine::Protocol::Modbus, 1);
    m_host->registry().CreateKX100(1);
    auto transfer = kx100(1);
    QVERIFY(transfer->Load());
    QVERIFY(!transfer->isModified());
    QSignalSpy shown(transfer.get(), &ParameterTransfer::valuesShown);
    QVERIFY(transfer->applyDefaults());
    QCOMPARE(shown.size(), 1);
    QVERIFY(transfer->isModified());
    QVERIFY(transfer->canDownload());
    QCOMPARE(transfer->value(52), 1); // CD053's factory value 0.1, below the field's 0.5
    QCOMPARE(transfer->shown(52).text, QStringLiteral("0.1"));
    QCOMPARE(transfer->value(2), 2000); // CD003
    QCOMPARE(transfer->value(1), 6);    // CD002, a disabled list, still takes its default
    // The driver is not touched by Default.
    QCOMPARE(m_host->registry().GetInverter(1)->param(53), 1);
    QVERIFY(m_line->written.isEmpty());
    // The bus address keeps the slot instead of the factory 0, which would take the inverter
    // off its address in the middle of a download.
    QCOMPARE(transfer->value(105), 1); // CD106
}

void tst_ParameterTransfer::editsFollowTheFieldRules()
{
    startHost(RegisterLine::Protocol::Modbus, 1);
    m_host->registry().CreateKX100(1);
    auto transfer = kx100(1);
    QVERIFY(transfer->Load());
    // Disabled lists and read-only fields cannot be edited.
    QVERIFY(!transfer->selectItem(1, 0));                                                // CD002
    const ParameterField::Edited address = transfer->editText(105, QStringLiteral("7")); // CD106
    QVERIFY(address.corrected);
    QCOMPARE(transfer->value(105), 0);
    QVERIFY(!transfer->isModified());
    // An item outside the list is refused, a valid one taken.
    QVERIFY(!transfer->selectItem(4, 2));
    QVERIFY(transfer->selectItem(4, 1));
    QCOMPARE(transfer->value(4), 1);
    QVERIFY(transfer->isModified());
    const ParameterField::Edited above = transfer->editText(18, QStringLiteral("4000"));
    QCOMPARE(above.correctedText, QStringLiteral("3600.0"));
    QCOMPARE(transfer->value(18), 36000);
}

void tst_ParameterTransfer::noSecondTransferAndNoEditsWhileRunning()
{
    startHost(RegisterLine::Protocol::Modbus, 1);
    m_host->registry().CreateKX100(1);
    auto transfer = kx100(1);
    QVERIFY(transfer->Load());
    transfer->selectItem(4, 1);
    QSignalSpy finished(transfer.get(), &ParameterTransfer::finished);
    QVERIFY(transfer->startUpload());
    QVERIFY(!transfer->canUpload());
    QVERIFY(!transfer->canDownload());
    QVERIFY(!transfer->canDefault());
    QVERIFY(!transfer->canEdit());
    QVERIFY(!transfer->startDownload());
    QVERIFY(!transfer->startUpload());
    QVERIFY(!transfer->applyDefaults());
    QVERIFY(!transfer->selectItem(4, 0));
    QVERIFY(!transfer->Load());
    QVERIFY(!transfer->setSlot(2));
    QCOMPARE(transfer->transferIndex(), 0);
    waitFinished(finished);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(m_line->written.size(), 108);
    QVERIFY(transfer->canUpload());
}

void tst_ParameterTransfer::loadRefusesEmptiedOrReplacedSlot()
{
    startHost(RegisterLine::Protocol::Modbus, 1);
    auto transfer = kx100(1);
    QSignalSpy status(transfer.get(), &ParameterTransfer::statusChanged);
    const QList<int32_t> before = transfer->workingCopy();
    QVERIFY(!transfer->Load());
    QCOMPARE(transfer->statusText(), QStringLiteral("No inverter at address 1: nothing loaded"));

    m_host->registry().CreateKX200(1);
    QVERIFY(!transfer->Load());
    QCOMPARE(transfer->statusText(),
             QStringLiteral("The inverter at address 1 is a KX200, not a KX100: nothing loaded"));
    QCOMPARE(transfer->workingCopy(), before);
    QVERIFY(!transfer->startUpload());
    QVERIFY(transfer->statusText().endsWith(QStringLiteral("nothing read")));
    QVERIFY(m_line->written.isEmpty());

    transfer->setSlot(-1);
    QVERIFY(!transfer->Load());
    QCOMPARE(status.size(), 4);
}

void tst_ParameterTransfer::slotEmptiedDuringDownloadKeepsEditsUnsent()
{
    startHost(RegisterLine::Protocol::Modbus, 1);
    m_host->registry().CreateKX100(1);
    auto transfer = kx100(1);
    QVERIFY(transfer->Load());
    transfer->editText(18, QStringLiteral("5"));
    QSignalSpy finished(transfer.get(), &ParameterTransfer::finished);
    QVERIFY(transfer->startDownload());
    m_host->registry().RemoveInverter(1);
    const ParameterTransfer::Outcome outcome = waitFinished(finished);
    QVERIFY(!outcome.ok);
    QVERIFY(outcome.replaced);
    QCOMPARE(outcome.attempted, 1);
    QCOMPARE(outcome.failedCodes, QStringList{QStringLiteral("CD001")});
    QCOMPARE(m_line->written.size(), 1); // the write in flight; nothing after
    QVERIFY(transfer->isModified());
    QCOMPARE(transfer->value(18), 50);
    QCOMPARE(transfer->statusText(), QStringLiteral("ПЧ #1 заменён во время обмена"));
}

void tst_ParameterTransfer::replacedDriverStopsTheTransfer()
{
    // A re-detection installs a KX200 driver while a KX100 download runs: nothing more is
    // sent, in neither model's frames.
    startHost(RegisterLine::Protocol::Modbus, 1);
    m_host->registry().CreateKX100(1);
    m_line->deferReplies = true;
    auto transfer = kx100(1);
    QVERIFY(transfer->Load());
    QSignalSpy finished(transfer.get(), &ParameterTransfer::finished);
    QVERIFY(transfer->startDownload());
    m_host->registry().CreateKX200(1);
    m_line->deferReplies = false;
    m_line->deliverPending();
    const ParameterTransfer::Outcome outcome = waitFinished(finished);
    QVERIFY(outcome.replaced);
    QCOMPARE(outcome.text, QStringLiteral("ПЧ #1 заменён во время обмена"));
    QCOMPARE(m_line->written.size(), 1);
    QVERIFY(!transfer->isBusy());

    // A new driver of the same model is a replacement too.
    m_host->registry().CreateKX100(1);
    QSignalSpy again(transfer.get(), &ParameterTransfer::finished);
    QVERIFY(transfer->startUpload());
    m_host->registry().CreateKX100(1);
    QVERIFY(waitFinished(again).replaced);
    QCOMPARE(m_line->written.size(), 2);
}

void tst_ParameterTransfer::valueBeyondTheRegisterIsNotSent()
{
    startHost(RegisterLine::Protocol::Modbus, 2);
    m_host->registry().CreateKX100(2);
    m_host->registry().GetInverter(2)->setParam(25, 99999); // CD025, loaded from a file
    auto transfer = kx100(2);
    QVERIFY(transfer->LoadAsStored());
    QCOMPARE(transfer->value(24), 99999);
    QSignalSpy finished(transfer.get(), &ParameterTransfer::finished);
    QVERIFY(transfer->startDownload());
    const ParameterTransfer::Outcome outcome = waitFinished(finished);
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.refusedCodes, QStringList{QStringLiteral("CD025")});
    QVERIFY2(outcome.text.contains(QStringLiteral("CD025 (99999)")), qPrintable(outcome.text));
    QCOMPARE(m_line->written.size(), 214); // every other parameter with its commit
    QVERIFY(!m_line->registers.contains(256 + 25));
    // The window's own load shows the value as it is stored, never a clamped one.
    QVERIFY(transfer->Load());
    QCOMPARE(transfer->value(24), 99999);
}

void tst_ParameterTransfer::strayCompletionIsDropped()
{
    startHost(RegisterLine::Protocol::Modbus, 1);
    m_host->registry().CreateKX100(1);
    m_line->deferReplies = true;
    auto transfer = kx100(1);
    QVERIFY(transfer->startUpload());
    // A completion for another slot, and one while idle, change nothing.
    auto record = std::make_shared<TransactionRecord>();
    InitTransaction(*record, transfer.get(), Msg::UploadStep, 0, 5);
    SendMessage(transfer.get(), Msg::UploadStep, 0, 0, record);
    auto wrongMessage = std::make_shared<TransactionRecord>();
    InitTransaction(*wrongMessage, transfer.get(), Msg::DownloadStep, 0, 1);
    SendMessage(transfer.get(), Msg::DownloadStep, 0, 0, wrongMessage);
    QCOMPARE(transfer->transferIndex(), 0);
    QCOMPARE(m_line->written.size(), 1);
    // The transfer goes on with the real completion and reads each register once.
    QSignalSpy finished(transfer.get(), &ParameterTransfer::finished);
    m_line->deferReplies = false;
    m_line->deliverPending();
    QVERIFY(waitFinished(finished).ok);
    QCOMPARE(m_line->written.size(), 108);
}

QTEST_GUILESS_MAIN(tst_ParameterTransfer)
#include "tst_ParameterTransfer.moc"
