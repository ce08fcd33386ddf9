#pragma once

#include <QPoint>
#include <QString>

class IniFile;

// The main window's placement as the settings store keeps it, in section "TMainForm". The
// keys follow the window placement record of the older Windows version, so its files still
// read; on this platform they mean:
//   "Flags"         bit value 2: a minimised window comes back maximised (else normal);
//                   other bits are kept but unused.
//   "ShowCmd"       1 normal, 2 minimised, 3 maximised.
//   "MinMaxPos"     "x,y,x,y": where the window sits when minimised (always -1,-1: the desktop
//                   places minimised windows) and the top left corner of the screen it is
//                   maximised on.
//   "NormPos"       "left,top,right,bottom" of the window in its normal state, right and bottom
//                   exclusive, in desktop pixels.
//   "ActiveControl" object name of the control that had the focus; may be empty.
//   "Visible"       1 when the window was shown; written for completeness, the main window is
//                   always shown at start.
class WindowPlacement
{
public:
    static const QString Section;

    enum ShowCmd { ShowNormal = 1, ShowMinimized = 2, ShowMaximized = 3 };
    static constexpr int RestoreToMaximized = 2;

    int flags = 0;
    int showCmd = ShowNormal;
    QPoint minPosition{-1, -1};
    QPoint maxPosition{-1, -1};
    // The normal rectangle, right and bottom exclusive; kept as read, so any integers.
    int normalLeft = 0;
    int normalTop = 0;
    int normalRight = 0;
    int normalBottom = 0;
    bool hasNormalPosition = false;
    QString activeControl;
    bool visible = true;

    void save(IniFile &ini) const;
    // False (and the placement left as it was) when the section holds no "ShowCmd" and no
    // "NormPos": nothing to restore. Unreadable values keep their defaults.
    bool load(const IniFile &ini);

    // "%d,%d,%d,%d"; false when the text is not four integers.
    static bool parseFour(const QString &text, int values[4]);
};
