#include "BusTestSupport.h"

#include "setup/IniFile.h"
#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "params/ParameterSet.h"

#include <QTest>

#include <cstring>

using namespace BusTestSupport;

class tst_TDM : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void createReplacesDriver();
    void saveOfEmptyRegistry();
    void saveWritesModelKeysInOrder();
    void loadSection_data();
    void loadSection();
    void loadOverExistingDrivers();
    void roundTripOfEveryModel_data();
    void roundTripOfEveryModel();
    void incompleteSectionStaysIncomplete_data();
    void incompleteSectionStaysIncomplete();
    void outOfRangeSlotsRefused_data();
    void outOfRangeSlotsRefused();
    void forwardersOnEmptySlotDoNothing();
    void forwarderSubmitsDriverRequest();
    void processReply_data();
    void processReply();
    void completionOfEmptiedSlotIsDropped();
    void completionOfRecreatedSlotIsDropped();
    void notifyChildren();

private:
    TransactionRecord freshRecord(int slot, uint32_t message = Msg::MonitorPollResult)
    {
        TransactionRecord record;
        InitTransaction(record, m_window, message, 0, slot);
        return record;
    }
    // Puts reply bytes into a record as the engine would.
    static void setReply(TransactionRecord &record, const QByteArray &hex)
    {
        const QByteArray bytes = QByteArray::fromHex(hex);
        std::memcpy(record.RxFrame, bytes.constData(), size_t(bytes.size()));
        record.RxLength = int32_t(bytes.size());
    }

    MessageRecorder *m_mainWindow = nullptr; // receives the submissions
    MessageRecorder *m_window = nullptr;     // the requester
};

void tst_TDM::init()
{
    m_mainWindow = new MessageRecorder;
    m_window = new MessageRecorder;
    SetMainWindow(m_mainWindow);
}

void tst_TDM::cleanup()
{
    SetMainWindow(nullptr);
    delete m_mainWindow;
    delete m_window;
}

void tst_TDM::createReplacesDriver()
{
    TDM dm;
    QVERIFY(dm.CreateKX300(6));
    dm.GetInverter(6)->setParam(0x0100, 77);
    const uint64_t before = dm.slotGeneration(6);

    QVERIFY(dm.CreateKX100(6));
    TInverterBase *driver = dm.GetInverter(6);
    QVERIFY(driver);
    QCOMPARE(driver->GetTypeName(), QStringLiteral("KX100"));
    QCOMPARE(driver->Address, 6);
    QCOMPARE(driver->param(3), 2000); // factory default of "n003"
    QVERIFY(dm.slotGeneration(6) != before);
    QCOMPARE(dm.GetEditorClass(6), QStringLiteral("TKX100DnLdForm"));

    dm.RemoveInverter(6);
    QVERIFY(!dm.HasInverter(6));
    QVERIFY(!dm.GetInverter(6));
    const uint64_t removed = dm.slotGeneration(6);
    dm.RemoveInverter(6); // empty already: nothing changes
    QCOMPARE(dm.slotGeneration(6), removed);
}

void tst_TDM::saveOfEmptyRegistry()
{
    TDM dm;
    IniFile ini;
    ini.writeString(QStringLiteral("RS232 Section"), QStringLiteral("COM Port"),
                    QStringLiteral("COM1"));
    // Stale keys of an earlier save disappear with their section.
    ini.writeString(QStringLiteral("  ПЧ     #4"), QStringLiteral("TypeName"),
                    QStringLiteral("KX100"));
    dm.SaveInverters(ini);

    QStringList expected{QStringLiteral("RS232 Section")};
    for (int slot = 0; slot < 32; ++slot)
        expected << QStringLiteral("  ПЧ     #") + QString::number(slot);
    QCOMPARE(ini.sections(), expected);
    for (int slot = 0; slot < 32; ++slot) {
        const QString section = TDM::SectionName(slot);
        QCOMPARE(ini.keys(section), QStringList{QStringLiteral("Enable")});
        QCOMPARE(ini.readString(section, QStringLiteral("Enable")), QStringLiteral("false"));
    }
    QCOMPARE(ini.readString(QStringLiteral("RS232 Section"), QStringLiteral("COM Port")),
             QStringLiteral("COM1"));
}

