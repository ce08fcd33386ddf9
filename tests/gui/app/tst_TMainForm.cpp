#include "FakeCommLink.h"
#include "RecordingDialogs.h"

#include "app/SectionedToolBar.h"
#include "app/TMainForm.h"
#include "app/WindowClasses.h"
#include "bus/BusHost.h"
#include "editors/TDnLdForm.h"
#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QStatusTipEvent>
#include <QTest>

// A child window class of the test's own, opened by name like the program's windows.
class TProbeForm : public QWidget
{
    Q_OBJECT
};

class tst_TMainForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void captionNamesTheFile();
    void titleIsTheCaptionAlone();
    void firstStartShowsSevenButtons();
    void toolBarLayoutCanBeChangedAndRestored();
    void windowCommandsNeedAChild();
    void windowCommandsFollowOpeningAndClosing();
    void toolBarButtonsSpacedBelowTheTop();
    void showChildWindowFindsByClassAndCaption();
    void monitorCommandListsOccupiedSlotsAndOpensChosen();
    void cancelledChoiceOpensNothing();
    void detectionCommandQueuesChosenSlotsInOrder();
    void slotFromEntry_data();
    void slotFromEntry();
    void tileDirectionFollowsTheMenu();
    void hintsSplitBetweenToolTipAndStatusBar();
    void framesAppearOnTheStatusBar();
    void busMessagesReachTheHost();
    void latchingButtonsFollowTheActiveWindow();
    void closingAsksEveryWindowBeforeClosingAny();
    void closingWithNoticesWaitingSavesTheSettings();
    void trayClickRestoresThePreviousState();
    void ownWindowOpensCentredAndFollowsTheFrame();
    void cascadeFollowsActivation();

private:
    TMainForm *createForm();

    FakeCommLink *m_port = nullptr;
    BusHost *m_host = nullptr;
    TMainForm *m_form = nullptr;
    RecordingDialogs *m_dialogs = nullptr;
};

void tst_TMainForm::init()
{
    m_dialogs = RecordingDialogs::installNew();
    m_port = new FakeCommLink;
    m_host = new BusHost(m_port, BusHost::Role::Forwarded);
    m_host->engine().setTimerInterval(5);
    m_host->engine().setTimeOutLimit(15);
    m_form = new TMainForm(m_host, m_port);
    // Start-up opens the status panel; the tests start from a frame without children.
    QTRY_COMPARE(m_form->childWindows().size(), 1);
    QVERIFY(m_form->childWindows().first()->inherits("TLEDForm"));
    QCOMPARE(m_dialogs->modalClasses, QStringList{"TSplashForm"});
    m_form->mdiArea()->closeAllSubWindows();
    QTRY_VERIFY(m_form->childWindows().isEmpty());
    WindowClasses::registerClass(QStringLiteral("TProbeForm"), WindowClasses::Kind::MdiChild,
                                 [] { return new TProbeForm; });
}

void tst_TMainForm::cleanup()
{
    delete m_form;
    delete m_host;
    delete m_port;
    OperatorDialogs::install(nullptr);
    OperatorNotices::install(nullptr);
}

void tst_TMainForm::captionNamesTheFile()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Drivelink [Untitle]"));
    m_form->SetFileCaption(QStringLiteral("/tmp/plant.ini"));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Drivelink [/tmp/plant.ini]"));
}

void tst_TMainForm::titleIsTheCaptionAlone()
{
    // The window system appends the application's display name to a title that does not end
    // with it; the program sets none, so the title shows the caption and nothing more.
    SetApplicationIdentity();
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Drivelink [Untitle]"));
}

void tst_TMainForm::firstStartShowsSevenButtons()
{
    QCOMPARE(m_form->toolBar()->shownTexts(),
             (QStringList{"Выход", "О прог", "Поиск", "Монитор", "ИНД", "Загрузка", "Панель"}));
    // Sixteen buttons of the program's own and the traffic log's, all waiting but seven.
    QCOMPARE(m_form->toolBar()->buttons().size(), 17);
}

void tst_TMainForm::toolBarLayoutCanBeChangedAndRestored()
{
    SectionedToolBar *bar = m_form->toolBar();
    bar->setLayout({"AddressBtn", "SpeedItem4", "NoSuchBtn", "AddressBtn"});
    QCOMPARE(bar->shownTexts(), (QStringList{"Адрес", "Выход"}));
    bar->resetLayout();
    QCOMPARE(bar->layout().size(), 7);
}

