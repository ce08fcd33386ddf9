#pragma once

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

class IniFile;
class TComm32;

// The parts of a setup file that belong to the main window: the serial settings in
// "RS232 Section" and the list of open child windows in "MDI Section". Both are plain data
// here; the window side (walking and restoring the MDI children) is MainSettings.
class SetupFile
{
public:
    static const QString RS232Section;
    static const QString MDISection;

    // A "Form" entry is read for n = 1 .. "Count"; a larger count is cut to this.
    static constexpr int MaxWindowEntries = 256;
    // Geometry bounds: a restored window keeps at least this much of itself inside the client
    // area, and is never smaller than this.
    static constexpr int VisibleMargin = 40;
    static constexpr int MinimumSide = 40;

    // One MDI child as the file lists it: its frame relative to the main window's client
    // area. The numbers are kept as read (a file may hold any integer); BoundedGeometry makes
    // them safe to apply.
    struct WindowEntry
    {
        QString className;
        QString caption;
        int left = 0;
        int top = 0;
        int width = 0;
        int height = 0;

        bool operator==(const WindowEntry &other) const = default;
    };

    // Erases "RS232 Section" and writes the port's five line settings, then its exchange
    // timing ("Fast Exchange" 0 or 1, "Reply Timeout" in ms).
    static void SaveSerialSettings(IniFile &ini, const TComm32 &port);
    // The same with "COM Port" = portName instead of the port's own name.
    static void SaveSerialSettings(IniFile &ini, const TComm32 &port, const QString &portName);
    // With a non-empty "COM Port", sets the port's properties from the section (the running
    // port is not touched: they take effect at its next start). An empty or missing "COM Port"
    // changes nothing. A value outside its range is not applied and is named in the returned
    // notes; the other values still are.
    static QStringList LoadSerialSettings(const IniFile &ini, TComm32 &port);

    // Erases "MDI Section" and writes "Count", "Form<n>" = class name and, per class name, the
    // caption and geometry keys. Windows of one class share these keys: the last one wins.
    // After them come each window's own keys, "Form<n>.Caption", ".Top", ".Left", ".Width"
    // and ".Height".
    static void SaveWindowList(IniFile &ini, const QList<WindowEntry> &windows);
    // The windows to restore, in the file's order: entries whose class is in `restorable`
    // (each read from its own "Form<n>." keys when the file has them, else from its class's)
    // and whose caption is acceptable for the class. Empty and unknown class names are
    // skipped quietly (the file may name windows that are written but never restored);
    // entries refused for a bad caption, and a "Count" out of range, are named in `notes`.
    static QList<WindowEntry> LoadWindowList(const IniFile &ini, const QStringList &restorable,
                                             QStringList *notes = nullptr);

    // What the caption of a window says about its inverter: the slot number after the last
    // "#", NoSlot when the caption has no "#", BadSlot when what follows is not 0..31.
    static constexpr int NoSlot = -1;
    static constexpr int BadSlot = -2;
    static int CaptionSlot(const QString &caption);
    // Windows of these classes serve one inverter and learn it from their caption.
    static bool ServesOneSlot(const QString &className);

    // A saved geometry made safe for a client area of `area`: a width or height below the
    // minimum takes the fallback size, sizes are cut to the area, and the window is moved so
    // that at least VisibleMargin pixels of it (its title bar included) stay inside.
    static QRect BoundedGeometry(const WindowEntry &saved, const QSize &area,
                                 const QSize &fallback);
};
