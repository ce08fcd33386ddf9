#pragma once

#include <QString>

// The program's window under load, measured in one process on the offscreen platform: the
// bus host and engine of a session on the simulated line, three monitor windows (the
// program's TMonitorForm) polling the default plant's drives, and a KX100 upload through the
// same engine, once alone and once while the monitors poll; then the process's CPU while only
// the monitors poll (waiting on the line and the timers). Prints one line:
// "window ALONE_S WITH_S IDLE_CPU_SHARE POLLS".
class WindowBench
{
public:
    static int run(const QString &link, int speed);
};
