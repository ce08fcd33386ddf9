#include "RecordingDialogs.h"
#include "TransferTestSupport.h"

#include "setup/IniFile.h"
#include "bus/BusHost.h"
#include "bus/TInverterBase.h"
#include "editors/CompareSlotDialog.h"
#include "params/ParameterSet.h"
#include "editors/ParameterSpinEdit.h"
#include "editors/TDnLdForm.h"
#include "editors/TKX100DnLdForm.h"
#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The common window over a KX100 plan, on a line with a KX100 at address 1.
class tst_TDnLdForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layoutHasHeaderButtonsAndStatusPanel();
    void showLoadsTheDriverValues();
    void typingFollowsTheFieldRules();
    void spinButtonsStepByOneAndStopAtTheBounds();
    void listChoiceEditsTheWorkingCopy();
    void lettersCannotBeTyped();
    void escapeDownloadsOnlyWhenEnabled();
    void enterStartsAnUpload();
    void keysReachTheWindowFromAField();
    void uploadOverUnsentEditsAsksFirst();
    void fieldsAndButtonsWaitWhileATransferRuns();
    void failedExchangesGiveAWarning();
    void closeQueryAfterDefaultButNotAfterTransfer();
    void emptiedSlotLoadsNothingAndSaysWhy();
    void closingDuringATransferAbandonsIt();
    void compareHighlightsWhatDiffersAndTakeMarksModified();

private:
    TDnLdForm *openForm(int slot = 1);
    ParameterSpinEdit *spin(int entry) const;
    QComboBox *combo(int entry) const;
    void waitIdle();

    RecordingDialogs *m_dialogs = nullptr;
    std::unique_ptr<RegisterLine> m_line;
    std::unique_ptr<BusHost> m_host;
    TDnLdForm *m_form = nullptr;
};

void tst_TDnLdForm::init()
{
    m_dialogs = RecordingDialogs::installNew();
    m_line = std::make_unique<RegisterLine>(RegisterLine::Protocol::Modbus, 1);
    m_host = std::make_unique<BusHost>(m_line.get());
    m_host->engine().setTimerInterval(1);
    m_host->engine().setTimeOutLimit(1);
    m_host->registry().CreateKX100(1);
}

void tst_TDnLdForm::cleanup()
{
    delete m_form;
    m_form = nullptr;
    m_host.reset();
    m_line.reset();
    OperatorDialogs::install(nullptr);
}

TDnLdForm *tst_TDnLdForm::openForm(int slot)
{
    auto [plan, error] = TKX100DnLdForm::makePlan();
    m_form = new TDnLdForm(plan, QStringLiteral("Загрузка:  ПЧ     #"), error);
    m_form->setWindowTitle(QStringLiteral("Загрузка:  ПЧ     #%1").arg(slot));
    m_form->show();
    // The first show posts the load to the window.
    QCoreApplication::processEvents();
    return m_form;
}

ParameterSpinEdit *tst_TDnLdForm::spin(int entry) const
{
    return qobject_cast<ParameterSpinEdit *>(m_form->field(entry));
}

QComboBox *tst_TDnLdForm::combo(int entry) const
{
    return qobject_cast<QComboBox *>(m_form->field(entry));
}

void tst_TDnLdForm::waitIdle()
{
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->transfer().isBusy(), 20000);
}