void tst_TDM::saveWritesModelKeysInOrder()
{
    TDM dm;
    dm.CreateKX200(9);
    IniFile ini;
    dm.SaveInverters(ini);
    const QStringList keys = ini.keys(TDM::SectionName(9));
    QCOMPARE(keys.size(), 2 + 49);
    QCOMPARE(keys.mid(0, 3), (QStringList{QStringLiteral("Enable"), QStringLiteral("TypeName"),
                                          QStringLiteral("CD01")}));
    QCOMPARE(keys.last(), QStringLiteral("CD49"));
    QCOMPARE(ini.readString(TDM::SectionName(9), QStringLiteral("Enable")), QStringLiteral("true"));
    QCOMPARE(ini.readString(TDM::SectionName(9), QStringLiteral("TypeName")),
             QStringLiteral("KX200"));
}

void tst_TDM::loadSection_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("model"); // empty: the slot keeps its driver and parameters
    QTest::newRow("KX100") << QStringLiteral("Enable=true\nTypeName=KX100\n") << "KX100";
    QTest::newRow("KX200") << QStringLiteral("Enable=true\nTypeName=KX200\n") << "KX200";
    QTest::newRow("KX300") << QStringLiteral("Enable=true\nTypeName=KX300\n") << "KX300";
    QTest::newRow("no TypeName") << QStringLiteral("Enable=true\n") << "KX300";
    QTest::newRow("empty TypeName") << QStringLiteral("Enable=true\nTypeName=\n") << "KX300";
    QTest::newRow("unknown TypeName") << QStringLiteral("Enable=true\nTypeName=kx100\n") << "KX300";
    QTest::newRow("foreign TypeName") << QStringLiteral("Enable=true\nTypeName=VFD\n") << "KX300";
    QTest::newRow("True") << QStringLiteral("Enable=True\nTypeName=KX100\n") << QString();
    QTest::newRow("TRUE") << QStringLiteral("Enable=TRUE\nTypeName=KX100\n") << QString();
    QTest::newRow("1") << QStringLiteral("Enable=1\nTypeName=KX100\n") << QString();
    QTest::newRow("empty Enable") << QStringLiteral("Enable=\nTypeName=KX100\n") << QString();
    QTest::newRow("false") << QStringLiteral("Enable=false\nTypeName=KX100\n") << QString();
    QTest::newRow("no Enable") << QStringLiteral("TypeName=KX100\n") << QString();
}

void tst_TDM::loadSection()
{
    QFETCH(QString, section);
    QFETCH(QString, model);
    TDM dm;
    dm.CreateKX200(17);
    dm.GetInverter(17)->setParam(6, 99);
    IniFile ini;
    // "n003" is a KX100 key, "A1-01" register 0x0101 of a KX300; other models ignore them.
    ini.parse(QStringLiteral("[  ПЧ     #17]\n") + section +
              QStringLiteral("n003=1500\nA1-01=3\n"));
    dm.LoadInverters(ini);

    for (int slot = 0; slot < 32; ++slot)
        QCOMPARE(dm.HasInverter(slot), slot == 17);
    TInverterBase *driver = dm.GetInverter(17);
    if (model.isEmpty()) {
        QCOMPARE(driver->GetTypeName(), QStringLiteral("KX200"));
        QCOMPARE(driver->param(6), 99);
        return;
    }
    QCOMPARE(driver->GetTypeName(), model);
    QCOMPARE(driver->Address, 17);
    if (model == QStringLiteral("KX100"))
        QCOMPARE(driver->param(3), 1500);
    else if (model == QStringLiteral("KX200"))
        QCOMPARE(driver->param(6), 30); // a fresh driver: the default
    else
        QCOMPARE(driver->param(0x0101), 3);
}

