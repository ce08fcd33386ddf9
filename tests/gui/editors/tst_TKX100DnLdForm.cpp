#include "RecordingDialogs.h"
#include "TransferTestSupport.h"

#include "app/TMainForm.h"
#include "app/WindowClasses.h"
#include "bus/BusHost.h"
#include "bus/TInverterBase.h"
#include "editors/ParameterSpinEdit.h"
#include "editors/TKX100DnLdForm.h"
#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"

#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <memory>

// The KX100 window inside the main window, on a line with a KX100 at address 4.
class tst_TKX100DnLdForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pagesHoldTheirCodes();
    void downloadCommandOpensOneLoadedWindowPerSlot();
    void fixedFieldsAreStillDownloaded();
    void closingTheFrameAsksWhenModified();
    void closeButtonClosesTheFrameToo();

private:
    TKX100DnLdForm *openEditor(int slot);
    QList<TKX100DnLdForm *> editors() const;

    RecordingDialogs *m_dialogs = nullptr;
    std::unique_ptr<RegisterLine> m_line;
    std::unique_ptr<BusHost> m_host;
    TMainForm *m_main = nullptr;
};

void tst_TKX100DnLdForm::init()
{
    m_dialogs = RecordingDialogs::installNew();
    m_line = std::make_unique<RegisterLine>(RegisterLine::Protocol::Modbus, 4);
    m_host = std::make_unique<BusHost>(m_line.get(), BusHost::Role::Forwarded);
    m_host->engine().setTimerInterval(1);
    m_host->engine().setTimeOutLimit(1);
    m_main = new TMainForm(m_host.get(), m_line.get());
    m_main->show();
    QCoreApplication::processEvents();
    m_host->registry().CreateKX100(4);
}

void tst_TKX100DnLdForm::cleanup()
{
    delete m_main;
    m_main = nullptr;
    m_host.reset();
    m_line.reset();
    OperatorDialogs::install(nullptr);
}

QList<TKX100DnLdForm *> tst_TKX100DnLdForm::editors() const
{
    QList<TKX100DnLdForm *> result;
    for (QMdiSubWindow *sub : m_main->mdiArea()->subWindowList())
        if (auto *form = qobject_cast<TKX100DnLdForm *>(sub->widget()))
            result << form;
    return result;
}

TKX100DnLdForm *tst_TKX100DnLdForm::openEditor(int slot)
{
    SendMessage(m_main, Msg::OpenEditor, slot);
    QCoreApplication::processEvents();
    for (TKX100DnLdForm *form : editors())
        if (form->windowTitle() == QStringLiteral("Загрузка:  ПЧ     #%1").arg(slot))
            return form;
    return nullptr;
}

void tst_TKX100DnLdForm::pagesHoldTheirCodes()
{
    TKX100DnLdForm form;
    const QStringList pages = {"CD001...", "CD021...", "CD041...",
                               "CD061...", "CD081...", "CD100..."};
    QCOMPARE(form.pageControl()->count(), pages.size());
    const QList<int> firstEntries = {0, 20, 40, 60, 80, 100, 108};
    for (int page = 0; page < pages.size(); ++page) {
        QCOMPARE(form.pageControl()->tabText(page), pages[page]);
        for (int entry = firstEntries[page]; entry < firstEntries[page + 1]; ++entry)
            QVERIFY(form.pageControl()->widget(page)->isAncestorOf(form.field(entry)));
    }
    QVERIFY(!form.field(1)->isEnabled());                                      // CD002
    QVERIFY(qobject_cast<ParameterSpinEdit *>(form.field(105))->isReadOnly()); // CD106
    QCOMPARE(WindowClasses::kind(QStringLiteral("TKX100DnLdForm")), WindowClasses::Kind::MdiChild);
}

void tst_TKX100DnLdForm::downloadCommandOpensOneLoadedWindowPerSlot()
{
    m_host->registry().GetInverter(4)->setParam(19, 250); // CD019
    TKX100DnLdForm *form = openEditor(4);
    QVERIFY(form);
    QCOMPARE(qobject_cast<ParameterSpinEdit *>(form->field(18))->fieldText(),
             QStringLiteral("25.0"));
    QCOMPARE(form->transfer().slot(), 4);
    QCOMPARE(openEditor(4), form);
    QCOMPARE(editors().size(), 1);
}

void tst_TKX100DnLdForm::fixedFieldsAreStillDownloaded()
{
    TInverterBase *driver = m_host->registry().GetInverter(4);
    driver->setParam(2, 3);   // CD002
    driver->setParam(106, 4); // CD106
    TKX100DnLdForm *form = openEditor(4);
    QVERIFY(form);
    QCOMPARE(qobject_cast<QComboBox *>(form->field(1))->currentIndex(), 3);
    form->defaultButton()->click();
    QCOMPARE(form->transfer().value(105), 4); // Default keeps the bus address at the slot
    form->transfer().Load();
    qobject_cast<QComboBox *>(form->field(4))->setCurrentIndex(1);
    form->downLoadButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!form->transfer().isBusy(), 20000);
    QVERIFY(m_line->writes.contains(qMakePair(258, uint16_t(3))));
    QVERIFY(m_line->writes.contains(qMakePair(362, uint16_t(4))));
    // The outcome is shown from the main window's event loop, after the transfer has ended.
    QTRY_VERIFY(m_dialogs->texts().contains(QStringLiteral("Download OK")));
}

void tst_TKX100DnLdForm::closingTheFrameAsksWhenModified()
{
    TKX100DnLdForm *form = openEditor(4);
    QVERIFY(form);
    form->defaultButton()->click();
    QMdiSubWindow *frame = m_main->mdiArea()->subWindowList().constLast();
    for (QMdiSubWindow *sub : m_main->mdiArea()->subWindowList())
        if (sub->widget() == form)
            frame = sub;
    m_dialogs->answers = {OperatorDialogs::Answer::No};
    frame->close();
    QCoreApplication::processEvents();
    QCOMPARE(editors().size(), 1);
    QVERIFY(m_dialogs->texts().last().startsWith(QStringLiteral("Parameters has been modified")));
    m_dialogs->answers = {OperatorDialogs::Answer::Yes};
    frame->close();
    QTRY_COMPARE(editors().size(), 0);
}

void tst_TKX100DnLdForm::closeButtonClosesTheFrameToo()
{
    const auto frames = [this] { return m_main->mdiArea()->subWindowList().size(); };
    const auto before = frames();
    TKX100DnLdForm *form = openEditor(4);
    QVERIFY(form);
    QCOMPARE(frames(), before + 1);
    form->defaultButton()->click();
    // Refused: window and frame stay.
    m_dialogs->answers = {OperatorDialogs::Answer::No};
    form->closeButton()->click();
    QCoreApplication::processEvents();
    QCOMPARE(editors().size(), 1);
    QCOMPARE(frames(), before + 1);
    QVERIFY(form->isVisible());
    // Discarded: the editor goes and leaves no empty frame behind.
    m_dialogs->answers = {OperatorDialogs::Answer::Yes};
    form->closeButton()->click();
    QTRY_COMPARE(editors().size(), 0);
    QTRY_COMPARE(frames(), before);
}

QTEST_MAIN(tst_TKX100DnLdForm)
#include "tst_TKX100DnLdForm.moc"