void tst_TDnLdForm::layoutHasHeaderButtonsAndStatusPanel()
{
    openForm();
    QCOMPARE(m_form->size(), QSize(549, 301));
    QCOMPARE(m_form->upLoadButton()->text(), QStringLiteral("ЧТЕН"));
    QCOMPARE(m_form->downLoadButton()->text(), QStringLiteral("ЗАГР"));
    QCOMPARE(m_form->defaultButton()->text(), QStringLiteral("Завод."));
    QVERIFY(m_form->upLoadButton()->isEnabled());
    QVERIFY(!m_form->downLoadButton()->isEnabled());
    QVERIFY(m_form->defaultButton()->isEnabled());
    QCOMPARE(m_form->progressBar()->parentWidget(), m_form->msgPanel());
    for (int page = 0; page < m_form->pageControl()->count(); ++page) {
        QWidget *tab = m_form->pageControl()->widget(page);
        QStringList header;
        QWidget *headerRow = tab->findChild<QWidget *>(QStringLiteral("Header"));
        QVERIFY(headerRow);
        for (QLabel *label : headerRow->findChildren<QLabel *>(Qt::FindDirectChildrenOnly))
            header << label->text();
        QCOMPARE(header, QStringList({"Конст.", "Наименование функции", "Значение"}));
        QVERIFY(tab->findChild<QScrollArea *>());
    }
    // Every field carries its working-copy entry.
    for (int entry = 0; entry < 108; ++entry)
        QCOMPARE(m_form->field(entry)->property("Tag").toInt(), entry);
}

void tst_TDnLdForm::showLoadsTheDriverValues()
{
    TInverterBase *driver = m_host->registry().GetInverter(1);
    driver->setParam(3, 1400);   // CD003 below 150.0
    driver->setParam(5, 9);      // CD005, two items
    driver->setParam(47, 65531); // CD047 as the driver decodes -5
    driver->setParam(19, 123);   // CD019
    driver->markUnread(20);      // CD020, named incomplete by the file
    openForm();
    // A drive's value outside the bounds is shown as read and flagged, never clamped.
    QCOMPARE(spin(2)->fieldText(), QStringLiteral("140.0"));
    QCOMPARE(m_form->transfer().value(2), 1400);
    QVERIFY(!spin(2)->toolTip().isEmpty());
    QCOMPARE(spin(19)->fieldText(), QString());
    QVERIFY(m_form->transfer().isUnread(19));
    QCOMPARE(combo(4)->currentIndex(), -1);
    QCOMPARE(combo(4)->currentText(), QString());
    QCOMPARE(m_form->transfer().value(4), 9);
    QCOMPARE(spin(46)->fieldText(), QStringLiteral("-5"));
    QCOMPARE(spin(18)->fieldText(), QStringLiteral("12.3"));
    // The load leaves the window clean.
    QVERIFY(!m_form->transfer().isModified());
    QVERIFY(!m_form->downLoadButton()->isEnabled());
}

void tst_TDnLdForm::typingFollowsTheFieldRules()
{
    openForm();
    QLineEdit *edit = spin(18)->findChild<QLineEdit *>(); // CD019, 0 .. 3600, one decimal
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("2.3"));
    QCOMPARE(m_form->transfer().value(18), 23);
    QVERIFY(m_form->downLoadButton()->isEnabled());
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("5000"));
    QCOMPARE(edit->text(), QStringLiteral("3600.0"));
    QCOMPARE(m_form->transfer().value(18), 36000);

    // While the operator types, a number is not built on a corrected prefix: "220" stays
    // what was typed and is put into the bounds when the typing ends.
    QLineEdit *voltage = spin(2)->findChild<QLineEdit *>();
    QApplication::setActiveWindow(m_form);
    spin(2)->setFocus();
    QVERIFY(spin(2)->hasFocus());
    voltage->selectAll();
    QTest::keyClicks(voltage, QStringLiteral("220"));
    QCOMPARE(voltage->text(), QStringLiteral("220"));
    QCOMPARE(m_form->transfer().value(2), 2200);
    QTest::keyClicks(voltage, QStringLiteral(".05")); // one decimal is the step
    QCOMPARE(voltage->text(), QStringLiteral("220.0"));
    voltage->selectAll();
    QTest::keyClicks(voltage, QStringLiteral("2"));
    QCOMPARE(voltage->text(), QStringLiteral("2"));
    spin(18)->setFocus(); // the typing ends
    QCOMPARE(voltage->text(), QStringLiteral("150.0"));
    QCOMPARE(m_form->transfer().value(2), 1500);
}

