#include "RecordingDialogs.h"
#include "TransferTestSupport.h"

#include "app/RegisterWindowClasses.h"
#include "app/WindowClasses.h"
#include "bus/BusHost.h"
#include "bus/TInverterBase.h"
#include "params/ParameterSet.h"
#include "editors/ParameterSpinEdit.h"
#include "editors/TKX300GroupForm.h"
#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <memory>

// The KX300 group windows on a line with a KX300 at address 2 (and a KX100 at address 5).
class tst_TKX300GroupForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void classesCaptionsAndSizes();
    void tableGroupUploadReadsRowRegistersInOrder_data();
    void tableGroupUploadReadsRowRegistersInOrder();
    void downloadWritesEachParameterThenCommits();
    void editingA1_03LeavesA1_04Alone();
    void fieldsShowTheirScale();
    void negativeSettingReadsBackSigned();
    void defaultLoadsTheGroupsOwnValues();
    void monitorUploadReadsAllFiftyRegisters();
    void monitorShowsValuesAsReadAndClosesWithoutAsking();
    void failedReadIsNamedInTheBox();
    void slotOfAnotherModelIsNotRead();

private:
    TKX300GroupForm *open(QChar letter, int slot = 2);
    ParameterSpinEdit *spin(int entry) const;
    QComboBox *combo(int entry) const;
    int entryOf(const QString &code) const;
    void runTransfer(QPushButton *button);
    // The registers of a group's keys in the KX300 parameter set, in set order.
    static QList<int> setRegisters(QChar letter);

    RecordingDialogs *m_dialogs = nullptr;
    std::unique_ptr<RegisterLine> m_line;
    std::unique_ptr<BusHost> m_host;
    TKX300GroupForm *m_form = nullptr;
};

void tst_TKX300GroupForm::initTestCase()
{
    RegisterWindowClasses();
}

void tst_TKX300GroupForm::init()
{
    m_dialogs = RecordingDialogs::installNew();
    m_line = std::make_unique<RegisterLine>(RegisterLine::Protocol::Modbus, 2);
    m_host = std::make_unique<BusHost>(m_line.get());
    m_host->engine().setTimerInterval(1);
    m_host->engine().setTimeOutLimit(1);
    m_host->registry().CreateKX300(2);
    m_host->registry().CreateKX100(5);
}

void tst_TKX300GroupForm::cleanup()
{
    delete m_form;
    m_form = nullptr;
    m_host.reset();
    m_line.reset();
    OperatorDialogs::install(nullptr);
}

TKX300GroupForm *tst_TKX300GroupForm::open(QChar letter, int slot)
{
    delete m_form;
    const TKX300Group *group = TKX300Groups::byLetter(letter);
    m_form = qobject_cast<TKX300GroupForm *>(WindowClasses::create(group->className));
    if (!m_form)
        return nullptr;
    m_form->setWindowTitle(group->caption(slot));
    m_form->show();
    // The first show posts the load to the window.
    QCoreApplication::processEvents();
    return m_form;
}

ParameterSpinEdit *tst_TKX300GroupForm::spin(int entry) const
{
    return qobject_cast<ParameterSpinEdit *>(m_form->field(entry));
}

QComboBox *tst_TKX300GroupForm::combo(int entry) const
{
    return qobject_cast<QComboBox *>(m_form->field(entry));
}

int tst_TKX300GroupForm::entryOf(const QString &code) const
{
    const QList<ParameterRow> &rows = m_form->transfer().plan().rows;
    for (const ParameterRow &row : rows)
        if (row.code == code)
            return row.index;
    return -1;
}

void tst_TKX300GroupForm::runTransfer(QPushButton *button)
{
    QVERIFY(button->isEnabled());
    button->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->transfer().isBusy(), 20000);
}

QList<int> tst_TKX300GroupForm::setRegisters(QChar letter)
{
    QList<int> registers;
    for (const ParameterDef &def : ParameterSet::forModel(QStringLiteral("KX300")).rows())
        if (def.key.startsWith(letter))
            registers << def.registerNumber;
    return registers;
}