void tst_TMainForm::windowCommandsNeedAChild()
{
    const QStringList menuNames{"CascadeItem", "TileItem", "ArrangeIconsItem", "CloseAllItem"};
    const QStringList buttonNames{"CascadeBtn", "TileBtn", "ArrangeBtn", "CloseAllBtn"};
    m_form->UpdateCommandStates();
    for (const QString &name : menuNames)
        QVERIFY2(!m_form->menuAction(name)->isEnabled(), qPrintable(name));
    for (const QString &name : buttonNames)
        QVERIFY2(!m_form->toolBar()->action(name)->isEnabled(), qPrintable(name));

    QVERIFY(m_form->ShowChildWindow(QStringLiteral("TProbeForm"), QStringLiteral("probe")));
    m_form->UpdateCommandStates();
    for (const QString &name : menuNames)
        QVERIFY2(m_form->menuAction(name)->isEnabled(), qPrintable(name));
    for (const QString &name : buttonNames)
        QVERIFY2(m_form->toolBar()->action(name)->isEnabled(), qPrintable(name));
}

void tst_TMainForm::windowCommandsFollowOpeningAndClosing()
{
    // No explicit UpdateCommandStates: opening and closing windows alone must drive them.
    m_form->show();
    QAction *cascade = m_form->menuAction(QStringLiteral("CascadeItem"));
    QAction *closeAll = m_form->toolBar()->action(QStringLiteral("CloseAllBtn"));
    QVERIFY(!cascade->isEnabled());
    QVERIFY(!closeAll->isEnabled());
    m_form->LedSate1Click();
    QCOMPARE(m_form->childWindows().size(), 1);
    QVERIFY(cascade->isEnabled());
    QVERIFY(closeAll->isEnabled());
    m_form->CloseAllItemClick();
    QTRY_VERIFY(m_form->childWindows().isEmpty());
    QVERIFY(!cascade->isEnabled());
    QVERIFY(!closeAll->isEnabled());
}

void tst_TMainForm::toolBarButtonsSpacedBelowTheTop()
{
    m_form->resize(1000, 600);
    m_form->show();
    SectionedToolBar *bar = m_form->toolBar();
    QCOMPARE(bar->height(), 56);
    QList<QWidget *> buttons;
    for (const QString &name : bar->layout())
        buttons << bar->widgetForAction(bar->action(name));
    QCOMPARE(buttons.size(), 7);
    for (int i = 0; i < buttons.size(); ++i) {
        QCOMPARE(buttons[i]->size(), QSize(54, 50));
        QCOMPARE(buttons[i]->y(), 3);
        if (i > 0)
            QCOMPARE(buttons[i]->x() - buttons[i - 1]->geometry().right() - 1, 8);
    }
}

void tst_TMainForm::showChildWindowFindsByClassAndCaption()
{
    QWidget *first = m_form->ShowChildWindow(QStringLiteral("TProbeForm"), QStringLiteral("#3"));
    QWidget *second = m_form->ShowChildWindow(QStringLiteral("TProbeForm"), QStringLiteral("#7"));
    QVERIFY(first && second && first != second);
    QCOMPARE(first->windowTitle(), QStringLiteral("#3"));
    QCOMPARE(m_form->ShowChildWindow(QStringLiteral("TProbeForm"), QStringLiteral("#3")), first);
    // An empty caption matches any window of the class.
    QVERIFY(m_form->ShowChildWindow(QStringLiteral("TProbeForm"), QString()));
    QCOMPARE(m_form->childWindows().size(), 2);
    QVERIFY(!m_form->ShowChildWindow(QStringLiteral("TNoSuchForm"), QString()));
}