void tst_TDnLdForm::spinButtonsStepByOneAndStopAtTheBounds()
{
    openForm();
    ParameterSpinEdit *gain = spin(45); // CD046, integer 0 .. 200, default 100
    QCOMPARE(gain->fieldText(), QStringLiteral("100"));
    gain->stepBy(1);
    QCOMPARE(m_form->transfer().value(45), 101);
    gain->stepBy(500);
    QCOMPARE(gain->fieldText(), QStringLiteral("200"));
    QCOMPARE(m_form->transfer().value(45), 200);
    ParameterSpinEdit *time = spin(18); // one decimal: one step is 1.0 shown
    time->setFieldText(QStringLiteral("0.5"));
    time->stepBy(-1);
    QCOMPARE(time->fieldText(), QStringLiteral("0.0"));
    time->stepBy(2);
    QCOMPARE(m_form->transfer().value(18), 20);
    // A read-only field does not step.
    ParameterSpinEdit *address = spin(105);
    QVERIFY(address->isReadOnly());
    address->stepBy(1);
    QCOMPARE(address->fieldText(), QStringLiteral("0"));
}

void tst_TDnLdForm::listChoiceEditsTheWorkingCopy()
{
    openForm();
    combo(4)->setCurrentIndex(1);
    QCOMPARE(m_form->transfer().value(4), 1);
    QVERIFY(m_form->transfer().isModified());
    QVERIFY(m_form->downLoadButton()->isEnabled());
    // Items are shown as they stand, empty ones included.
    QCOMPARE(combo(7)->count(), 3);
    QCOMPARE(combo(7)->itemText(2), QString());
}

void tst_TDnLdForm::lettersCannotBeTyped()
{
    openForm();
    QLineEdit *edit = spin(45)->findChild<QLineEdit *>();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("1a2"));
    QCOMPARE(edit->text(), QStringLiteral("12"));
    QCOMPARE(m_form->transfer().value(45), 12);
}

void tst_TDnLdForm::escapeDownloadsOnlyWhenEnabled()
{
    openForm();
    QTest::keyClick(m_form, Qt::Key_Escape);
    QCoreApplication::processEvents();
    QVERIFY(m_line->written.isEmpty());
    QVERIFY(!m_form->transfer().isBusy());

    combo(4)->setCurrentIndex(1);
    QTest::keyClick(m_form, Qt::Key_Escape);
    QCOMPARE(m_form->transfer().state(), ParameterTransfer::State::Downloading);
    waitIdle();
    QCOMPARE(m_line->writes.size(), 216);
    QVERIFY(m_line->writes.contains(qMakePair(261, uint16_t(1))));
    QCOMPARE(m_dialogs->texts(), QStringList{"Download OK"});
    QCOMPARE(m_dialogs->shown.first().caption, QStringLiteral("Загрузка:  ПЧ     #1"));
    QCOMPARE(m_dialogs->shown.first().icon, OperatorDialogs::Icon::Information);
}

void tst_TDnLdForm::enterStartsAnUpload()
{
    openForm();
    m_line->registers[257 + 18] = 77; // CD019
    QTest::keyClick(m_form, Qt::Key_Return);
    QCOMPARE(m_form->transfer().state(), ParameterTransfer::State::Uploading);
    waitIdle();
    QCOMPARE(m_line->requested.size(), 108);
    QCOMPARE(spin(18)->fieldText(), QStringLiteral("7.7"));
    QCOMPARE(m_form->msgPanel()->text(), QStringLiteral("UpLoad: 108 / 108"));
    QCOMPARE(m_form->progressBar()->value(), 108);
    QCOMPARE(m_form->progressBar()->maximum(), 108);
    QCOMPARE(m_dialogs->texts(), QStringList{"Upload OK"});
}