void tst_TKX300GroupForm::classesCaptionsAndSizes()
{
    for (const TKX300Group &group : TKX300Groups::all()) {
        QVERIFY(WindowClasses::isRegistered(group.className));
        QCOMPARE(WindowClasses::kind(group.className) == WindowClasses::Kind::MdiChild,
                 group.mdiChild);
        TKX300GroupForm *form = open(group.letter, 7);
        QVERIFY(form);
        QCOMPARE(QString::fromLatin1(form->metaObject()->className()), group.className);
        QCOMPARE(&form->group(), &group);
        QCOMPARE(form->captionPrefix(), group.captionPrefix);
        QCOMPARE(form->size(), group.size);
        QCOMPARE(form->pageControl()->count(), group.pages.size());
        for (int page = 0; page < group.pages.size(); ++page)
            QCOMPARE(form->pageControl()->tabText(page), group.pages[page]);
        QCOMPARE(form->transfer().slot(), 7);
        // The monitor group has only Upload.
        QCOMPARE(form->downLoadButton()->isEnabled(), false);
        QCOMPARE(form->defaultButton()->isEnabled(), !group.readOnly);
    }
}

void tst_TKX300GroupForm::tableGroupUploadReadsRowRegistersInOrder_data()
{
    QTest::addColumn<QChar>("letter");
    QTest::addColumn<int>("count");
    QTest::newRow("B") << QChar('B') << 33;
    QTest::newRow("C") << QChar('C') << 34;
    QTest::newRow("E") << QChar('E') << 33;
    QTest::newRow("L") << QChar('L') << 35;
}

void tst_TKX300GroupForm::tableGroupUploadReadsRowRegistersInOrder()
{
    QFETCH(QChar, letter);
    QFETCH(int, count);
    open(letter);
    runTransfer(m_form->upLoadButton());
    const QList<int> expected = setRegisters(letter);
    QCOMPARE(expected.size(), count);
    QCOMPARE(m_line->requested, expected);
    QCOMPARE(m_form->progressBar()->value(), count);
    QCOMPARE(m_form->msgPanel()->text(), QStringLiteral("UpLoad: %1 / %1").arg(count));
    QCOMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_dialogs->shown.first().text, QStringLiteral("Upload OK"));
    QCOMPARE(m_dialogs->shown.first().caption, m_form->windowTitle());
    QCOMPARE(m_dialogs->shown.first().icon, OperatorDialogs::Icon::Information);
}

void tst_TKX300GroupForm::downloadWritesEachParameterThenCommits()
{
    open(QLatin1Char('O'));
    m_form->defaultButton()->click();
    runTransfer(m_form->downLoadButton());
    const ParameterTransfer::Plan &plan = m_form->transfer().plan();
    QList<QPair<int, uint16_t>> expected;
    for (int i = 0; i < plan.count(); ++i) {
        expected.append({0x0500 + i, uint16_t(plan.defaults[i])});
        expected.append({0xFFFD, 0});
    }
    QCOMPARE(m_line->writes.size(), 28);
    QCOMPARE(m_line->writes, expected);
    QCOMPARE(m_dialogs->texts(), QStringList{"Download OK"});
    // The driver holds what was written; the window is clean again.
    QCOMPARE(m_host->registry().GetInverter(2)->param(0x050B), 1); // O2-07
    QVERIFY(!m_form->transfer().isModified());
    QVERIFY(!m_form->downLoadButton()->isEnabled());
}

void tst_TKX300GroupForm::editingA1_03LeavesA1_04Alone()
{
    TInverterBase *driver = m_host->registry().GetInverter(2);
    driver->setParam(0x0103, 5);
    driver->setParam(0x0104, 7);
    open(QLatin1Char('A'));
    QCOMPARE(entryOf(QStringLiteral("A1-03")), 3);
    spin(3)->setFieldText(QStringLiteral("1234"));
    QCOMPARE(m_form->transfer().value(3), 1234);
    QCOMPARE(m_form->transfer().value(4), 7);
    QCOMPARE(spin(4)->fieldText(), QStringLiteral("7"));
    runTransfer(m_form->downLoadButton());
    QList<QPair<int, uint16_t>> parameterWrites;
    for (const auto &write : m_line->writes)
        if (write.first == 0x0103 || write.first == 0x0104)
            parameterWrites << write;
    QCOMPARE(parameterWrites, (QList<QPair<int, uint16_t>>{{0x0103, 1234}, {0x0104, 7}}));
    QCOMPARE(driver->param(0x0104), 7);
}

