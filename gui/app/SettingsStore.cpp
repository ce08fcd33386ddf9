#include "app/SettingsStore.h"

#include "setup/IniFile.h"
#include "app/MRUManager.h"
#include "app/MainSettings.h"
#include "app/OperatorDialogs.h"
#include "app/SectionedToolBar.h"
#include "app/TMainForm.h"
#include "views/TTrafficLogForm.h"
#include "setup/WindowPlacement.h"
#include "bus/BusHost.h"
#include "bus/TDM.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>

#include <algorithm>
#include <limits>

const QString SettingsStore::RecentFilesSection = QStringLiteral("TMainForm.MRUManager1");
const QString SettingsStore::ToolBarSection = QStringLiteral("TMainForm.Toolbar");
const QString SettingsStore::TrafficLogSection = QStringLiteral("TMainForm.TrafficLog");
const QString SettingsStore::TrafficLogOpenKey = QStringLiteral("Open");

namespace {

const QString CountKey = QStringLiteral("Count");

QString buttonKey(int index)
{
    return QStringLiteral("Button_%1").arg(index);
}

int toInt(int64_t value)
{
    return int(std::clamp<int64_t>(value, std::numeric_limits<int>::min(),
                                   std::numeric_limits<int>::max()));
}

} // namespace

SettingsStore::SettingsStore(TMainForm &form, const QString &fileName)
    : QObject(&form), m_form(form), m_fileName(fileName)
{
    setObjectName(QStringLiteral("FormPlacement1"));
}

QString SettingsStore::defaultFileName()
{
    // Relative paths in XDG_CONFIG_HOME are invalid and ignored.
    QString directory = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (directory.isEmpty() || QDir::isRelativePath(directory))
        directory = QDir::homePath() + QStringLiteral("/.config");
    QString base = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (base.isEmpty())
        base = QStringLiteral("drivelink");
    return QDir(directory).filePath(base + QStringLiteral(".INI"));
}

bool SettingsStore::restore()
{
    m_restored = true;
    IniFile ini(m_fileName);
    QString error;
    if (!ini.load(&error)) {
        ShowMessage(MainSettings::MessageCaption, error);
        return false;
    }
    WindowPlacement placement;
    const bool placed = placement.load(ini);
    if (placed)
        applyPlacement(placement);
    m_form.mruManager()->load(ini, RecentFilesSection);
    loadToolBar(ini);
    FormPlacementResotorePlacement(ini);
    if (placed)
        focusControl(placement.activeControl);
    // The traffic log reopens after the start-up windows, so that it does not count as a
    // window restored from the store.
    // It comes back where it was left; a store without its place lets it open as new.
    if (ini.readBool(TrafficLogSection, TrafficLogOpenKey, false)) {
        const QRect placed(ini.readInteger(TrafficLogSection, QStringLiteral("Left"), 0),
                           ini.readInteger(TrafficLogSection, QStringLiteral("Top"), 0),
                           ini.readInteger(TrafficLogSection, QStringLiteral("Width"), 0),
                           ini.readInteger(TrafficLogSection, QStringLiteral("Height"), 0));
        QMetaObject::invokeMethod(
            &m_form,
            [form = &m_form, placed] {
                form->TrafficLogItemClick();
                TTrafficLogForm *log = form->trafficLogWindow();
                if (log && log->parentWidget() && placed.width() > 0 && placed.height() > 0)
                    log->parentWidget()->setGeometry(placed);
            },
            Qt::QueuedConnection);
    }
    return true;
}

void SettingsStore::FormPlacementResotorePlacement(const IniFile &ini)
{
    MainSettings::LoadInverters(m_form, ini, m_fileName);
    const QStringList notes = MainSettings::LoadMainSettings(m_form, ini);
    if (!notes.isEmpty())
        ShowMessage(MainSettings::MessageCaption,
                    QStringLiteral("Some settings of \"%1\" were not applied:\n%2")
                        .arg(m_fileName, notes.join(QLatin1Char('\n'))),
                    OperatorDialogs::Icon::Warning);
}

bool SettingsStore::saveOnClose()
{
    if (!m_restored)
        return false;
    return save();
}

bool SettingsStore::save()
{
    IniFile ini(m_fileName);
    QString error;
    // Keys of other sections stay; a store that cannot be read is not overwritten.
    if (!ini.load(&error)) {
        ShowMessage(MainSettings::MessageCaption, error);
        return false;
    }
    const QString directory = QFileInfo(m_fileName).absolutePath();
    if (!QDir().mkpath(directory)) {
        ShowMessage(MainSettings::MessageCaption,
                    QStringLiteral("Cannot create the folder \"%1\"").arg(directory));
        return false;
    }
    capturePlacement().save(ini);
    m_form.mruManager()->save(ini, RecentFilesSection);
    saveToolBar(ini);
    FormPlacement1SavePlacement(ini, MainSettings::childWindowEntries(m_form));
    const TTrafficLogForm *log = m_form.trafficLogWindow();
    ini.writeBool(TrafficLogSection, TrafficLogOpenKey, log != nullptr);
    // The place of its frame in the client area; a closed log keeps the place it had.
    if (log && log->parentWidget()) {
        const QRect placed = log->parentWidget()->geometry();
        ini.writeInteger(TrafficLogSection, QStringLiteral("Left"), placed.x());
        ini.writeInteger(TrafficLogSection, QStringLiteral("Top"), placed.y());
        ini.writeInteger(TrafficLogSection, QStringLiteral("Width"), placed.width());
        ini.writeInteger(TrafficLogSection, QStringLiteral("Height"), placed.height());
    }
    if (!ini.save(&error)) {
        ShowMessage(MainSettings::MessageCaption, error);
        return false;
    }
    m_saved = true;
    return true;
}

