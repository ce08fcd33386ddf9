#pragma once

#include <QString>

// The caption of a monitor window: "Монитор:  ПЧ     #" followed by the slot number. Windows
// restored from a setup file by class and caption find their inverter again through it.
class MonitorCaption
{
public:
    static constexpr int PrefixLength = 18;
    // The caption a window has before the main window names it.
    static constexpr const char *Untitled = "Untitle";

    static QString prefix();
    static QString forSlot(int slot);

    // The slot named by the leading decimal digits behind the 18-character prefix; 0 when
    // there are none (or the caption is shorter than the prefix); -1 when the number is not a
    // slot 0..31, so that no inverter is served under it.
    static int slotOf(const QString &caption);
};
