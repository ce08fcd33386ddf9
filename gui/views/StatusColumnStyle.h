#pragma once

#include <QColor>

#include <array>

// How the status panel paints one address for an inverter state: the address tile's colour,
// the four LEDs (search, run, reverse, step) and their blink interval.
struct StatusColumnStyle
{
    struct Led
    {
        QColor trueColor;
        QColor falseColor;
        bool value = false;
        bool blink = false;
    };

    QColor tileColor;
    std::array<Led, 4> leds;
    int interval = 500;

    // State 0 no inverter, 1 present (with the driver's flags), 2 detection under way; 3 and
    // every other value a fault.
    static StatusColumnStyle forState(int state, bool running, bool reverse, bool auxFlag);
};
