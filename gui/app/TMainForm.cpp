#include "app/TMainForm.h"

#include "app/Artwork.h"
#include "app/CloseQuestion.h"
#include "app/MRUManager.h"
#include "app/MainSettings.h"
#include "app/OperatorDialogs.h"
#include "app/RegisterWindowClasses.h"
#include "app/SectionedToolBar.h"
#include "app/WaitCursor.h"
#include "app/WindowClasses.h"
#include "bus/BusHost.h"
#include "bus/InverterDetector.h"
#include "bus/TDM.h"
#include "serial/CommLink.h"
#include "serial/MessageNumbers.h"
#include "bus/ListeningMode.h"
#include "serial/TComm32.h"
#include "serial/TransactionEngine.h"
#include "serial/WindowMessage.h"
#include "views/TTrafficLogForm.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScopeGuard>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QWindowStateChangeEvent>

#include <memory>

namespace {

constexpr int SlotCount = 32;
// The size a child window had before "Плиткой", for "Каскадом" to give back.
const char *const TiledFromProperty = "sizeBeforeTile";

// Splits a hint at "|": the tool-tip before it, the status bar text after it; a hint without
// "|" serves for both.
void applyHint(QAction *action, const QString &hint)
{
    const int bar = hint.indexOf(QLatin1Char('|'));
    action->setToolTip(bar < 0 ? hint : hint.left(bar));
    action->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

} // namespace

void SetApplicationIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("drivelink"));
}

int SlotFromEntry(const QString &entry, int prefixLength)
{
    bool ok = false;
    const int slot = entry.mid(prefixLength).trimmed().toInt(&ok);
    return ok && slot >= 0 && slot < SlotCount ? slot : -1;
}

TMainForm::TMainForm(BusHost *host, CommLink *comm, QWidget *parent)
    : QMainWindow(parent), m_host(host), m_comm(comm), m_mdiArea(new QMdiArea(this))
{
    setObjectName(QStringLiteral("MainForm"));
    setCentralWidget(m_mdiArea);
    // Windows moved beyond a smaller frame stay reachable.
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QFont clientFont(QStringLiteral("MS Sans Serif"));
    m_mdiArea->setFont(clientFont);
    QPalette palette = m_mdiArea->palette();
    palette.setColor(QPalette::WindowText, Qt::darkBlue);
    m_mdiArea->setPalette(palette);
    setWindowState(Qt::WindowMaximized);
    SetMainWindow(this);
    createMenus();
    createToolBar();
    createStatusBar();
    createTrayIcon();
    connect(&m_host->engine(), &TransactionEngine::frameShown, m_rs232Message, &QLabel::setText);
    if (m_comm) {
        m_listening = new ListeningMode(*m_host, m_comm, this);
        connect(m_listening, &ListeningMode::activeChanged, this, [this](bool active) {
            m_messagePanel->setText(active ? ListeningMode::statusText() : QString());
        });
        connect(m_listening, &ListeningMode::failed, m_messagePanel, &QLabel::setText);
    }
    connect(&m_host->engine(), &TransactionEngine::busyChanged, this, [this](bool busy) {
        if (busy) {
            m_busyAnimation.start();
        } else {
            m_busyAnimation.stop();
            refreshBusNote(); // an address write may have moved a simulated drive
        }
    });
    connect(&m_host->engine(), &TransactionEngine::queueOverflow, this, [this](int slot) {
        m_messagePanel->setText(
            tr("Очередь обмена переполнена: запрос ПЧ #%1 не отправлен").arg(slot));
    });
    watchDetection();
    m_notices.installAsReader();
    connect(&m_notices, &NoticeQueue::repeated, m_messagePanel, &QLabel::setText);
    m_host->registry().setChildrenProvider([this] {
        QList<QObject *> children;
        for (QWidget *child : childWindows())
            children << child;
        // Top-level editor windows are children of the application too.
        for (QWidget *window : QApplication::topLevelWidgets())
            if (window != this && window->parentWidget() == this && window->isWindow() &&
                !qobject_cast<QDialog *>(window))
                children << window;
        return children;
    });
    FormCreate();
}

TMainForm::~TMainForm()
{
    // FormDestroy: the active-window handlers go first, since destroying the children moves
    // the focus while this object is half torn down; then the tray icon.
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(m_mdiArea, nullptr, this, nullptr);
    if (m_trayIcon)
        m_trayIcon->hide();
    m_host->registry().setChildrenProvider({});
    if (MainWindow() == this)
        SetMainWindow(m_host);
}

void TMainForm::FormCreate()
{
    RegisterWindowClasses();
    m_restorableClasses = {QStringLiteral("TLEDForm"), QStringLiteral("TMonitorForm"),
                           QStringLiteral("TKX100DnLdForm"), QStringLiteral("TKX200DnLdForm"),
                           QStringLiteral("TKX300DnLdForm"),
                           // Beside the windows above, reopened by setup files that list it.
                           QStringLiteral("TTrendForm")};
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, &TMainForm::UpdateCommandStates);
    connect(qApp, &QApplication::focusChanged, this, &TMainForm::UpdateCommandStates);
    if (m_trayIcon) {
        m_trayIcon->show();
        m_trayAnimation.start();
    }
    SetFileCaption(QString());
    UpdateCommandStates();
    PostMessage(this, Msg::StartUp);
}

void TMainForm::setSettingsHooks(SettingsHook restore, SettingsHook save)
{
    m_restoreSettings = std::move(restore);
    m_saveSettings = std::move(save);
}