void tst_TMainForm::monitorCommandListsOccupiedSlotsAndOpensChosen()
{
    m_host->registry().CreateKX100(3);
    m_host->registry().CreateKX300(7);
    WindowClasses::registerClass(QStringLiteral("TMonitorForm"), WindowClasses::Kind::MdiChild,
                                 [] { return new TProbeForm; });
    m_dialogs->choices.append(QStringList{"  ПЧ     #7", "  ПЧ     #3"});
    m_form->MonitorBtnClick();
    QCOMPARE(m_dialogs->choiceRequests.size(), 1);
    const OperatorDialogs::ChoiceRequest request = m_dialogs->choiceRequests.first();
    QCOMPARE(request.title, QStringLiteral("Мониторинг ПЧ    "));
    QCOMPARE(request.availableLabel, QStringLiteral("&Доступные инверторы"));
    QCOMPARE(request.chosenLabel, QStringLiteral("&ПЧ для мониторинга "));
    QCOMPARE(request.available, (QStringList{"  ПЧ     #3", "  ПЧ     #7"}));
    QTRY_COMPARE(m_form->childWindows().size(), 2);
    QCOMPARE(m_form->childWindows().at(0)->windowTitle(), QStringLiteral("Монитор:  ПЧ     #7"));
    QCOMPARE(m_form->childWindows().at(1)->windowTitle(), QStringLiteral("Монитор:  ПЧ     #3"));
}

void tst_TMainForm::cancelledChoiceOpensNothing()
{
    m_host->registry().CreateKX100(3);
    m_form->DownLoad1Click();
    QCOMPARE(m_dialogs->choiceRequests.first().title, QStringLiteral("Загрузка констант  "));
    QCOMPARE(m_dialogs->choiceRequests.first().available, QStringList{"   ПЧ    #3"});
    QTest::qWait(10);
    QVERIFY(m_form->childWindows().isEmpty());
}

void tst_TMainForm::detectionCommandQueuesChosenSlotsInOrder()
{
    m_dialogs->choices.append(QStringList{"   ПЧ    #5", "   ПЧ    #2"});
    m_form->DetectionBtnClick();
    const OperatorDialogs::ChoiceRequest request = m_dialogs->choiceRequests.first();
    QCOMPARE(request.title, QStringLiteral("          Поиск ПЧ   "));
    QCOMPARE(request.available.size(), 32);
    QCOMPARE(request.available.first(), QStringLiteral("   ПЧ    #0"));
    QCOMPARE(request.available.last(), QStringLiteral("   ПЧ    #31"));
    // Slot 5 is probed first: its KX200 probe is the first frame on the line.
    QTRY_VERIFY(!m_port->written.isEmpty());
    QCOMPARE(m_port->written.first().at(0), '/');
    QCOMPARE(m_port->written.first().at(1), '\x05');
    // The status bar follows the run, which the "Настройка" menu can stop.
    QTRY_COMPARE(m_form->detectionNote()->text(), QStringLiteral("Поиск: ПЧ #5, 1 из 2"));
    QAction *stop = m_form->menuAction(QStringLiteral("StopDetection1"));
    QCOMPARE(stop->text(), QStringLiteral("Остановить поиск"));
    QVERIFY(stop->isEnabled());
    stop->trigger();
    QTRY_VERIFY(!stop->isEnabled());
    QVERIFY(m_form->detectionNote()->isHidden());
    QCOMPARE(m_form->messagePanel()->text(), QStringLiteral("Поиск ПЧ остановлен"));
    // Slot 2 is never probed (a slash frame names the address second, Modbus first).
    for (const QByteArray &frame : m_port->written)
        QVERIFY(frame.at(0) != '\x02' && frame.at(1) != '\x02');
}

void tst_TMainForm::slotFromEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("slot");
    QTest::newRow("first") << "   ПЧ    #0" << 0;
    QTest::newRow("two digits") << "   ПЧ    #31" << 31;
    QTest::newRow("out of range") << "   ПЧ    #32" << -1;
    QTest::newRow("negative") << "   ПЧ    #-1" << -1;
    QTest::newRow("no number") << "   ПЧ    #" << -1;
    QTest::newRow("garbage") << "   ПЧ    #x1" << -1;
}

void tst_TMainForm::slotFromEntry()
{
    QFETCH(QString, entry);
    QFETCH(int, slot);
    QCOMPARE(SlotFromEntry(entry), slot);
}

void tst_TMainForm::tileDirectionFollowsTheMenu()
{
    m_form->resize(800, 600);
    m_form->show();
    QWidget *a = m_form->ShowChildWindow(QStringLiteral("TProbeForm"), QStringLiteral("a"));
    QWidget *b = m_form->ShowChildWindow(QStringLiteral("TProbeForm"), QStringLiteral("b"));
    auto frameOf = [](QWidget *w) { return w->parentWidget()->geometry(); };
    m_form->WindowItemClick(2); // tool bar: one above another until the menu has been used
    QCOMPARE(frameOf(a).left(), frameOf(b).left());
    QVERIFY(frameOf(a).top() < frameOf(b).top());
    m_form->TileItemClick(); // side by side from now on
    QVERIFY(m_form->tilesVertically());
    QCOMPARE(frameOf(a).top(), frameOf(b).top());
    QVERIFY(frameOf(a).left() < frameOf(b).left());
    m_form->WindowItemClick(2);
    QCOMPARE(frameOf(a).top(), frameOf(b).top());
}

