#pragma once

#include "app/NoticeQueue.h"

#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <functional>

class BusHost;
class QActionGroup;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QSystemTrayIcon;
class SectionedToolBar;
class TTrafficLogForm;
class CommLink;
class ListeningMode;
class MRUManager;
class WindowMessage;

// The MDI frame window: menu, sectioned tool bar, status bar with the frame log, tray icon,
// the commands that open the operator windows, and the dispatch of the system's window
// messages. Bus traffic itself belongs to the bus host, to which every message the window
// does not handle is passed on.
class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    TMainForm(BusHost *host, CommLink *comm, QWidget *parent = nullptr);
    ~TMainForm() override;

    // Finds a window of the class (or a class derived from it) whose caption equals the given
    // one (an empty caption matches any), else creates one with that caption; restores it if
    // minimised, shows it and brings it to the front. Null when the class cannot be created.
    QWidget *ShowChildWindow(const QString &className, const QString &caption);
    // Creates a window of the class, shows it modally, destroys it; true on OK or Yes.
    bool RunModalDialog(const QString &className);
    void SetFileCaption(const QString &name);
    void UpdateCommandStates();

    // The child windows of the frame, in the frame's order (oldest first).
    QList<QWidget *> childWindows() const;
    QMdiArea *mdiArea() const { return m_mdiArea; }
    SectionedToolBar *toolBar() const { return m_toolBar; }
    QLabel *messagePanel() const { return m_messagePanel; }
    QLabel *rs232Message() const { return m_rs232Message; }
    // The notices of the line, shown from this window's event loop one box at a time.
    NoticeQueue &notices() { return m_notices; }
    // Detection's progress while it runs, else hidden.
    QLabel *detectionNote() const { return m_detectionNote; }
    BusHost *host() const { return m_host; }
    CommLink *comm() const { return m_comm; }
    // Listening to another master ("Прослушивание" in the traffic log); null without a line.
    ListeningMode *listeningMode() const { return m_listening; }
    QAction *menuAction(const QString &name) const;
    QMenu *fileMenu() const { return m_fileMenu; }
    // The recent-files list at the end of the "&Файл" menu.
    MRUManager *mruManager() const { return m_mruManager; }
    // Runs the port on this device (the simulated bus) instead of the stored port name; the
    // stored name is what the settings store keeps.
    void setSimulatedPort(const QString &device) { m_simulatedPort = device; }
    QString simulatedPort() const { return m_simulatedPort; }
    // True while the serial port is pointed at the simulated bus.
    bool runsOnSimulatedPort() const;
    // The port a setup file records: the port in use, or while the simulated bus serves, the
    // port last configured for a real bus.
    QString configuredPort() const;
    // After a setup file named another port while the simulated bus served: that port is
    // kept for later and the simulated bus stays in use.
    void keepSimulatedLine();
    // The text of the bus note, asked again whenever the port or the bus may have changed.
    void setBusNoteSource(std::function<QString()> source);
    void refreshBusNote();
    // A permanent note at the left of the frame log, e.g. that the bus is simulated.
    void setBusNote(const QString &note);
    QString busNote() const;
    // Window classes that a setup file may recreate.
    const QSet<QString> &restorableClasses() const { return m_restorableClasses; }
    // Whether tiling puts the windows side by side (after "&Плиткой") or one above another.
    bool tilesVertically() const { return m_tileVertical; }

    // Command handlers.
    void OpenBtnClick();
    void SaveBtnClick();
    void MRUManager1Click(const QString &fileName);
    void ExitBtnClick();
    void LedSate1Click();
    void MonitorBtnClick();
    void DownLoad1Click();
    void AddressBtnClick();
    void DetectionBtnClick();
    // Drops the queued detection probes (also Esc in the status panel).
    void StopDetectionClick();
    void ResetComClick();
    void CustomizeItemClick();
    void Communication1Click();
    void WindowItemClick(int tag);
    void CascadeItemClick();
    void TileItemClick();
    void ArrangeIconsItemClick();
    void CloseAllItemClick();
    void AboutItemClick();
    void TrayClick();
    // Opens the traffic log, or brings up the one that is open; there is never a second.
    void TrafficLogItemClick();
    // The open traffic log window, or null.
    TTrafficLogForm *trafficLogWindow() const;

    // Hooks the settings store and setup files use.
    using SettingsHook = std::function<void(TMainForm &)>;
    void setSettingsHooks(SettingsHook restore, SettingsHook save);

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void handleMessage(WindowMessage *message);
    void openStartUpWindows();
    void openMonitorWindow(int slot);
    void openEditorWindow(int slot);
    // Runs the dual list dialog over the occupied slots and posts `message` per chosen slot.
    void chooseSlotsAndPost(const QString &title, const QString &chosenLabel, const QString &prefix,
                            bool occupiedOnly, const QString &availableLabel, uint32_t message);
    void tile();
    void cascade();
    // Top-level windows of the frame (the KX200 editor), dialogs left out.
    QList<QWidget *> ownWindows() const;
    // Moves and, when it must, shrinks a child window so that it lies inside the client area.
    void fitInArea(QMdiSubWindow *sub) const;
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void createTrayIcon();
    void watchDetection();
    QMdiSubWindow *subWindowOf(QWidget *widget) const;

    BusHost *m_host;
    CommLink *m_comm;
    ListeningMode *m_listening = nullptr;
    QMdiArea *m_mdiArea;
    SectionedToolBar *m_toolBar = nullptr;
    NoticeQueue m_notices;
    QLabel *m_messagePanel = nullptr;
    QLabel *m_rs232Message = nullptr;
    QLabel *m_busyIndicator = nullptr;
    QLabel *m_busNote = nullptr;
    QLabel *m_detectionNote = nullptr;
    QTimer m_busyAnimation;
    int m_busyFrame = 0;
    QMenu *m_fileMenu = nullptr;
    MRUManager *m_mruManager = nullptr;
    QActionGroup *m_latching = nullptr;
    QList<QAction *> m_windowCommands;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QMenu *m_trayMenu = nullptr;
    QTimer m_trayAnimation;
    int m_trayFrame = 0;
    QSet<QString> m_restorableClasses;
    QList<QPointer<QWidget>> m_minimizedWithFrame;
    bool m_tileVertical = false;
    bool m_maximizedBeforeMinimize = false;
    bool m_shown = false;
    QString m_simulatedPort;
    QString m_storedPort;
    std::function<QString()> m_busNoteSource;
    SettingsHook m_restoreSettings;
    SettingsHook m_saveSettings;
    QPointer<TTrafficLogForm> m_trafficLog;
};

// A child window with this property set true is left out of setup files.
inline constexpr char NotInSetupProperty[] = "notInSetup";

// Slot number of an entry such as "   ПЧ    #12": the decimal number after the 10-character
// prefix; -1 when there is none or it is outside 0..31.
int SlotFromEntry(const QString &entry, int prefixLength = 10);

// Names the application. It sets no display name: the window system would append one to every
// window title, and the main window's title is its caption alone.
void SetApplicationIdentity();