void TMainForm::createMenus()
{
    struct Item
    {
        const char *name;
        QString caption;
        QKeySequence shortcut;
        QString hint;
        std::function<void()> handler;
    };
    auto addItems = [this](QMenu *menu, const QList<Item> &items) {
        for (const Item &item : items) {
            if (item.caption == QLatin1String("-")) {
                menu->addSeparator()->setObjectName(QLatin1String(item.name));
                continue;
            }
            QAction *action = menu->addAction(item.caption);
            action->setObjectName(QLatin1String(item.name));
            action->setShortcut(item.shortcut);
            action->setStatusTip(item.hint);
            connect(action, &QAction::triggered, this, item.handler);
        }
    };

    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    m_fileMenu = menuBar()->addMenu(QStringLiteral("&Файл"));
    addItems(
        m_fileMenu,
        {{"OpenItem", QStringLiteral("&Открыть..."), QKeySequence(QStringLiteral("Ctrl+O")),
          QStringLiteral("Открыть файл"), [this] { OpenBtnClick(); }},
         {"SaveItem", QStringLiteral("&Сохранить..."), QKeySequence(QStringLiteral("Ctrl+S")),
          QStringLiteral("Сохранить файл"), [this] { SaveBtnClick(); }},
         {"N4", QStringLiteral("-"), {}, {}, {}},
         {"ExitItem", QStringLiteral("В&ыход"), QKeySequence(QStringLiteral("Alt+X")), {}, [this] {
              ExitBtnClick();
          }}});
    m_mruManager = new MRUManager(m_fileMenu, this);
    connect(m_mruManager, &MRUManager::itemClicked, this, &TMainForm::MRUManager1Click);

    QMenu *setup = menuBar()->addMenu(QStringLiteral("&Настройка"));
    addItems(setup,
             {{"LedSate1", QStringLiteral("Состояние ИНД"), QKeySequence(Qt::Key_F1),
               QStringLiteral("Состояние ИНД"), [this] { LedSate1Click(); }},
              {"Monitor1", QStringLiteral("&Монитор..."), QKeySequence(Qt::Key_F2),
               QStringLiteral("Управление ПЧ"), [this] { MonitorBtnClick(); }},
              {"DownLoad1", QStringLiteral("Загрузить..."), QKeySequence(Qt::Key_F3),
               QStringLiteral("Загрузить константы"), [this] { DownLoad1Click(); }},
              {"N3", QStringLiteral("-"), {}, {}, {}},
              {"Address1",
               QStringLiteral("Адрес..."),
               {},
               QStringLiteral("ЗадатьПЧ'адрес"),
               [this] { AddressBtnClick(); }},
              {"AutoDetection1",
               QStringLiteral("Автопоиск..."),
               {},
               QStringLiteral("Автопоиск ПЧ'тип"),
               [this] { DetectionBtnClick(); }},
              {"StopDetection1",
               QStringLiteral("Остановить поиск"),
               {},
               QStringLiteral("Остановить поиск ПЧ"),
               [this] { StopDetectionClick(); }},
              {"N2", QStringLiteral("-"), {}, {}, {}},
              {"ResetCom", QStringLiteral("Сброс COM"), {}, QStringLiteral("Сброс СОМ"), [this] {
                   ResetComClick();
               }}});

    QMenu *options = menuBar()->addMenu(QStringLiteral("&Опции"));
    addItems(options, {{"Toolbar1",
                        QStringLiteral("Панель инструментов..."),
                        {},
                        QStringLiteral("Изменить панель"),
                        [this] { CustomizeItemClick(); }},
                       {"Communication1",
                        QStringLiteral("Связь..."),
                        {},
                        QStringLiteral("Установить порт"),
                        [this] { Communication1Click(); }}});

    QMenu *windows = menuBar()->addMenu(QStringLiteral("&Окна"));
    windows->setObjectName(QStringLiteral("WindowMenu"));
    addItems(windows, {{"CascadeItem",
                        QStringLiteral("&Каскадом"),
                        {},
                        QStringLiteral("Каскадом"),
                        [this] { CascadeItemClick(); }},
                       {"TileItem",
                        QStringLiteral("&Плиткой"),
                        {},
                        QStringLiteral("Плиткой"),
                        [this] { TileItemClick(); }},
                       {"ArrangeIconsItem",
                        QStringLiteral("Упорядочить &Значки"),
                        {},
                        {},
                        [this] { ArrangeIconsItemClick(); }},
                       {"CloseAllItem", QStringLiteral("За&крыть Все"), {}, {}, [this] {
                            CloseAllItemClick();
                        }}});
    addItems(windows, {{"N5", QStringLiteral("-"), {}, {}, {}},
                       {"TrafficLogItem",
                        QStringLiteral("&Журнал обмена"),
                        {},
                        QStringLiteral("Журнал обмена"),
                        [this] { TrafficLogItemClick(); }}});
    // The list of open child windows follows the commands.
    QAction *listSeparator = windows->addSeparator();
    connect(windows, &QMenu::aboutToShow, this, [this, windows, listSeparator] {
        const QList<QAction *> actions = windows->actions();
        for (int i = int(actions.indexOf(listSeparator)) + 1; i < actions.size(); ++i)
            windows->removeAction(actions[i]), actions[i]->deleteLater();
        const QList<QMdiSubWindow *> subs = m_mdiArea->subWindowList();
        QList<QWidget *> own;
        for (QWidget *window : ownWindows())
            if (window->isVisible())
                own << window;
        listSeparator->setVisible(!subs.isEmpty() || !own.isEmpty());
        for (int i = 0; i < subs.size(); ++i) {
            QMdiSubWindow *sub = subs[i];
            QAction *action =
                windows->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(sub->windowTitle()));
            action->setCheckable(true);
            action->setChecked(sub == m_mdiArea->activeSubWindow());
            connect(action, &QAction::triggered, this, [this, sub = QPointer<QMdiSubWindow>(sub)] {
                if (sub)
                    m_mdiArea->setActiveSubWindow(sub);
            });
        }
        // The editors that are windows of their own follow the child windows.
        for (int i = 0; i < own.size(); ++i) {
            QWidget *window = own[i];
            QAction *action = windows->addAction(
                QStringLiteral("&%1 %2").arg(subs.size() + i + 1).arg(window->windowTitle()));
            action->setCheckable(true);
            action->setChecked(window->isActiveWindow());
            connect(action, &QAction::triggered, this, [window = QPointer<QWidget>(window)] {
                if (!window)
                    return;
                if (window->isMinimized())
                    window->showNormal();
                window->raise();
                window->activateWindow();
            });
        }
    });

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Помощь"));
    addItems(help, {{"AboutItem", QStringLiteral("&О программе..."), {}, {}, [this] {
                         AboutItemClick();
                     }}});

    for (const char *name : {"CascadeItem", "TileItem", "ArrangeIconsItem", "CloseAllItem"})
        m_windowCommands << menuAction(QLatin1String(name));
}