void tst_TMainForm::hintsSplitBetweenToolTipAndStatusBar()
{
    QAction *detect = m_form->toolBar()->action(QStringLiteral("DetectBtn"));
    QCOMPARE(detect->toolTip(), QStringLiteral("Поиск ПЧ"));
    QCOMPARE(detect->statusTip(), QStringLiteral("Поиск ПЧ"));
    QAction *monitor = m_form->toolBar()->action(QStringLiteral("MonitorBtn"));
    QCOMPARE(monitor->toolTip(), QStringLiteral("Мониторинг ПЧ"));
    QCOMPARE(monitor->statusTip(), QString());
    QStatusTipEvent tip(QStringLiteral("Открыть файл"));
    QCoreApplication::sendEvent(m_form, &tip);
    QCOMPARE(m_form->messagePanel()->text(), QStringLiteral("Открыть файл"));
}

void tst_TMainForm::framesAppearOnTheStatusBar()
{
    m_host->registry().CreateKX100(1);
    SendMessage(m_form, Msg::OperatorCommand, 0, (1 << 16) + 1);
    QVERIFY(m_form->rs232Message()->text().startsWith(QStringLiteral("RS233(Send):01 10 ")));
}

void tst_TMainForm::busMessagesReachTheHost()
{
    // A stray chunk restarts the port through the host's engine; 1428 does the same.
    SendMessage(m_form, Msg::RestartPort);
    QCOMPARE(m_port->stopCount, 1);
    QCOMPARE(m_port->startCount, 1);
}

void tst_TMainForm::latchingButtonsFollowTheActiveWindow()
{
    m_form->show();
    QAction *led = m_form->toolBar()->action(QStringLiteral("LedBtn"));
    QAction *monitor = m_form->toolBar()->action(QStringLiteral("MonitorBtn"));
    QAction *download = m_form->toolBar()->action(QStringLiteral("DownLoadBtn"));
    auto pressed = [&] {
        return QList<bool>{led->isChecked(), monitor->isChecked(), download->isChecked()};
    };

    m_form->ShowChildWindow(QStringLiteral("TLEDForm"), QString());
    QApplication::setActiveWindow(m_form);
    m_form->UpdateCommandStates();
    QCOMPARE(pressed(), (QList<bool>{true, false, false}));

    // Pressing one releases the others.
    m_host->registry().CreateKX100(1);
    SendMessage(m_form, Msg::OpenEditor, 1);
    QCOMPARE(pressed(), (QList<bool>{false, false, true}));

    // A KX200 editor is a window of its own and presses none of the three.
    m_host->registry().CreateKX200(2);
    SendMessage(m_form, Msg::OpenEditor, 2);
    QWidget *kx200 = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->inherits("TKX200DnLdForm"))
            kx200 = window;
    QVERIFY(kx200);
    QApplication::setActiveWindow(kx200);
    m_form->UpdateCommandStates();
    QCOMPARE(pressed(), (QList<bool>{false, false, false}));
}

void tst_TMainForm::ownWindowOpensCentredAndFollowsTheFrame()
{
    WindowClasses::registerClass(QStringLiteral("TOwnProbeForm"), WindowClasses::Kind::TopLevel,
                                 [] { return new TProbeForm; });
    m_form->showNormal();
    m_form->setGeometry(100, 100, 800, 600);
    QWidget *window = m_form->ShowChildWindow(QStringLiteral("TOwnProbeForm"), QString());
    QVERIFY(window && window->isWindow());
    // Centred within the width of a window frame.
    const QPoint offset = window->frameGeometry().center() - m_form->frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 8,
             qPrintable(QStringLiteral("off by %1, %2").arg(offset.x()).arg(offset.y())));

    m_form->setWindowState(Qt::WindowMinimized);
    QVERIFY(window->isMinimized());
    m_form->setWindowState(Qt::WindowNoState);
    QVERIFY(!window->isMinimized());
    QVERIFY(window->isVisible());
}

