#include "RecordingDialogs.h"
#include "TransferTestSupport.h"

#include "app/RegisterWindowClasses.h"
#include "app/WindowClasses.h"
#include "bus/BusHost.h"
#include "bus/TInverterBase.h"
#include "editors/ParameterSpinEdit.h"
#include "editors/TKX200DnLdForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <memory>

// The KX200 window on a line with a KX200 at address 2.
class tst_TKX200DnLdForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pagesCodesAndReadOnlyFields();
    void registerCodesLandInTheirParameters();
    void twoDecimalFields();
    void readOnlyValuesGoBackUnchanged();

private:
    TKX200DnLdForm *openForm();
    ParameterSpinEdit *spin(int entry) const
    {
        return qobject_cast<ParameterSpinEdit *>(m_form->field(entry));
    }

    RecordingDialogs *m_dialogs = nullptr;
    std::unique_ptr<RegisterLine> m_line;
    std::unique_ptr<BusHost> m_host;
    TKX200DnLdForm *m_form = nullptr;
};

void tst_TKX200DnLdForm::init()
{
    m_dialogs = RecordingDialogs::installNew();
    m_line = std::make_unique<RegisterLine>(RegisterLine::Protocol::Slash, 2);
    m_host = std::make_unique<BusHost>(m_line.get());
    m_host->engine().setTimerInterval(1);
    m_host->engine().setTimeOutLimit(1);
    m_host->registry().CreateKX200(2);
}

void tst_TKX200DnLdForm::cleanup()
{
    delete m_form;
    m_form = nullptr;
    m_host.reset();
    m_line.reset();
    OperatorDialogs::install(nullptr);
}

TKX200DnLdForm *tst_TKX200DnLdForm::openForm()
{
    m_form = new TKX200DnLdForm;
    m_form->setWindowTitle(QStringLiteral("Загрузка:  ПЧ     #2"));
    m_form->show();
    QCoreApplication::processEvents();
    return m_form;
}

void tst_TKX200DnLdForm::pagesCodesAndReadOnlyFields()
{
    openForm();
    RegisterWindowClasses();
    QCOMPARE(WindowClasses::kind(QStringLiteral("TKX200DnLdForm")), WindowClasses::Kind::TopLevel);
    QCOMPARE(m_form->pageControl()->count(), 3);
    QCOMPARE(m_form->pageControl()->tabText(0), QStringLiteral("CD01..."));
    QCOMPARE(m_form->pageControl()->tabText(1), QStringLiteral("CD21..."));
    QCOMPARE(m_form->pageControl()->tabText(2), QStringLiteral("CD41..."));
    QStringList codes;
    for (QLabel *label : m_form->pageControl()->widget(2)->findChildren<QLabel *>())
        if (label->text().startsWith(QStringLiteral("CD")))
            codes << label->text();
    QCOMPARE(codes, QStringList({"CD41", "CD42", "CD43", "CD44", "CD45*", "CD46*", "CD47*", "CD48*",
                                 "CD49*"}));
    for (int entry : {0, 1, 2, 3, 22, 43, 47})
        QVERIFY2(spin(entry) && spin(entry)->isReadOnly(), qPrintable(QString::number(entry)));
    QVERIFY(!spin(5)->isReadOnly());
}

void tst_TKX200DnLdForm::registerCodesLandInTheirParameters()
{
    openForm();
    m_line->registers[0x0016] = 1234; // CD16
    m_line->registers[0x0010] = 55;   // CD10
    m_form->upLoadButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->transfer().isBusy(), 20000);
    QCOMPARE(m_line->requested.size(), 49);
    QCOMPARE(m_line->requested.at(15), 0x0016);
    QCOMPARE(m_line->requested.at(44), 0x0700);
    QCOMPARE(m_form->transfer().value(15), 1234);
    QCOMPARE(m_form->transfer().value(9), 55);
    QCOMPARE(spin(15)->fieldText(), QStringLiteral("12.34"));
    QCOMPARE(m_dialogs->texts(), QStringList{"Upload OK"});
}

void tst_TKX200DnLdForm::twoDecimalFields()
{
    openForm();
    QCOMPARE(spin(8)->fieldText(), QStringLiteral("50.00")); // CD09, factory 5000
    QLineEdit *edit = spin(8)->findChild<QLineEdit *>();
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("50.05"));
    QCOMPARE(m_form->transfer().value(8), 5005);
}

void tst_TKX200DnLdForm::readOnlyValuesGoBackUnchanged()
{
    TInverterBase *driver = m_host->registry().GetInverter(2);
    driver->setParam(44, 1234); // CD44, above its nominal 460
    driver->setParam(48, 70);   // CD48, above its nominal 63
    openForm();
    QCOMPARE(spin(43)->fieldText(), QStringLiteral("1234"));
    QCOMPARE(spin(47)->fieldText(), QStringLiteral("70"));
    spin(5)->stepBy(1); // CD06, an edit to allow the download
    m_form->downLoadButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->transfer().isBusy(), 20000);
    QCOMPARE(m_line->writes.size(), 43);
    QVERIFY(m_line->writes.contains(qMakePair(0x0044, uint16_t(1234))));
    QVERIFY(m_line->writes.contains(qMakePair(0x0802, uint16_t(70))));
    QCOMPARE(m_form->msgPanel()->text(), QStringLiteral("DownLoad: 49 / 49"));
}

QTEST_MAIN(tst_TKX200DnLdForm)
#include "tst_TKX200DnLdForm.moc"