QAction *TMainForm::menuAction(const QString &name) const
{
    return menuBar()->findChild<QAction *>(name);
}

void TMainForm::createToolBar()
{
    m_toolBar = new SectionedToolBar(this);
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    m_toolBar->setWallpaper(Artwork::background()); // "BACKGROUND"
    for (const char *section : {"Файл", "Окно", "Помощь", "Настройка", "Опции"})
        m_toolBar->addSection(QString::fromUtf8(section));

    m_latching = new QActionGroup(this);
    m_latching->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);

    struct ButtonDef
    {
        const char *name;
        const char *section;
        const char *text;
        const char *caption;
        const char *hint;
        bool visible;
        QStyle::StandardPixmap icon;
        std::function<void()> handler;
    };
    const QList<ButtonDef> buttonDefs = {
        {"SpeedItem2", "Файл", "Открыть", "Открыть Файл...", "Открыть Файл...", false,
         QStyle::SP_DialogOpenButton, [this] { OpenBtnClick(); }},
        {"SpeedItem3", "Файл", "Сохранить", "Сохранить Файл...", "Сохранить Файл...", false,
         QStyle::SP_DialogSaveButton, [this] { SaveBtnClick(); }},
        {"SpeedItem4", "Файл", "Выход", "Выход из приложения", "Выход из приложения|", true,
         QStyle::SP_DialogCloseButton, [this] { ExitBtnClick(); }},
        {"CascadeBtn", "Окно", "Каскад", "Каскадом", "Каскадом|", false,
         QStyle::SP_TitleBarNormalButton, [this] { WindowItemClick(1); }},
        {"TileBtn", "Окно", "Плиткой", "Плиткой", "Плиткой|", false, QStyle::SP_FileDialogListView,
         [this] { WindowItemClick(2); }},
        {"ArrangeBtn", "Окно", "Упоряд", "Упорядочить значки", "Упорядочить значки", false,
         QStyle::SP_FileDialogDetailedView, [this] { WindowItemClick(3); }},
        {"CloseAllBtn", "Окно", "Закрыть", "Закрыть все", "Закрыть все|", false,
         QStyle::SP_TitleBarCloseButton, [this] { CloseAllItemClick(); }},
        {"AboutBtn", "Помощь", "О прог", "О программе", "О программе|", true,
         QStyle::SP_MessageBoxInformation, [this] { AboutItemClick(); }},
        {"DetectBtn", "Настройка", "Поиск", "Автопоиск ПЧ", "Поиск ПЧ", true,
         QStyle::SP_FileDialogContentsView, [this] { DetectionBtnClick(); }},
        {"AddressBtn", "Настройка", "Адрес", "Адреса ПЧ", "Адреса ПЧ|", false,
         QStyle::SP_DriveNetIcon, [this] { AddressBtnClick(); }},
        {"MonitorBtn", "Настройка", "Монитор", "Мониторинг ПЧ", "Мониторинг ПЧ|", true,
         QStyle::SP_ComputerIcon, [this] { MonitorBtnClick(); }},
        {"LedBtn", "Настройка", "ИНД", "Состояние ИНД", "Состояние ИНД", true,
         QStyle::SP_DialogApplyButton, [this] { LedSate1Click(); }},
        {"DownLoadBtn", "Настройка", "Загрузка", "Загрузить константы", "Загрузка констант|", true,
         QStyle::SP_ArrowDown, [this] { DownLoad1Click(); }},
        {"SpeedItem6", "Настройка", "Сброс", "Сброс RS-485", "Сброс RS-485|", false,
         QStyle::SP_BrowserReload, [this] { ResetComClick(); }},
        {"SpeedItem7", "Опции", "Панель", "Настройка панели", "Настройка панели|", true,
         QStyle::SP_FileDialogInfoView, [this] { CustomizeItemClick(); }},
        {"SpeedItem8", "Опции", "Запуск...", "RS232", "RS232|", false, QStyle::SP_DriveHDIcon,
         [this] { Communication1Click(); }},
    };
    for (const ButtonDef &def : buttonDefs) {
        // The style's pictures come in several sizes; the bar shows them all at one.
        auto *action = new QAction(
            Artwork::uniformIcon(style()->standardIcon(def.icon), SectionedToolBar::IconSide),
            QString::fromUtf8(def.text), this);
        action->setObjectName(QLatin1String(def.name));
        applyHint(action, QString::fromUtf8(def.hint));
        connect(action, &QAction::triggered, this, def.handler);
        const QString name = QLatin1String(def.name);
        if (name == QLatin1String("MonitorBtn") || name == QLatin1String("LedBtn") ||
            name == QLatin1String("DownLoadBtn")) {
            action->setCheckable(true);
            m_latching->addAction(action);
        }
        m_toolBar->addButton({name, QString::fromUtf8(def.section), QString::fromUtf8(def.caption),
                              action, def.visible});
        if (qstrcmp(def.section, "Окно") == 0)
            m_windowCommands << action;
    }
    // The traffic log button waits in the customisation window until the operator shows it.
    auto *trafficLog = new QAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                                   QStringLiteral("Журнал"), this);
    trafficLog->setObjectName(QStringLiteral("TrafficLogBtn"));
    applyHint(trafficLog, QStringLiteral("Журнал обмена|"));
    connect(trafficLog, &QAction::triggered, this, &TMainForm::TrafficLogItemClick);
    m_toolBar->addButton({trafficLog->objectName(), QStringLiteral("Окно"),
                          QStringLiteral("Журнал обмена"), trafficLog, false});
    connect(m_toolBar, &SectionedToolBar::customizeRequested, this, &TMainForm::CustomizeItemClick);

    m_busyIndicator = new QLabel(this);
    m_busyIndicator->setObjectName(QStringLiteral("AnimatedImage1"));
    const QList<QPixmap> frames = Artwork::wheelFrames(12, 32, QColor(0x00, 0x30, 0x90));
    m_busyIndicator->setPixmap(frames.first());
    m_busyAnimation.setInterval(400);
    connect(&m_busyAnimation, &QTimer::timeout, this, [this, frames] {
        m_busyFrame = (m_busyFrame + 1) % frames.size();
        m_busyIndicator->setPixmap(frames.at(m_busyFrame));
    });
    m_toolBar->setTrailingWidget(m_busyIndicator);
}