void tst_TMainForm::cascadeFollowsActivation()
{
    // Opened 1, 2, 3, then 1 used last: 1 ends on top, furthest from the corner, with the
    // title bars of 2 and 3 above and left of it.
    m_form->show();
    QList<QMdiSubWindow *> subs;
    for (const char *caption : {"one", "two", "three"}) {
        m_form->ShowChildWindow(QStringLiteral("TProbeForm"), QLatin1String(caption));
        subs << m_form->mdiArea()->activeSubWindow();
    }
    m_form->mdiArea()->setActiveSubWindow(subs[0]);
    m_form->CascadeItemClick();
    QCOMPARE(m_form->mdiArea()->activeSubWindow(), subs[0]);
    QVERIFY(subs[1]->y() < subs[2]->y());
    QVERIFY(subs[2]->y() < subs[0]->y());
    QCOMPARE(m_form->mdiArea()->subWindowList(QMdiArea::StackingOrder).last(), subs[0]);
}

void tst_TMainForm::trayClickRestoresThePreviousState()
{
    // The frame starts maximised; minimised and brought back from the tray it is maximised
    // again, and a window in its normal state comes back normal.
    m_form->show();
    QVERIFY(m_form->isMaximized());
    m_form->setWindowState(m_form->windowState() | Qt::WindowMinimized);
    QVERIFY(m_form->isMinimized());
    m_form->TrayClick();
    QVERIFY(!m_form->isMinimized());
    QVERIFY(m_form->isMaximized());
    QVERIFY(m_form->isVisible());

    m_form->showNormal();
    m_form->setWindowState(Qt::WindowMinimized);
    m_form->TrayClick();
    QVERIFY(!m_form->isMinimized());
    QVERIFY(!m_form->isMaximized());
    QVERIFY(m_form->isVisible());
}

void tst_TMainForm::closingAsksEveryWindowBeforeClosingAny()
{
    // Every kind of window answers the question; none is asked by a name it may lack.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("invokeMethod|No such method")));
    m_form->show();
    m_form->ShowChildWindow(QStringLiteral("TLEDForm"), QString());
    m_host->registry().CreateKX100(1);
    m_host->registry().CreateKX300(2);
    SendMessage(m_form, Msg::OpenMonitor, 1);
    SendMessage(m_form, Msg::OpenEditor, 2); // the KX300 group index
    SendMessage(m_form, Msg::OpenEditor, 1);
    QCOMPARE(m_form->childWindows().size(), 4);
    auto *editor = qobject_cast<TDnLdForm *>(m_form->childWindows().last());
    QVERIFY(editor);
    editor->DefaultBtnClick(); // modified

    // The editor refuses: nothing closes, not even the status panel before it.
    m_dialogs->answers = {OperatorDialogs::Answer::No};
    QVERIFY(!m_form->close());
    QCOMPARE(m_form->childWindows().size(), 4);
    QCOMPARE(m_dialogs->shown.size(), 1);

    // The editor agrees: everything closes, and the question is asked once.
    m_dialogs->answers = {OperatorDialogs::Answer::Yes};
    QVERIFY(m_form->close());
    QCOMPARE(m_dialogs->shown.size(), 2);
    QTRY_VERIFY(m_form->childWindows().isEmpty());
}

void tst_TMainForm::closingWithNoticesWaitingSavesTheSettings()
{
    int saved = 0;
    m_form->setSettingsHooks({}, [&saved](TMainForm &) { ++saved; });
    m_form->show();
    const qsizetype boxes = m_dialogs->shown.size();
    OperatorNotice notice;
    notice.text = QStringLiteral("нет связи с портом /dev/ttyUSB0");
    notice.cause = OperatorNotice::Cause::LineLoss;
    ReportNotice(notice);
    notice.text = QStringLiteral("RS232 time out");
    ReportNotice(notice);
    QCOMPARE(m_form->notices().waitingCount(), 2);
    QVERIFY(m_form->close());
    QCOMPARE(saved, 1);
    QCOMPARE(m_form->notices().waitingCount(), 0);
    QCoreApplication::processEvents(); // the drain already posted finds nothing to show
    QCOMPARE(m_dialogs->shown.size(), boxes);
}

QTEST_MAIN(tst_TMainForm)
#include "tst_TMainForm.moc"