void tst_TKX300GroupForm::fieldsShowTheirScale()
{
    TInverterBase *driver = m_host->registry().GetInverter(2);
    driver->setParam(0x0388, 15); // F1-09, tenths like F1-11
    driver->setParam(0x038A, 15); // F1-11
    open(QLatin1Char('F'));
    QCOMPARE(spin(entryOf(QStringLiteral("F1-09")))->fieldText(), QStringLiteral("1.5"));
    QCOMPARE(spin(entryOf(QStringLiteral("F1-11")))->fieldText(), QStringLiteral("1.5"));
    spin(8)->setFieldText(QString());
    spin(8)->setFieldText(QStringLiteral("1.2"));
    QCOMPARE(m_form->transfer().value(8), 12);

    driver->setParam(0x019D, 25); // B6-02
    open(QLatin1Char('B'));
    const int b602 = entryOf(QStringLiteral("B6-02"));
    QCOMPARE(spin(b602)->fieldText(), QStringLiteral("2.5"));
    spin(b602)->setFieldText(QStringLiteral("2.5"));
    QCOMPARE(m_form->transfer().value(b602), 25);
    // B5_05 keeps its register value through showing and storing back.
    driver->setParam(0x0198, 123);
    open(QLatin1Char('B'));
    const int b505 = entryOf(QStringLiteral("B5_05"));
    const QString shown = spin(b505)->fieldText();
    spin(b505)->setFieldText(QString());
    spin(b505)->setFieldText(shown);
    QCOMPARE(m_form->transfer().value(b505), 123);

    open(QLatin1Char('E'));
    const int e501 = entryOf(QStringLiteral("E5-01"));
    m_form->defaultButton()->click();
    QCOMPARE(spin(e501)->fieldText(), QStringLiteral("1.90"));
    QCOMPARE(m_form->transfer().value(e501), 190);
    QVERIFY(m_form->downLoadButton()->isEnabled());
}

void tst_TKX300GroupForm::negativeSettingReadsBackSigned()
{
    open(QLatin1Char('B'));
    const int b507 = entryOf(QStringLiteral("B5_07"));
    spin(b507)->setFieldText(QStringLiteral("-5.0"));
    QCOMPARE(m_form->transfer().value(b507), -50);
    runTransfer(m_form->downLoadButton());
    QVERIFY(m_line->writes.contains(QPair<int, uint16_t>(0x019A, 0xFFCE)));
    // The echo of the write is unsigned; the field still shows the value that was sent.
    QCOMPARE(spin(b507)->fieldText(), QStringLiteral("-5.0"));
    QCOMPARE(m_form->transfer().value(b507), -50);
    QCOMPARE(m_dialogs->texts(), QStringList{"Download OK"});

    // A read of the same word shows the same value.
    m_line->registers[0x040B] = 0xFF9C; // H3-03: -10.0
    open(QLatin1Char('H'));
    runTransfer(m_form->upLoadButton());
    const int h303 = entryOf(QStringLiteral("H3-03"));
    QCOMPARE(spin(h303)->fieldText(), QStringLiteral("-10.0"));
    QCOMPARE(m_form->transfer().value(h303), -100);
}

void tst_TKX300GroupForm::defaultLoadsTheGroupsOwnValues()
{
    open(QLatin1Char('D'));
    m_form->defaultButton()->click();
    QCOMPARE(m_form->transfer().value(entryOf(QStringLiteral("D5-03"))), 0);
    QCOMPARE(combo(entryOf(QStringLiteral("D5-03")))->currentText(),
             QStringLiteral("0: По аналоговому входу"));
    QCOMPARE(m_form->transfer().value(entryOf(QStringLiteral("D2-01"))), 1000);
    QVERIFY(m_line->written.isEmpty()); // nothing is sent until a download
    // The defaults count as an edit: closing asks.
    m_dialogs->answers = {OperatorDialogs::Answer::No};
    QVERIFY(!m_form->close());
    QCOMPARE(m_dialogs->shown.size(), 1);

    open(QLatin1Char('H'));
    m_form->defaultButton()->click();
    QCOMPARE(spin(entryOf(QStringLiteral("H3-06")))->fieldText(), QStringLiteral("100.0"));
    open(QLatin1Char('O'));
    m_form->defaultButton()->click();
    QCOMPARE(spin(entryOf(QStringLiteral("O2-07")))->fieldText(), QStringLiteral("1"));
}

void tst_TKX300GroupForm::monitorUploadReadsAllFiftyRegisters()
{
    open(QLatin1Char('U'));
    QVERIFY(!m_form->downLoadButton()->isEnabled());
    QVERIFY(!m_form->defaultButton()->isEnabled());
    runTransfer(m_form->upLoadButton());
    QList<int> expected;
    for (int r = 0x0020; r <= 0x003B; ++r)
        expected << r;
    for (int r = 0x0080; r <= 0x008D; ++r)
        expected << r;
    for (int r = 0x0090; r <= 0x0097; ++r)
        expected << r;
    QCOMPARE(m_line->requested, expected);
    QVERIFY(m_line->requested.contains(0x002D)); // U1-14
    QVERIFY(m_line->requested.contains(0x003B)); // U1-28
    QVERIFY(m_line->writes.isEmpty());
    QCOMPARE(m_form->msgPanel()->text(), QStringLiteral("UpLoad: 50 / 50"));
    QCOMPARE(m_dialogs->texts(), QStringList{"Upload OK"});
    QVERIFY(!m_form->downLoadButton()->isEnabled());
    QVERIFY(!m_form->defaultButton()->isEnabled());
    QVERIFY(m_form->upLoadButton()->isEnabled());
}