void tst_TDM::loadOverExistingDrivers()
{
    TDM dm;
    dm.CreateKX100(1);
    dm.GetInverter(1)->setParam(3, 1111);
    dm.CreateKX200(2);
    dm.GetInverter(2)->setParam(6, 22);
    dm.CreateKX300(3);
    dm.GetInverter(3)->setParam(0x0101, 33);

    IniFile ini;
    ini.parse(QStringLiteral("[  ПЧ     #1]\nEnable=true\nTypeName=KX200\nCD06=45\n"
                             "[  ПЧ     #2]\nEnable=false\n"
                             "[  ПЧ     #5]\nEnable=true\nTypeName=KX100\n"));
    TInverterBase *kept = dm.GetInverter(2);
    dm.LoadInverters(ini);

    QCOMPARE(dm.GetTypeName(1), QStringLiteral("KX200"));
    QCOMPARE(dm.GetInverter(1)->param(6), 45);
    QCOMPARE(dm.GetInverter(1)->param(7), 30); // a missing key gives the default
    QCOMPARE(dm.GetInverter(2), kept);
    QCOMPARE(dm.GetInverter(2)->param(6), 22);
    QCOMPARE(dm.GetInverter(3)->param(0x0101), 33);
    QCOMPARE(dm.GetTypeName(5), QStringLiteral("KX100"));
    QCOMPARE(dm.GetInverter(5)->param(3), 2000);
}

void tst_TDM::roundTripOfEveryModel_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("hexKey");
    QTest::addColumn<QString>("badKey");
    QTest::addColumn<QString>("negativeKey");
    QTest::newRow("KX100") << "KX100"
                           << "n010"
                           << "n011"
                           << "n047";
    QTest::newRow("KX200") << "KX200"
                           << "CD10"
                           << "CD11"
                           << "CD12";
    QTest::newRow("KX300") << "KX300"
                           << "A1-02"
                           << "B1-01"
                           << "B5-07";
}

void tst_TDM::roundTripOfEveryModel()
{
    QFETCH(QString, model);
    QFETCH(QString, hexKey);
    QFETCH(QString, badKey);
    QFETCH(QString, negativeKey);
    const ParameterSet &set = ParameterSet::forModel(model);
    QVERIFY2(!set.isEmpty(), qPrintable(set.errorString()));
    const ParameterDef *hex = set.findKey(hexKey);
    const ParameterDef *bad = set.findKey(badKey);
    const ParameterDef *negative = set.findKey(negativeKey);
    QVERIFY(hex && bad && negative);

    // Every key gets its own value; three carry the awkward texts.
    QString text = QStringLiteral("[  ПЧ     #31]\nEnable=true\nTypeName=") + model + '\n';
    for (const ParameterDef &def : set.rows()) {
        QString value = QString::number(def.index * 3 + 1);
        if (&def == hex)
            value = QStringLiteral("0x10");
        else if (&def == bad)
            value = QStringLiteral("abc");
        else if (&def == negative)
            value = QStringLiteral("-5");
        text += def.key + '=' + value + '\n';
    }
    IniFile ini;
    ini.parse(text);
    TDM dm;
    dm.LoadInverters(ini);
    TInverterBase *loaded = dm.GetInverter(31);
    QVERIFY(loaded);
    QCOMPARE(loaded->GetTypeName(), model);
    QCOMPARE(loaded->param(hex->index), 16);
    QCOMPARE(loaded->param(bad->index), bad->defaultValue);
    QCOMPARE(loaded->param(negative->index), -5);
    for (const ParameterDef &def : set.rows())
        if (&def != hex && &def != bad && &def != negative)
            QCOMPARE(loaded->param(def.index), def.index * 3 + 1);

    // Saved and read back through a file, the set is the same.
    IniFile saved;
    dm.SaveInverters(saved);
    QCOMPARE(saved.readString(TDM::SectionName(31), hexKey), QStringLiteral("16"));
    QCOMPARE(saved.readString(TDM::SectionName(31), negativeKey), QStringLiteral("-5"));
    IniFile reread;
    reread.parse(saved.toText());
    TDM other;
    other.LoadInverters(reread);
    QVERIFY(other.GetInverter(31));
    QCOMPARE(other.GetInverter(31)->Params(), loaded->Params());
    for (int slot = 0; slot < 31; ++slot)
        QVERIFY(!other.HasInverter(slot));
}

