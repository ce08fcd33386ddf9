#include "views/StatusColumnStyle.h"

#include "serial/MessageNumbers.h"

namespace {
const QColor Teal(0x00, 0x80, 0x80);
const QColor Aqua(0x00, 0xFF, 0xFF);
const QColor Fuchsia(0xFF, 0x00, 0xFF);
const QColor Red(0xFF, 0x00, 0x00);
const QColor Purple(0x80, 0x00, 0x80);
const QColor Lime(0x00, 0xFF, 0x00);
const QColor Navy(0x00, 0x00, 0x80);
const QColor Green(0x00, 0x80, 0x00);
const QColor Yellow(0xFF, 0xFF, 0x00);
} // namespace

StatusColumnStyle StatusColumnStyle::forState(int state, bool running, bool reverse, bool auxFlag)
{
    StatusColumnStyle style;
    switch (state) {
    case InverterStateCode::NoInverter: {
        style.tileColor = Teal;
        style.leds[0] = {Red, Purple, true, true};
        const Led dark{Lime, Navy, false, false};
        style.leds[1] = style.leds[2] = style.leds[3] = dark;
        style.interval = 500;
        break;
    }
    case InverterStateCode::Present:
        style.tileColor = Aqua;
        style.leds[0] = {Lime, Green, true, false};
        style.leds[1] = {Lime, Red, running, false};
        style.leds[2] = {Lime, Yellow, reverse, false};
        style.leds[3] = {Lime, Green, auxFlag, false};
        style.interval = 500;
        break;
    case InverterStateCode::Detecting:
        style.tileColor = Fuchsia;
        style.leds[0] = {Lime, Green, true, true};
        style.leds[1] = {Lime, Red, true, true};
        style.leds[2] = {Lime, Yellow, true, true};
        style.leds[3] = {Lime, Green, true, true};
        style.interval = 100;
        break;
    default: {
        style.tileColor = Red;
        const Led fault{Red, Purple, true, true};
        style.leds = {fault, fault, fault, fault};
        style.interval = 500;
        break;
    }
    }
    return style;
}