void tst_TKX300GroupForm::monitorShowsValuesAsReadAndClosesWithoutAsking()
{
    m_line->registers[0x0021] = 0xEC78; // U1-02: -50.00
    m_line->registers[0x0023] = 2;      // U1-04
    m_line->registers[0x002C] = 150;    // U1-13 above its nominal 0 .. 99
    m_line->registers[0x002D] = 3;      // U1-14
    m_line->registers[0x003B] = 0x0102; // U1-28
    m_line->registers[0x0090] = 7;      // U3-01
    open(QLatin1Char('U'));
    runTransfer(m_form->upLoadButton());
    QCOMPARE(spin(1)->fieldText(), QStringLiteral("-50.00"));
    QCOMPARE(combo(3)->currentIndex(), 2);
    QCOMPARE(combo(3)->currentText(), QStringLiteral("2: Векторный без ИД"));
    QCOMPARE(spin(12)->fieldText(), QStringLiteral("150"));
    QCOMPARE(combo(13)->currentText(), QStringLiteral("Резерв"));
    QCOMPARE(combo(27)->currentText(), QStringLiteral("Резерв"));
    QCOMPARE(spin(42)->fieldText(), QStringLiteral("7"));
    // The driver keeps what was read, the two "Резерв" registers included.
    TInverterBase *driver = m_host->registry().GetInverter(2);
    QCOMPARE(driver->param(0x002D), 3);
    QCOMPARE(driver->param(0x003B), 0x0102);
    QCOMPARE(driver->param(0x002C), 150);
    // Nothing can be edited.
    QVERIFY(spin(1)->isReadOnly());
    QVERIFY(!combo(3)->isEnabled());
    spin(12)->stepBy(1);
    QCOMPARE(spin(12)->fieldText(), QStringLiteral("150"));
    QVERIFY(!m_form->transfer().isModified());

    // A write completion is ignored.
    PostMessage(m_form, Msg::DownloadStep, 0, 0, std::make_shared<TransactionRecord>());
    QCoreApplication::processEvents();
    QVERIFY(!m_form->transfer().isBusy());
    QCOMPARE(m_dialogs->shown.size(), 1);

    QVERIFY(m_form->close());
    QCOMPARE(m_dialogs->shown.size(), 1); // no question
}

void tst_TKX300GroupForm::failedReadIsNamedInTheBox()
{
    m_line->silent = {0x002D};
    m_line->refused = {0x0095};
    open(QLatin1Char('U'));
    runTransfer(m_form->upLoadButton());
    QCOMPARE(m_line->requested.size(), 50);
    QCOMPARE(m_dialogs->shown.size(), 1);
    const QString text = m_dialogs->shown.first().text;
    QVERIFY2(text != QLatin1String("Upload OK"), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("U1-14")) && text.contains(QLatin1String("U3-06")),
             qPrintable(text));
    QCOMPARE(m_dialogs->shown.first().icon, OperatorDialogs::Icon::Warning);
}

void tst_TKX300GroupForm::slotOfAnotherModelIsNotRead()
{
    open(QLatin1Char('A'), 5);
    QVERIFY2(m_form->msgPanel()->text().contains(QLatin1String("not a KX300")),
             qPrintable(m_form->msgPanel()->text()));
    // The working copy keeps what it held: the group's defaults.
    QCOMPARE(m_form->transfer().value(1), 2);
    m_form->upLoadButton()->click();
    QVERIFY(!m_form->transfer().isBusy());
    QVERIFY(m_line->written.isEmpty());

    // A slot emptied while the window is open.
    open(QLatin1Char('C'));
    m_host->registry().RemoveInverter(2);
    m_form->upLoadButton()->click();
    QVERIFY(!m_form->transfer().isBusy());
    QVERIFY(m_line->written.isEmpty());
    QVERIFY2(m_form->msgPanel()->text().contains(QLatin1String("No inverter at address 2")),
             qPrintable(m_form->msgPanel()->text()));
}

QTEST_MAIN(tst_TKX300GroupForm)
#include "tst_TKX300GroupForm.moc"