void tst_TDM::incompleteSectionStaysIncomplete_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QStringList>("unread");
    QTest::newRow("KX100") << "KX100" << QStringList{"n003", "n019"};
    QTest::newRow("KX200") << "KX200" << QStringList{"CD16"};
    QTest::newRow("KX300") << "KX300" << QStringList{"O1-03"};
}

void tst_TDM::incompleteSectionStaysIncomplete()
{
    // The program opens a backup some reads of which failed, and saves it again: the keys
    // stay missing and named, and never take factory values.
    QFETCH(QString, model);
    QFETCH(QStringList, unread);
    QString text = QStringLiteral("[  ПЧ     #5]\nEnable=true\nTypeName=") + model + '\n';
    for (const ParameterDef &def : ParameterSet::forModel(model).rows()) {
        if (!unread.contains(def.key))
            text += def.key + QStringLiteral("=1\n");
    }
    text += QStringLiteral("Incomplete=") + unread.join(',') + '\n';
    IniFile ini;
    ini.parse(text);
    TDM dm;
    dm.LoadInverters(ini);
    IniFile saved;
    dm.SaveInverters(saved);
    const QString section = TDM::SectionName(5);
    for (const QString &key : unread)
        QVERIFY2(!saved.valueExists(section, key), qPrintable(key));
    QCOMPARE(saved.readString(section, QStringLiteral("Incomplete")), unread.join(','));
    QCOMPARE(saved.keys(section).size(), ini.keys(section).size());
    // A value the operator sets is his, and is saved.
    const ParameterDef *first = ParameterSet::forModel(model).findKey(unread.first());
    dm.GetInverter(5)->setParam(first->index, 7);
    dm.SaveInverters(saved);
    QCOMPARE(saved.readInteger(section, unread.first(), -1), 7);
    QCOMPARE(saved.readString(section, QStringLiteral("Incomplete")), unread.mid(1).join(','));
    // What a section holds twice is named to the caller.
    IniFile twice;
    twice.parse(text + QStringLiteral("TypeName=KX100\n"));
    QCOMPARE(TDM().LoadInverters(twice), QStringList{QStringLiteral("ПЧ #5: key TypeName twice")});
}

void tst_TDM::outOfRangeSlotsRefused_data()
{
    QTest::addColumn<int>("slot");
    QTest::newRow("-1") << -1;
    QTest::newRow("32") << 32;
    QTest::newRow("65535") << 65535;
    QTest::newRow("int min") << int(INT32_MIN);
    QTest::newRow("int max") << int(INT32_MAX);
}

void tst_TDM::outOfRangeSlotsRefused()
{
    QFETCH(int, slot);
    TDM dm;
    QVERIFY(!dm.CreateKX100(slot));
    QVERIFY(!dm.CreateKX200(slot));
    QVERIFY(!dm.CreateKX300(slot));
    dm.RemoveInverter(slot);
    QVERIFY(!dm.HasInverter(slot));
    QVERIFY(!dm.GetInverter(slot));
    QCOMPARE(dm.GetOutputFreq(slot), 0.0f);
    QVERIFY(!dm.GetRunning(slot));

    TransactionRecord record = freshRecord(slot);
    QVERIFY(!dm.Run(record));
    record.Result = TransactionResult::Ok;
    record.RxLength = 7;
    dm.ProcessReply(record);
    QCOMPARE(record.Result, int32_t(TransactionResult::CommError));

    dm.setChildrenProvider([this] { return QList<QObject *>{m_window}; });
    dm.NotifyChildren(slot, InverterStateCode::Present);
    QCoreApplication::sendPostedEvents();
    QVERIFY(m_window->received.isEmpty());
    QVERIFY(m_mainWindow->received.isEmpty());
}