void tst_TDnLdForm::keysReachTheWindowFromAField()
{
    openForm();
    // Esc typed in a value field after an edit clicks "ЗАГР".
    QLineEdit *edit = spin(18)->findChild<QLineEdit *>();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("2.3"));
    QTest::keyClick(edit, Qt::Key_Escape);
    QCOMPARE(m_form->transfer().state(), ParameterTransfer::State::Downloading);
    waitIdle();
    QVERIFY(m_line->writes.contains(qMakePair(257 + 18, uint16_t(23))));
    // Enter typed in a list field clicks "ЧТЕН".
    m_line->requested.clear();
    QTest::keyClick(combo(4), Qt::Key_Return);
    QCOMPARE(m_form->transfer().state(), ParameterTransfer::State::Uploading);
    waitIdle();
    QCOMPARE(m_line->requested.size(), 108);
}

void tst_TDnLdForm::uploadOverUnsentEditsAsksFirst()
{
    openForm();
    QVERIFY(m_form->upLoadButton()->isDefault());
    QLineEdit *edit = spin(18)->findChild<QLineEdit *>();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("2.3"));
    // Enter in the field asks, as closing would; No keeps the edit and sends nothing.
    m_dialogs->answers = {OperatorDialogs::Answer::No};
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_dialogs->shown[0].text, QStringLiteral("Parameters has been modified\nDo you want "
                                                      "to discard the modified parameters?"));
    QCOMPARE(m_dialogs->shown[0].buttons, OperatorDialogs::Buttons::YesNoDefaultNo);
    QCOMPARE(m_form->transfer().state(), ParameterTransfer::State::Idle);
    QVERIFY(m_line->requested.isEmpty());
    QCOMPARE(spin(18)->fieldText(), QStringLiteral("2.3"));
    // A click asks too; Yes discards the edit and uploads.
    m_dialogs->answers = {OperatorDialogs::Answer::Yes};
    m_form->upLoadButton()->click();
    QCOMPARE(m_dialogs->shown.size(), 2);
    waitIdle();
    QCOMPARE(m_line->requested.size(), 108);
    QVERIFY(!m_form->transfer().isModified());
}

void tst_TDnLdForm::fieldsAndButtonsWaitWhileATransferRuns()
{
    openForm();
    combo(4)->setCurrentIndex(1);
    m_line->deferReplies = true;
    m_form->downLoadButton()->click();
    QVERIFY(!m_form->upLoadButton()->isEnabled());
    QVERIFY(!m_form->downLoadButton()->isEnabled());
    QVERIFY(!m_form->defaultButton()->isEnabled());
    QVERIFY(!combo(4)->isEnabled());
    QVERIFY(!spin(18)->isEnabled());
    QCOMPARE(m_form->msgPanel()->text(), QStringLiteral("DownLoad: 1 / 108"));
    // A stray Esc or click starts nothing while the transfer runs.
    QTest::keyClick(m_form, Qt::Key_Escape);
    m_form->UpLoadBtnClick();
    QCOMPARE(m_line->written.size(), 1);
    m_line->deferReplies = false;
    m_line->deliverPending();
    waitIdle();
    QVERIFY(m_form->upLoadButton()->isEnabled());
    QVERIFY(combo(4)->isEnabled());
    QVERIFY(spin(18)->isEnabled());
    QVERIFY(!combo(1)->isEnabled()); // CD002 stays disabled
}

void tst_TDnLdForm::failedExchangesGiveAWarning()
{
    openForm();
    m_line->silent = {256 + 17, 256 + 101};
    m_line->refused = {256 + 45};
    m_form->upLoadButton()->click();
    waitIdle();
    QCOMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_dialogs->shown.first().text,
             QStringLiteral("Upload: 3 of 108 parameters failed: CD017, CD045, CD101"));
    QCOMPARE(m_dialogs->shown.first().icon, OperatorDialogs::Icon::Warning);
}

