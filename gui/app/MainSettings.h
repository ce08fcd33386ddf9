#pragma once

#include "setup/SetupFile.h"

#include <QList>
#include <QString>
#include <QStringList>

class IniFile;
class TComm32;
class TMainForm;

// The main window's share of a setup file ("RS232 Section" and "MDI Section") and the two
// file commands built on it. The file's whole setup is the registry's inverter list followed
// by these sections; the settings store uses the same routines.
class MainSettings
{
public:
    // Caption of the boxes that report file errors.
    static const QString MessageCaption;

    // The serial port whose settings a setup file keeps: the main window's line when it is the
    // real port, else null (then "RS232 Section" is neither written nor read).
    static TComm32 *port(const TMainForm &form);
    // The MDI children in the main window's child order, as a setup file lists them.
    static QList<SetupFile::WindowEntry> childWindowEntries(const TMainForm &form);

    static void SaveMainSettings(const TMainForm &form, IniFile &ini);
    // As above with a list of windows taken earlier (the settings store takes it before the
    // children close).
    static void SaveMainSettings(const TMainForm &form, IniFile &ini,
                                 const QList<SetupFile::WindowEntry> &windows);
    // Applies the serial settings to the port's properties (the running port is not
    // restarted) and brings up the listed windows of restorable classes, without duplicating
    // a window of the same class and caption. Returns notes on entries that were refused.
    static QStringList LoadMainSettings(TMainForm &form, const IniFile &ini);
    // Loads the inverter list and parameter sets of a setup file or the settings store; keys
    // and sections written twice (the first is taken) are named in the status bar.
    static void LoadInverters(TMainForm &form, const IniFile &ini, const QString &fileName);

    // Reads a setup file into the registry and the main window. Failures and refused entries
    // are reported in message boxes; false when nothing could be read.
    static bool OpenSetupFile(TMainForm &form, const QString &fileName);
    // Writes the setup into the file, keeping sections the setup does not own; the file is
    // replaced atomically. A failure is reported in a message box; false then.
    static bool SaveSetupFile(TMainForm &form, const QString &fileName);
};