void tst_TDM::forwardersOnEmptySlotDoNothing()
{
    TDM dm;
    dm.CreateKX100(0);
    const int slot = 4;
    QCOMPARE(dm.GetTypeName(slot), QString());
    QCOMPARE(dm.GetEditorClass(slot), QString());
    QVERIFY(!dm.GetRunning(slot) && !dm.GetReverse(slot) && !dm.GetAuxFlag(slot));
    QCOMPARE(dm.GetFreqRef(slot), 0.0f);
    QCOMPARE(dm.GetOutputVoltage(slot), 0.0f);
    QCOMPARE(dm.GetOutputCurrent(slot), 0.0f);

    using Request = bool (TDM::*)(TransactionRecord &);
    const QList<Request> requests{&TDM::SendCommit,
                                  &TDM::ReadAddress,
                                  &TDM::ReadFreqRef,
                                  &TDM::ReadOutputFreq,
                                  &TDM::ReadOutputVoltage,
                                  &TDM::ReadOutputCurrent,
                                  &TDM::WriteAddress,
                                  &TDM::Run,
                                  &TDM::Stop,
                                  &TDM::Forward,
                                  &TDM::RunReverse,
                                  &TDM::AuxCommand,
                                  &TDM::WriteFreqRef};
    for (Request request : requests) {
        TransactionRecord record = freshRecord(slot);
        QVERIFY(!(dm.*request)(record));
    }
    TransactionRecord record = freshRecord(slot);
    QVERIFY(!dm.ReadRegister(300, record));
    QVERIFY(!dm.WriteRegister(300, record));
    QVERIFY(m_mainWindow->received.isEmpty());

    // An operation the model lacks sends nothing either: KX200 has no commit.
    dm.CreateKX200(slot);
    record = freshRecord(slot);
    QVERIFY(!dm.SendCommit(record));
    QVERIFY(m_mainWindow->received.isEmpty());
}

void tst_TDM::forwarderSubmitsDriverRequest()
{
    TDM dm;
    dm.CreateKX100(1);
    TransactionRecord record = freshRecord(1, Msg::DetectKX100Result);
    QVERIFY(dm.ReadAddress(record));
    QCOMPARE(m_mainWindow->received.size(), 1);
    const auto &submitted = m_mainWindow->received.first();
    QCOMPARE(submitted.message, Msg::Submit);
    QVERIFY(submitted.record);
    QCOMPARE(submitted.record->Slot, 1);
    QCOMPARE(submitted.record->NotifyMessage, Msg::DetectKX100Result);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(submitted.record->TxFrame),
                        submitted.record->TxLength)
                 .toHex(' ')
                 .toUpper(),
             QByteArray("01 03 01 6A 00 01 A5 EA"));
}

void tst_TDM::processReply_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("expectedResult");
    QTest::addColumn<float>("expectedFreq");
    // Output frequency of the KX100 at slot 3 is register 36, tenths of a hertz.
    QTest::newRow("valid") << 0 << withCrc("03 03 02 01 F4") << 0 << 50.0f;
    QTest::newRow("time-out untouched") << 1 << withCrc("03 03 02 01 F4") << 1 << 0.0f;
    QTest::newRow("bad crc") << 0 << QByteArray("03 03 02 01 F4 00 00") << 3 << 0.0f;
    QTest::newRow("exception") << 0 << withCrc("03 83 02") << 2 << 0.0f;
    QTest::newRow("too short") << 0 << QByteArray("03 03 02") << 3 << 0.0f;
}