void TMainForm::createStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusPanel"));
    bar->setFixedHeight(20);
    bar->setSizeGripEnabled(false);
    m_messagePanel = new QLabel(bar);
    m_messagePanel->setObjectName(QStringLiteral("MessagePanel"));
    m_messagePanel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_rs232Message = new QLabel(bar);
    m_rs232Message->setObjectName(QStringLiteral("RS232Message"));
    m_rs232Message->setFixedWidth(287);
    m_rs232Message->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_rs232Message->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_busNote = new QLabel(bar);
    m_busNote->setObjectName(QStringLiteral("BusNote"));
    m_busNote->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_busNote->hide();
    bar->addWidget(m_messagePanel, 1);
    bar->addPermanentWidget(m_busNote);
    bar->addPermanentWidget(m_rs232Message);
}

void TMainForm::setBusNote(const QString &note)
{
    m_busNote->setText(note);
    m_busNote->setVisible(!note.isEmpty());
}

QString TMainForm::busNote() const
{
    return m_busNote->text();
}

void TMainForm::setBusNoteSource(std::function<QString()> source)
{
    m_busNoteSource = std::move(source);
    refreshBusNote();
}

void TMainForm::refreshBusNote()
{
    if (m_busNoteSource)
        setBusNote(m_busNoteSource());
}

bool TMainForm::runsOnSimulatedPort() const
{
    const auto *comm = qobject_cast<const TComm32 *>(m_comm);
    return comm && !m_simulatedPort.isEmpty() && comm->commPort() == m_simulatedPort;
}

QString TMainForm::configuredPort() const
{
    const auto *comm = qobject_cast<const TComm32 *>(m_comm);
    if (!comm)
        return {};
    return runsOnSimulatedPort() ? m_storedPort : comm->commPort();
}

void TMainForm::keepSimulatedLine()
{
    auto *comm = qobject_cast<TComm32 *>(m_comm);
    if (!comm || m_simulatedPort.isEmpty() || comm->commPort() == m_simulatedPort)
        return;
    m_storedPort = comm->commPort();
    comm->setCommPort(m_simulatedPort);
    m_messagePanel->setText(
        QStringLiteral("Порт %1 из файла отложен: идёт имитация шины").arg(m_storedPort));
    refreshBusNote();
}

void TMainForm::createTrayIcon()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return; // offscreen or a bare X server: the program runs without a tray
    const QList<QIcon> frames = Artwork::trayFrames();
    m_trayIcon = new QSystemTrayIcon(frames.first(), this);
    m_trayIcon->setObjectName(QStringLiteral("TrayIcon"));
    m_trayIcon->setToolTip(QStringLiteral("RS485"));
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("TrayMenu"));
    QAction *main = m_trayMenu->addAction(QStringLiteral("RS485"), this, &TMainForm::TrayClick);
    QFont bold = main->font();
    bold.setBold(true);
    main->setFont(bold);
    m_trayMenu->addAction(QStringLiteral("О программе"), this, &TMainForm::AboutItemClick);
    m_trayMenu->addSeparator()->setEnabled(false);
    m_trayMenu->addAction(QStringLiteral("Выход"), this, &TMainForm::ExitBtnClick);
    m_trayIcon->setContextMenu(m_trayMenu);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    TrayClick();
            });
    m_trayAnimation.setInterval(200);
    connect(&m_trayAnimation, &QTimer::timeout, this, [this, frames] {
        m_trayFrame = (m_trayFrame + 1) % frames.size();
        m_trayIcon->setIcon(frames.at(m_trayFrame));
    });
}