void SettingsStore::FormPlacement1SavePlacement(IniFile &ini,
                                                const QList<SetupFile::WindowEntry> &windows)
{
    m_form.host()->registry().SaveInverters(ini);
    MainSettings::SaveMainSettings(m_form, ini, windows);
}

WindowPlacement SettingsStore::capturePlacement() const
{
    WindowPlacement placement;
    const Qt::WindowStates state = m_form.windowState();
    const bool maximized = state & (Qt::WindowMaximized | Qt::WindowFullScreen);
    if (state & Qt::WindowMinimized)
        placement.showCmd = WindowPlacement::ShowMinimized;
    else if (maximized)
        placement.showCmd = WindowPlacement::ShowMaximized;
    else
        placement.showCmd = WindowPlacement::ShowNormal;
    placement.flags =
        (state & Qt::WindowMinimized) && maximized ? WindowPlacement::RestoreToMaximized : 0;
    if (const QScreen *screen = m_form.screen())
        placement.maxPosition = screen->geometry().topLeft();
    QRect normal = m_form.normalGeometry();
    if (!normal.isValid())
        normal = m_form.geometry();
    placement.normalLeft = normal.left();
    placement.normalTop = normal.top();
    placement.normalRight = normal.left() + normal.width();
    placement.normalBottom = normal.top() + normal.height();
    placement.hasNormalPosition = true;
    const QWidget *focused = m_form.focusWidget();
    if (focused && focused != &m_form && m_form.isAncestorOf(focused))
        placement.activeControl = focused->objectName();
    placement.visible = m_form.isVisible();
    return placement;
}

void SettingsStore::applyPlacement(const WindowPlacement &placement)
{
    const bool maximized = placement.showCmd == WindowPlacement::ShowMaximized ||
                           (placement.showCmd == WindowPlacement::ShowMinimized &&
                            (placement.flags & WindowPlacement::RestoreToMaximized));
    // The window starts where it was left; minimised windows come back in their state before.
    m_form.setWindowState(maximized ? Qt::WindowMaximized : Qt::WindowNoState);
    if (!placement.hasNormalPosition)
        return;
    const QScreen *screen = m_form.screen();
    const QRect desktop = screen ? screen->availableVirtualGeometry() : QRect(0, 0, 1024, 768);
    // Bounded like a child window in a client area as large as the desktop.
    SetupFile::WindowEntry saved;
    saved.left = toInt(int64_t(placement.normalLeft) - desktop.left());
    saved.top = toInt(int64_t(placement.normalTop) - desktop.top());
    saved.width = toInt(int64_t(placement.normalRight) - placement.normalLeft);
    saved.height = toInt(int64_t(placement.normalBottom) - placement.normalTop);
    const QRect bounded = SetupFile::BoundedGeometry(saved, desktop.size(), m_form.size());
    const QRect normal = bounded.translated(desktop.topLeft());
    if (maximized) {
        // Leaving the maximised state brings the window back to its normal rectangle.
        m_form.setWindowState(Qt::WindowNoState);
        m_form.setGeometry(normal);
        m_form.setWindowState(Qt::WindowMaximized);
    } else {
        m_form.setGeometry(normal);
    }
}

void SettingsStore::focusControl(const QString &name)
{
    if (name.isEmpty())
        return;
    QWidget *control = m_form.findChild<QWidget *>(name);
    if (control && control->isEnabled() && control->isVisibleTo(&m_form) &&
        control->focusPolicy() != Qt::NoFocus)
        control->setFocus();
}

void SettingsStore::loadToolBar(const IniFile &ini)
{
    // No saved layout: the bar keeps its buttons of the first start.
    if (!ini.valueExists(ToolBarSection, CountKey))
        return;
    const int count =
        std::clamp(ini.readInteger(ToolBarSection, CountKey, 0), 0, int(MaxToolBarButtons));
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << ini.readString(ToolBarSection, buttonKey(i)).trimmed();
    m_form.toolBar()->setLayout(names); // unknown and repeated names are skipped
}

void SettingsStore::saveToolBar(IniFile &ini) const
{
    const QStringList names = m_form.toolBar()->layout();
    ini.eraseSection(ToolBarSection);
    ini.writeInteger(ToolBarSection, CountKey, int(names.size()));
    for (int i = 0; i < names.size(); ++i)
        ini.writeString(ToolBarSection, buttonKey(i), names[i]);
}

SettingsStore *InstallSettingsStore(TMainForm &form)
{
    auto *store = new SettingsStore(form, SettingsStore::defaultFileName());
    form.setSettingsHooks([store](TMainForm &) { store->restore(); },
                          [store](TMainForm &) { store->saveOnClose(); });
    // Quitting without closing the main window still keeps the settings.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, store, [store] {
        if (store->restored() && !store->saved())
            store->save();
    });
    return store;
}