void tst_TDnLdForm::closeQueryAfterDefaultButNotAfterTransfer()
{
    openForm();
    m_form->defaultButton()->click();
    QVERIFY(m_form->downLoadButton()->isEnabled());
    // CD053's factory value 0.1 lies below the field's minimum: shown as it is, not 0.5.
    QCOMPARE(spin(52)->fieldText(), QStringLiteral("0.1"));
    QCOMPARE(m_form->transfer().value(52), 1);

    m_dialogs->answers = {OperatorDialogs::Answer::No};
    QVERIFY(!m_form->close());
    QVERIFY(m_form->isVisible());
    QCOMPARE(m_dialogs->shown.size(), 1);
    const RecordingDialogs::Shown &query = m_dialogs->shown.first();
    QCOMPARE(query.text, QStringLiteral("Parameters has been modified\nDo you want to discard "
                                        "the modified parameters?"));
    QCOMPARE(query.caption, m_form->windowTitle());
    QCOMPARE(query.icon, OperatorDialogs::Icon::Stop);
    QCOMPARE(query.buttons, OperatorDialogs::Buttons::YesNo);
    // The close button asks the same question.
    m_dialogs->answers = {OperatorDialogs::Answer::No};
    m_form->closeButton()->click();
    QVERIFY(m_form->isVisible());
    QCOMPARE(m_dialogs->shown.size(), 2);
    QCOMPARE(m_dialogs->shown.last().text, query.text);

    m_form->downLoadButton()->click();
    waitIdle();
    QCOMPARE(m_dialogs->texts().last(), QStringLiteral("Download OK"));
    QCOMPARE(m_line->registers.value(256 + 53), uint16_t(1)); // the value shown is sent
    const int shownBefore = int(m_dialogs->shown.size());
    QVERIFY(m_form->close());
    QCOMPARE(m_dialogs->shown.size(), shownBefore);
    // A window of its own is closed by its close button without a question.
    m_form->show();
    m_form->closeButton()->click();
    QVERIFY(!m_form->isVisible());
    QCOMPARE(m_dialogs->shown.size(), shownBefore);
}

void tst_TDnLdForm::emptiedSlotLoadsNothingAndSaysWhy()
{
    openForm();
    combo(4)->setCurrentIndex(1);
    m_host->registry().CreateKX200(1);
    PostMessage(m_form, Msg::OpenEditor);
    QCoreApplication::processEvents();
    QCOMPARE(m_form->msgPanel()->text(),
             QStringLiteral("The inverter at address 1 is a KX200, not a KX100: nothing loaded"));
    QCOMPARE(combo(4)->currentIndex(), 1);
    QVERIFY(m_form->transfer().isModified());

    m_host->registry().RemoveInverter(1);
    m_form->downLoadButton()->click();
    QVERIFY(m_line->written.isEmpty());
    QCOMPARE(m_form->msgPanel()->text(),
             QStringLiteral("No inverter at address 1: nothing written"));
}

void tst_TDnLdForm::closingDuringATransferAbandonsIt()
{
    openForm();
    m_line->deferReplies = true;
    m_form->upLoadButton()->click();
    QCOMPARE(m_line->written.size(), 1);
    QVERIFY(m_form->close());
    delete m_form;
    m_form = nullptr;
    // The reply in flight completes in the engine and finds no window; nothing follows.
    m_line->deliverPending();
    QCoreApplication::processEvents();
    QCOMPARE(m_line->written.size(), 1);
    QVERIFY(!m_host->engine().isBusy());
    QVERIFY(m_dialogs->shown.isEmpty());
}