QList<QWidget *> TMainForm::childWindows() const
{
    QList<QWidget *> children;
    for (QMdiSubWindow *sub : m_mdiArea->subWindowList(QMdiArea::CreationOrder))
        if (sub->widget())
            children << sub->widget();
    return children;
}

QMdiSubWindow *TMainForm::subWindowOf(QWidget *widget) const
{
    for (QMdiSubWindow *sub : m_mdiArea->subWindowList())
        if (sub->widget() == widget)
            return sub;
    return nullptr;
}

QWidget *TMainForm::ShowChildWindow(const QString &className, const QString &caption)
{
    const QByteArray classNameLatin1 = className.toLatin1();
    QList<QWidget *> candidates = childWindows();
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window != this)
            candidates << window;
    QWidget *found = nullptr;
    for (QWidget *window : candidates) {
        QWidget *frame = subWindowOf(window);
        if (!frame)
            frame = window;
        // A window that has been closed waits for its deletion; it no longer counts.
        const bool closed =
            frame->testAttribute(Qt::WA_WState_ExplicitShowHide) && frame->isHidden();
        if (!closed && window->inherits(classNameLatin1.constData()) &&
            (caption.isEmpty() || window->windowTitle() == caption)) {
            found = window;
            break;
        }
    }

    if (!found) {
        found = WindowClasses::create(className);
        if (!found)
            return nullptr;
        found->setAttribute(Qt::WA_DeleteOnClose);
        if (!caption.isEmpty())
            found->setWindowTitle(caption);
        if (WindowClasses::kind(className) == WindowClasses::Kind::MdiChild) {
            QMdiSubWindow *sub = m_mdiArea->addSubWindow(found);
            sub->setAttribute(Qt::WA_DeleteOnClose);
            sub->show();
            fitInArea(sub);
        } else {
            // A tool window of the frame: it stays above the frame when the operator clicks
            // there, and goes down and comes back with it.
            found->setParent(this, Qt::Tool);
            // A window of its own opens centred over the frame, not over its menu, at the
            // size it will show with.
            if (!found->testAttribute(Qt::WA_Resized))
                found->adjustSize();
            QRect placed(QPoint(), found->size());
            placed.moveCenter(frameGeometry().center());
            found->move(placed.topLeft());
        }
    }

    QWidget *frame = subWindowOf(found);
    if (!frame)
        frame = found;
    if (frame->isMinimized())
        frame->showNormal();
    frame->show();
    frame->raise();
    if (auto *sub = qobject_cast<QMdiSubWindow *>(frame))
        m_mdiArea->setActiveSubWindow(sub);
    else
        frame->activateWindow();
    return found;
}

TTrafficLogForm *TMainForm::trafficLogWindow() const
{
    if (!m_trafficLog)
        return nullptr;
    // A log window that has been closed waits for its deletion; it no longer counts.
    const QWidget *frame = subWindowOf(m_trafficLog);
    if (frame && frame->testAttribute(Qt::WA_WState_ExplicitShowHide) && frame->isHidden())
        return nullptr;
    return m_trafficLog;
}

void TMainForm::TrafficLogItemClick()
{
    TTrafficLogForm *form = trafficLogWindow();
    if (!form) {
        form = new TTrafficLogForm(&m_host->traffic());
        form->setListeningMode(m_listening);
        form->setAttribute(Qt::WA_DeleteOnClose);
        // The log shows the bus, not a part of the set-up: setup files leave it out.
        form->setProperty(NotInSetupProperty, true);
        QMdiSubWindow *sub = m_mdiArea->addSubWindow(form);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->resize(form->sizeHint());
        sub->show();
        fitInArea(sub);
        m_trafficLog = form;
    }
    QMdiSubWindow *sub = subWindowOf(form);
    if (sub->isMinimized())
        sub->showNormal();
    sub->show();
    sub->raise();
    m_mdiArea->setActiveSubWindow(sub);
    UpdateCommandStates();
}

bool TMainForm::RunModalDialog(const QString &className)
{
    std::unique_ptr<QWidget> window(WindowClasses::create(className));
    if (!window)
        return false;
    window->setParent(this, window->windowFlags() | Qt::Dialog);
    return OperatorDialogs::instance().runModal(window.get());
}

void TMainForm::SetFileCaption(const QString &name)
{
    setWindowTitle(
        QStringLiteral("Drivelink [%1]").arg(name.isEmpty() ? QStringLiteral("Untitle") : name));
}

