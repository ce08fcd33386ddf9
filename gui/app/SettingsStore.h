#pragma once

#include "setup/SetupFile.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class IniFile;
class TMainForm;
class WindowPlacement;

// The settings store: an INI file named after the executable with ".INI" (for example
// "drivelink.INI") in $XDG_CONFIG_HOME, or ~/.config when that is not set. It holds the main
// window's placement (section "TMainForm", see WindowPlacement), the recent-files list
// ("TMainForm.MRUManager1"), the tool-bar layout ("TMainForm.Toolbar": "Count" and the shown
// button names "Button_0" .. in order) and the whole setup, written and read by the same
// routines as a setup file. Keys of other sections stay as they were; every save replaces the
// file atomically.
class SettingsStore : public QObject
{
    Q_OBJECT

public:
    static const QString RecentFilesSection;
    static const QString ToolBarSection;
    // Whether the traffic log was open: "Open" = 1 or 0.
    static const QString TrafficLogSection;
    static const QString TrafficLogOpenKey;
    // More "Button_<n>" keys than this are not read.
    static constexpr int MaxToolBarButtons = 64;

    // Watches the main window's close so the child windows can be listed before they close.
    SettingsStore(TMainForm &form, const QString &fileName);

    // "<executable name without extension>.INI" in the configuration directory.
    static QString defaultFileName();
    QString fileName() const { return m_fileName; }
    // Whether restore() has run, and whether a save has succeeded since.
    bool restored() const { return m_restored; }
    bool saved() const { return m_saved; }

    // Reads the store into the main window: placement, recent files, tool bar, then the
    // inverter list and the main window's setup sections; finally focuses the control that
    // had the focus. A failure is reported in a message box and leaves the window as it is.
    bool restore();
    // Writes the main window's state, with the MDI children open now, into the store. A
    // failure is reported in a message box.
    bool save();
    // What the main window's close hook runs once every window has agreed to close and before
    // any has: writes the store. Nothing is written when the store was never read, so a
    // window that was never shown cannot wipe it.
    bool saveOnClose();

private:
    // The setup part of the store, read after and written after the placement.
    void FormPlacementResotorePlacement(const IniFile &ini);
    void FormPlacement1SavePlacement(IniFile &ini, const QList<SetupFile::WindowEntry> &windows);
    WindowPlacement capturePlacement() const;
    void applyPlacement(const WindowPlacement &placement);
    void focusControl(const QString &name);
    void loadToolBar(const IniFile &ini);
    void saveToolBar(IniFile &ini) const;

    TMainForm &m_form;
    QString m_fileName;
    bool m_restored = false;
    bool m_saved = false;
};

// Makes the main window read the store (the default file) when it is first shown, before the
// port opens, and write it when it is allowed to close, or when the application quits without
// that close. The store is a child of the window.
SettingsStore *InstallSettingsStore(TMainForm &form);
