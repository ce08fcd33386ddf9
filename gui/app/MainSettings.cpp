#include "app/MainSettings.h"

#include "setup/IniFile.h"
#include "app/OperatorDialogs.h"
#include "app/TMainForm.h"
#include "bus/BusHost.h"
#include "bus/TDM.h"
#include "serial/TComm32.h"

#include <QFileInfo>
#include <QCoreApplication>
#include <QMdiSubWindow>
#include <QScreen>
#include <QStatusTipEvent>

const QString MainSettings::MessageCaption = QStringLiteral("Drivelink");

namespace {

QMdiSubWindow *frameOf(const QWidget *window)
{
    return qobject_cast<QMdiSubWindow *>(window->parentWidget());
}

// Child windows are placed inside the client area, which never exceeds the desktop.
QSize clientAreaBound(const TMainForm &form)
{
    const QScreen *screen = form.screen();
    return screen ? screen->availableVirtualSize() : QSize(1024, 768);
}

} // namespace

TComm32 *MainSettings::port(const TMainForm &form)
{
    return qobject_cast<TComm32 *>(form.comm());
}

QList<SetupFile::WindowEntry> MainSettings::childWindowEntries(const TMainForm &form)
{
    QList<SetupFile::WindowEntry> windows;
    for (const QWidget *child : form.childWindows()) {
        if (child->property(NotInSetupProperty).toBool())
            continue;
        const QWidget *frame = frameOf(child);
        const QRect geometry = frame ? frame->geometry() : child->geometry();
        windows << SetupFile::WindowEntry{QString::fromLatin1(child->metaObject()->className()),
                                          child->windowTitle(),
                                          geometry.left(),
                                          geometry.top(),
                                          geometry.width(),
                                          geometry.height()};
    }
    return windows;
}

void MainSettings::SaveMainSettings(const TMainForm &form, IniFile &ini)
{
    SaveMainSettings(form, ini, childWindowEntries(form));
}

void MainSettings::SaveMainSettings(const TMainForm &form, IniFile &ini,
                                    const QList<SetupFile::WindowEntry> &windows)
{
    if (const TComm32 *comm = port(form))
        SetupFile::SaveSerialSettings(ini, *comm, form.configuredPort());
    SetupFile::SaveWindowList(ini, windows);
}

QStringList MainSettings::LoadMainSettings(TMainForm &form, const IniFile &ini)
{
    QStringList notes;
    if (TComm32 *comm = port(form)) {
        const bool simulating = form.runsOnSimulatedPort();
        notes << SetupFile::LoadSerialSettings(ini, *comm);
        if (simulating)
            form.keepSimulatedLine();
    }

    const QStringList restorable(form.restorableClasses().begin(), form.restorableClasses().end());
    const QSize area = clientAreaBound(form);
    for (const SetupFile::WindowEntry &entry : SetupFile::LoadWindowList(ini, restorable, &notes)) {
        QWidget *window = form.ShowChildWindow(entry.className, entry.caption);
        if (!window) {
            notes << QStringLiteral("A window of class %1 cannot be created").arg(entry.className);
            continue;
        }
        if (QMdiSubWindow *frame = frameOf(window))
            frame->setGeometry(SetupFile::BoundedGeometry(entry, area, frame->size()));
    }
    return notes;
}

void MainSettings::LoadInverters(TMainForm &form, const IniFile &ini, const QString &fileName)
{
    const QStringList duplicates = form.host()->registry().LoadInverters(ini);
    if (!duplicates.isEmpty()) {
        // Of a key written twice the first is taken; the status bar names them all.
        QStatusTipEvent tip(QStringLiteral("Файл \"%1\" содержит повторы, взяты первые: %2")
                                .arg(fileName, duplicates.join(QStringLiteral("; "))));
        QCoreApplication::sendEvent(&form, &tip);
    }
}

bool MainSettings::OpenSetupFile(TMainForm &form, const QString &fileName)
{
    // A missing file would read as an empty one and pass for a successful open.
    if (!QFileInfo::exists(fileName)) {
        ShowMessage(MessageCaption,
                    QStringLiteral("Cannot open \"%1\": the file does not exist").arg(fileName));
        return false;
    }
    IniFile ini(fileName);
    QString error;
    if (!ini.load(&error)) {
        ShowMessage(MessageCaption, error);
        return false;
    }
    LoadInverters(form, ini, fileName);
    if (ini.mixedEncoding()) {
        // Lines another editor saved in another encoding may read garbled; the status bar
        // says so without stopping the open.
        QStatusTipEvent tip(
            QStringLiteral("Файл \"%1\" содержит строки в разных кодировках (UTF-8 и Windows-1251)")
                .arg(fileName));
        QCoreApplication::sendEvent(&form, &tip);
    }
    const QStringList notes = LoadMainSettings(form, ini);
    if (!notes.isEmpty())
        ShowMessage(MessageCaption,
                    QStringLiteral("Some settings of \"%1\" were not applied:\n%2")
                        .arg(fileName, notes.join(QLatin1Char('\n'))),
                    OperatorDialogs::Icon::Warning);
    return true;
}

bool MainSettings::SaveSetupFile(TMainForm &form, const QString &fileName)
{
    IniFile ini(fileName);
    QString error;
    // Sections the setup does not own stay as they are, so the file is read first; a file
    // that cannot be read is not overwritten.
    if (!ini.load(&error)) {
        ShowMessage(MessageCaption, error);
        return false;
    }
    form.host()->registry().SaveInverters(ini);
    SaveMainSettings(form, ini);
    if (!ini.save(&error)) {
        ShowMessage(MessageCaption, error);
        return false;
    }
    return true;
}