void TMainForm::UpdateCommandStates()
{
    const bool hasChildren = !m_mdiArea->subWindowList().isEmpty();
    for (QAction *action : m_windowCommands)
        action->setEnabled(hasChildren);

    QWidget *active = QApplication::activeWindow();
    if (!active || active == this) {
        QMdiSubWindow *sub = m_mdiArea->activeSubWindow();
        active = sub ? sub->widget() : nullptr;
    }
    QAction *pressed = nullptr;
    if (active) {
        if (active->inherits("TLEDForm"))
            pressed = m_toolBar->action(QStringLiteral("LedBtn"));
        else if (active->inherits("TMonitorForm"))
            pressed = m_toolBar->action(QStringLiteral("MonitorBtn"));
        else if (qstrcmp(active->metaObject()->className(), "TKX100DnLdForm") == 0)
            pressed = m_toolBar->action(QStringLiteral("DownLoadBtn"));
    }
    for (QAction *action : m_latching->actions())
        action->setChecked(action == pressed);
}

bool TMainForm::event(QEvent *event)
{
    if (event->type() == WindowMessage::eventType()) {
        handleMessage(static_cast<WindowMessage *>(event));
        return true;
    }
    if (event->type() == QEvent::StatusTip) {
        // ShowHint: the status bar text of the hint under the mouse.
        m_messagePanel->setText(static_cast<QStatusTipEvent *>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void TMainForm::handleMessage(WindowMessage *message)
{
    switch (message->message()) {
    case Msg::StartUp:
        openStartUpWindows();
        break;
    case Msg::OpenMonitor:
        openMonitorWindow(int(message->wParam()));
        break;
    case Msg::OpenEditor:
        openEditorWindow(int(message->wParam()));
        break;
    case Msg::OpenTrend:
        if (message->wParam() >= 0 && message->wParam() < SlotCount) {
            WaitCursor wait;
            ShowChildWindow(QStringLiteral("TTrendForm"),
                            QStringLiteral("Тренд:  ПЧ     #%1").arg(message->wParam()));
            UpdateCommandStates();
        }
        break;
    default:
        // Transactions, detection and operator commands belong to the bus host.
        QCoreApplication::sendEvent(m_host, message);
        break;
    }
}

void TMainForm::openStartUpWindows()
{
    if (childWindows().isEmpty()) {
        WaitCursor wait;
        ShowChildWindow(QStringLiteral("TLEDForm"), QString());
        UpdateCommandStates();
    }
    RunModalDialog(QStringLiteral("TSplashForm"));
}

void TMainForm::openMonitorWindow(int slot)
{
    if (slot < 0 || slot >= SlotCount)
        return;
    WaitCursor wait;
    ShowChildWindow(QStringLiteral("TMonitorForm"),
                    QStringLiteral("Монитор:  ПЧ     #%1").arg(slot));
    UpdateCommandStates();
}

void TMainForm::openEditorWindow(int slot)
{
    if (slot < 0 || slot >= SlotCount || !m_host->registry().HasInverter(slot))
        return;
    WaitCursor wait;
    ShowChildWindow(m_host->registry().GetEditorClass(slot),
                    QStringLiteral("Загрузка:  ПЧ     #%1").arg(slot));
    UpdateCommandStates();
}

void TMainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        if (m_restoreSettings)
            m_restoreSettings(*this);
        FormShow();
    }
}

void TMainForm::FormShow()
{
    auto *comm = qobject_cast<TComm32 *>(m_comm);
    if (comm && !m_simulatedPort.isEmpty()) {
        m_storedPort = comm->commPort();
        comm->setCommPort(m_simulatedPort);
    }
    // A port that did not open is named in the status bar until it does.
    if (m_comm && !m_comm->StartComm())
        m_rs232Message->setText(TransactionEngine::closedPortText(m_comm->portName()));
    refreshBusNote();
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    // Every window is asked first and nothing closes unless all agree: a window that may
    // refuse (an editor with unsaved changes) answers through its FormCloseQuery; a window
    // without the question has nothing to lose and agrees.
    QList<QWidget *> windows = childWindows();
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window != this && window->parentWidget() == this && window->isVisible() &&
            !qobject_cast<QDialog *>(window))
            windows << window;
    for (QWidget *window : std::as_const(windows)) {
        auto *question = dynamic_cast<CloseQuestion *>(window);
        if (question && !question->FormCloseQuery()) {
            event->ignore();
            return;
        }
    }
    // The settings store sees the windows as they are; then they close without asking again.
    // It records the configured port, never the simulator's device.
    if (m_saveSettings)
        m_saveSettings(*this);
    for (QWidget *window : std::as_const(windows)) {
        if (auto *question = dynamic_cast<CloseQuestion *>(window))
            question->approveClose();
        if (QMdiSubWindow *sub = subWindowOf(window))
            sub->close();
        else
            window->close();
    }
    // FormClose: notices still waiting concern a line that is closing.
    m_notices.clear();
    if (m_comm)
        m_comm->StopComm();
    m_trayAnimation.stop();
    if (m_trayIcon)
        m_trayIcon->hide();
    event->accept();
}

void TMainForm::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    // Coming back from the tray, the frame takes the state it was minimised from.
    const Qt::WindowStates before = static_cast<QWindowStateChangeEvent *>(event)->oldState();
    if (isMinimized() && !(before & Qt::WindowMinimized))
        m_maximizedBeforeMinimize = before & (Qt::WindowMaximized | Qt::WindowFullScreen);
    // Top-level windows of the frame go down and come back with it.
    if (isMinimized() && !(before & Qt::WindowMinimized)) {
        for (QWidget *window : ownWindows())
            if (window->isVisible() && !window->isMinimized()) {
                m_minimizedWithFrame << window;
                window->showMinimized();
            }
    } else if (!isMinimized() && (before & Qt::WindowMinimized)) {
        for (const QPointer<QWidget> &window : std::as_const(m_minimizedWithFrame))
            if (window)
                window->showNormal();
        m_minimizedWithFrame.clear();
    }
    if (!m_trayIcon)
        return;
    // Minimised, only the tray icon stays: the task-bar button goes with the hidden window.
    if (isMinimized())
        QTimer::singleShot(0, this, &QWidget::hide);
}