void tst_TDM::processReply()
{
    QFETCH(int, result);
    QFETCH(QByteArray, reply);
    QFETCH(int, expectedResult);
    QFETCH(float, expectedFreq);
    TDM dm;
    dm.CreateKX100(3);
    TransactionRecord record = freshRecord(3);
    QVERIFY(dm.ReadOutputFreq(record));
    setReply(record, reply);
    record.Result = result;
    dm.ProcessReply(record);
    QCOMPARE(record.Result, expectedResult);
    QCOMPARE(dm.GetOutputFreq(3), expectedFreq);
}

void tst_TDM::completionOfEmptiedSlotIsDropped()
{
    TDM dm;
    dm.CreateKX100(3);
    TransactionRecord record = freshRecord(3);
    QVERIFY(dm.ReadOutputFreq(record));
    dm.RemoveInverter(3);
    setReply(record, withCrc("03 03 02 01 F4"));
    dm.ProcessReply(record);
    QCOMPARE(record.Result, int32_t(TransactionResult::CommError));
    QVERIFY(!dm.HasInverter(3));

    // A record built without the registry is still refused on an empty slot.
    TransactionRecord foreign = freshRecord(3);
    setReply(foreign, withCrc("03 03 02 01 F4"));
    dm.ProcessReply(foreign);
    QCOMPARE(foreign.Result, int32_t(TransactionResult::CommError));
}

void tst_TDM::completionOfRecreatedSlotIsDropped()
{
    TDM dm;
    dm.CreateKX100(3);
    TransactionRecord older = freshRecord(3);
    QVERIFY(dm.ReadOutputFreq(older));
    dm.CreateKX100(3); // the slot is refilled while the request is on its way
    TransactionRecord newer = freshRecord(3);
    QVERIFY(dm.ReadOutputFreq(newer)); // the very same request bytes

    // Completions come back in submission order: the older one is dropped, the newer decoded.
    setReply(older, withCrc("03 03 02 01 F4"));
    dm.ProcessReply(older);
    QCOMPARE(older.Result, int32_t(TransactionResult::CommError));
    QCOMPARE(dm.GetOutputFreq(3), 0.0f);

    setReply(newer, withCrc("03 03 02 02 58"));
    dm.ProcessReply(newer);
    QCOMPARE(newer.Result, int32_t(TransactionResult::Ok));
    QCOMPARE(dm.GetOutputFreq(3), 60.0f);

    // A time-out of a stale request stays a time-out.
    TransactionRecord stale = freshRecord(3);
    QVERIFY(dm.ReadOutputFreq(stale));
    dm.CreateKX200(3);
    stale.Result = TransactionResult::TimeOut;
    dm.ProcessReply(stale);
    QCOMPARE(stale.Result, int32_t(TransactionResult::TimeOut));
}

void tst_TDM::notifyChildren()
{
    TDM dm;
    dm.NotifyChildren(2, InverterStateCode::Detecting); // no provider: nothing happens

    MessageRecorder other;
    dm.setChildrenProvider([&] { return QList<QObject *>{m_window, &other}; });
    dm.NotifyChildren(2, InverterStateCode::Detecting);
    dm.NotifyChildren(31, InverterStateCode::Fault);
    QVERIFY(m_window->received.isEmpty()); // posted, not sent
    QCoreApplication::sendPostedEvents();
    for (MessageRecorder *child : {m_window, &other}) {
        QCOMPARE(child->states(), (StateList{{2, 2}, {31, 3}}));
        QCOMPARE(child->received.first().wParam, 0);
        QCOMPARE(child->received.last().lParam, (31 << 16) + 3);
    }
    QVERIFY(m_mainWindow->received.isEmpty());

    dm.setChildrenProvider([] { return QList<QObject *>{}; });
    dm.NotifyChildren(1, InverterStateCode::Present);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(m_window->received.size(), 2);
}

QTEST_GUILESS_MAIN(tst_TDM)
#include "tst_TDM.moc"