void tst_TDnLdForm::compareHighlightsWhatDiffersAndTakeMarksModified()
{
    // A file with KX100 factory values in slots 1 and 4; slot 4 then gets CD003 = 220.0, a
    // CD005 no item of the list stands for, and no CD010.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("plant.ini"));
    IniFile ini(path);
    for (int slot : {1, 4}) {
        const QString section = TDM::SectionName(slot);
        ini.writeString(section, QStringLiteral("Enable"), QStringLiteral("true"));
        ini.writeString(section, QStringLiteral("TypeName"), QStringLiteral("KX100"));
        for (const ParameterDef &def : ParameterSet::forModel(QStringLiteral("KX100")).rows())
            ini.writeInteger(section, def.key, def.defaultValue);
        // The factory CD053 lies below its field's minimum; a load keeps it, so it compares
        // equal with the file.
    }
    ini.writeInteger(TDM::SectionName(4), QStringLiteral("n003"), 2200);
    ini.writeInteger(TDM::SectionName(4), QStringLiteral("n005"), 9);
    ini.deleteKey(TDM::SectionName(4), QStringLiteral("n010"));
    QVERIFY(ini.save());

    openForm();
    QVERIFY(!m_form->takeFileButton()->isEnabled());
    const auto compareWith = [&](int slot) {
        m_dialogs->openFileNames << path;
        m_dialogs->onModal = [slot](QObject *dialog) {
            auto *choice = qobject_cast<CompareSlotDialog *>(dialog);
            // The window's own slot comes chosen.
            if (!choice || choice->chosenSlot() != 1 || choice->list()->count() != 2)
                return false;
            choice->list()->setCurrentRow(slot == 1 ? 0 : 1);
            return true;
        };
        m_form->compareButton()->click();
    };

    compareWith(4);
    QCOMPARE(m_form->compareResult().size(), 3);
    QVERIFY(m_dialogs->texts().last().contains(QStringLiteral("3 из 108")));
    QVERIFY(m_form->msgPanel()->text().contains(QStringLiteral("3 из 108")));
    for (int entry : {2, 4, 9})
        QVERIFY(m_form->field(entry)->styleSheet().contains(QStringLiteral("yellow")));
    QVERIFY(!m_form->field(3)->styleSheet().contains(QStringLiteral("yellow")));
    QCOMPARE(m_form->field(2)->toolTip(), QStringLiteral("В файле: 220.0"));
    QVERIFY(m_form->field(4)->toolTip().startsWith(QStringLiteral("В файле: 9 (")));
    // Compare changes nothing.
    QVERIFY(!m_form->transfer().isModified());
    QCOMPARE(m_form->transfer().value(2), 2000);
    // The marks and the count follow every edit until the compare is cleared.
    spin(2)->setFieldText(QStringLiteral("220.0"));
    QCOMPARE(m_form->compareResult().size(), 2);
    QVERIFY(!m_form->field(2)->styleSheet().contains(QStringLiteral("yellow")));
    QCOMPARE(m_form->field(2)->toolTip(), QString());
    QVERIFY(m_form->msgPanel()->text().contains(QStringLiteral("2 из 108")));
    spin(18)->setFieldText(QStringLiteral("2.3"));
    QCOMPARE(m_form->compareResult().size(), 3);
    QVERIFY(m_form->field(18)->styleSheet().contains(QStringLiteral("yellow")));

    m_form->takeFileButton()->click();
    QVERIFY(m_form->transfer().isModified());
    QVERIFY(m_form->downLoadButton()->isEnabled());
    QCOMPARE(m_form->transfer().value(2), 2200);
    QCOMPARE(m_form->transfer().value(9), 1); // no value in the file: kept
    QVERIFY(!m_form->field(2)->styleSheet().contains(QStringLiteral("yellow")));
    QCOMPARE(m_form->field(2)->toolTip(), QString());

    m_form->transfer().Load();
    compareWith(1);
    QVERIFY(m_form->compareResult().isEmpty());
    QVERIFY(m_dialogs->texts().last().startsWith(QStringLiteral("Совпадает")));
}

QTEST_MAIN(tst_TDnLdForm)
#include "tst_TDnLdForm.moc"