void TMainForm::TrayClick()
{
    Qt::WindowStates state = windowState();
    if (state & Qt::WindowMinimized) {
        state &= ~Qt::WindowMinimized;
        if (m_maximizedBeforeMinimize)
            state |= Qt::WindowMaximized;
    }
    setWindowState(state | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void TMainForm::ExitBtnClick()
{
    close();
}

void TMainForm::CustomizeItemClick()
{
    m_toolBar->customize();
}

void TMainForm::WindowItemClick(int tag)
{
    switch (tag) {
    case 1:
        cascade();
        break;
    case 2:
        tile();
        break;
    case 3:
        ArrangeIconsItemClick();
        break;
    default:
        break;
    }
}

void TMainForm::CascadeItemClick()
{
    cascade();
}

void TMainForm::cascade()
{
    // In the order of activation: the window used last lies on top, and every title bar
    // stays in view above the windows used after it.
    QList<QMdiSubWindow *> windows;
    for (QMdiSubWindow *sub : m_mdiArea->subWindowList(QMdiArea::ActivationHistoryOrder))
        if (sub->isVisible() && !sub->isMinimized())
            windows << sub;
    if (windows.isEmpty())
        return;
    const QRect area = m_mdiArea->viewport()->rect();
    const int step = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, windows.first()) + 4;
    // Room for every window with the offsets of those after it, but never less than half the
    // area, after which the stack starts again at the corner.
    const int offsets = step * int(windows.size() - 1);
    const QSize room(std::max(area.width() - offsets, area.width() / 2),
                     std::max(area.height() - offsets, area.height() / 2));
    QPoint corner;
    for (QMdiSubWindow *sub : std::as_const(windows)) {
        sub->showNormal();
        // Each window gets back the size it had before tiling.
        const QSize normal = sub->property(TiledFromProperty).toSize();
        sub->setProperty(TiledFromProperty, QVariant());
        const QSize size = (normal.isValid() ? normal : sub->size()).boundedTo(room);
        if (corner.y() + size.height() > area.height() || corner.x() + size.width() > area.width())
            corner = QPoint();
        sub->setGeometry(QRect(corner, size));
        sub->raise();
        corner += QPoint(step, step);
    }
    m_mdiArea->setActiveSubWindow(windows.last());
}

void TMainForm::fitInArea(QMdiSubWindow *sub) const
{
    const QRect area = m_mdiArea->viewport()->rect();
    if (area.isEmpty())
        return;
    QRect placed(sub->pos(), sub->size().boundedTo(area.size()));
    placed.moveRight(std::min(placed.right(), area.right()));
    placed.moveBottom(std::min(placed.bottom(), area.bottom()));
    placed.moveLeft(std::max(placed.left(), area.left()));
    placed.moveTop(std::max(placed.top(), area.top()));
    if (placed != sub->geometry())
        sub->setGeometry(placed);
}

QList<QWidget *> TMainForm::ownWindows() const
{
    QList<QWidget *> windows;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window != this && window->parentWidget() == this && window->isWindow() &&
            !qobject_cast<QDialog *>(window))
            windows << window;
    return windows;
}

void TMainForm::TileItemClick()
{
    m_tileVertical = true;
    tile();
}

void TMainForm::tile()
{
    QList<QMdiSubWindow *> windows;
    for (QMdiSubWindow *sub : m_mdiArea->subWindowList(QMdiArea::CreationOrder))
        if (sub->isVisible() && !sub->isMinimized())
            windows << sub;
    if (windows.isEmpty())
        return;
    const QRect area = m_mdiArea->viewport()->rect();
    const int count = int(windows.size());
    for (int i = 0; i < count; ++i) {
        QRect cell;
        if (m_tileVertical) { // side by side
            const int width = area.width() / count;
            cell = QRect(i * width, 0, width, area.height());
        } else { // one above another
            const int height = area.height() / count;
            cell = QRect(0, i * height, area.width(), height);
        }
        windows[i]->showNormal();
        if (!windows[i]->property(TiledFromProperty).isValid())
            windows[i]->setProperty(TiledFromProperty, windows[i]->size());
        windows[i]->setGeometry(cell);
    }
}

void TMainForm::ArrangeIconsItemClick()
{
    // Minimised children line up along the bottom edge of the client area.
    int x = 0;
    const int bottom = m_mdiArea->viewport()->height();
    for (QMdiSubWindow *sub : m_mdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (!sub->isMinimized())
            continue;
        sub->move(x, bottom - sub->height());
        x += sub->width();
    }
}

void TMainForm::CloseAllItemClick()
{
    for (QWidget *child : childWindows())
        if (QMdiSubWindow *sub = subWindowOf(child))
            sub->close();
}

void TMainForm::AboutItemClick()
{
    m_trayAnimation.stop();
    const auto restart = qScopeGuard([this] {
        if (m_trayIcon)
            m_trayAnimation.start();
    });
    RunModalDialog(QStringLiteral("TAboutForm"));
}

void TMainForm::LedSate1Click()
{
    WaitCursor wait;
    ShowChildWindow(QStringLiteral("TLEDForm"), QString());
}

void TMainForm::chooseSlotsAndPost(const QString &title, const QString &chosenLabel,
                                   const QString &prefix, bool occupiedOnly,
                                   const QString &availableLabel, uint32_t message)
{
    OperatorDialogs::ChoiceRequest request;
    request.title = title;
    request.availableLabel = availableLabel;
    request.chosenLabel = chosenLabel;
    for (int slot = 0; slot < SlotCount; ++slot)
        if (!occupiedOnly || m_host->registry().HasInverter(slot))
            request.available << prefix + QString::number(slot);
    const QStringList chosen = OperatorDialogs::instance().chooseItems(request);
    for (const QString &entry : chosen) {
        const int slot = SlotFromEntry(entry);
        if (slot >= 0)
            PostMessage(this, message, slot);
    }
}

void TMainForm::MonitorBtnClick()
{
    chooseSlotsAndPost(QStringLiteral("Мониторинг ПЧ    "), QStringLiteral("&ПЧ для мониторинга "),
                       QStringLiteral("  ПЧ     #"), true, QStringLiteral("&Доступные инверторы"),
                       Msg::OpenMonitor);
}

void TMainForm::DownLoad1Click()
{
    chooseSlotsAndPost(QStringLiteral("Загрузка констант  "), QStringLiteral("&Загруз.  инверторы"),
                       QStringLiteral("   ПЧ    #"), true, QStringLiteral("&Доступные инверторы"),
                       Msg::OpenEditor);
}

void TMainForm::DetectionBtnClick()
{
    chooseSlotsAndPost(QStringLiteral("          Поиск ПЧ   "),
                       QStringLiteral("Поиск ПЧ          "), QStringLiteral("   ПЧ    #"), false,
                       QStringLiteral("ПЧ       "), Msg::QueueDetection);
}

void TMainForm::StopDetectionClick()
{
    SendMessage(this, Msg::StopDetection);
}

void TMainForm::watchDetection()
{
    // A permanent panel of the status bar follows the run; hints do not overwrite it.
    m_detectionNote = new QLabel(statusBar());
    m_detectionNote->setObjectName(QStringLiteral("DetectionNote"));
    m_detectionNote->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_detectionNote->hide();
    // Permanent panels are counted after the normal ones: the hint panel is the one normal
    // panel, so the note becomes the leftmost permanent one.
    statusBar()->insertPermanentWidget(1, m_detectionNote);
    QAction *stop = menuAction(QStringLiteral("StopDetection1"));
    stop->setEnabled(false);
    InverterDetector *detector = &m_host->detector();
    connect(detector, &InverterDetector::progress, this,
            [this, stop](int slot, int index, int count) {
                m_detectionNote->setText(
                    QStringLiteral("Поиск: ПЧ #%1, %2 из %3").arg(slot).arg(index).arg(count));
                m_detectionNote->show();
                stop->setEnabled(true);
            });
    connect(detector, &InverterDetector::finished, this, [this, stop](bool stopped) {
        m_detectionNote->hide();
        stop->setEnabled(false);
        if (stopped)
            m_messagePanel->setText(QStringLiteral("Поиск ПЧ остановлен"));
    });
    connect(detector, &InverterDetector::queueFull, this, [this](int slot) {
        m_messagePanel->setText(QStringLiteral("Очередь обмена переполнена: поиск ПЧ #%1 не "
                                               "выполнен, ПЧ оставлен без изменений")
                                    .arg(slot));
    });
}

void TMainForm::AddressBtnClick()
{
    RunModalDialog(QStringLiteral("TAddressForm"));
    refreshBusNote();
}

void TMainForm::Communication1Click()
{
    RunModalDialog(QStringLiteral("TRS232Form"));
    // A real port chosen while the simulated bus runs becomes the one files record.
    if (!m_simulatedPort.isEmpty() && !runsOnSimulatedPort())
        m_storedPort = configuredPort();
    refreshBusNote();
}

void TMainForm::ResetComClick()
{
    SendMessage(this, Msg::RestartPort);
    refreshBusNote();
}

void TMainForm::OpenBtnClick()
{
    OperatorDialogs::FileRequest request;
    request.filter = QStringLiteral("*.ini (Setup File) (*.ini)");
    request.defaultSuffix = QStringLiteral("ini");
    request.confirmOverwrite = false;
    const QString fileName = OperatorDialogs::instance().openFileName(request);
    if (fileName.isEmpty())
        return;
    // Opening does not put the name into the recent-files list.
    if (MainSettings::OpenSetupFile(*this, fileName))
        SetFileCaption(fileName);
}

void TMainForm::SaveBtnClick()
{
    OperatorDialogs::FileRequest request;
    request.filter = QStringLiteral("*.ini (Setup file) (*.ini)");
    request.defaultSuffix = QStringLiteral("ini");
    request.confirmOverwrite = true;
    const QString fileName = OperatorDialogs::instance().saveFileName(request);
    if (fileName.isEmpty())
        return;
    // A file that could not be written changes neither the list nor the caption.
    if (!MainSettings::SaveSetupFile(*this, fileName))
        return;
    m_mruManager->add(fileName);
    SetFileCaption(fileName);
}

void TMainForm::MRUManager1Click(const QString &fileName)
{
    // A recent file that cannot be read (moved, deleted, damaged) is reported like one chosen
    // in the file dialog: swallowing the error would leave the operator with a click that
    // does nothing. The caption stays unchanged then.
    if (MainSettings::OpenSetupFile(*this, fileName))
        SetFileCaption(fileName);
}
