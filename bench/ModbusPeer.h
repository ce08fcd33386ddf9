#pragma once

#include <QString>

// The benchmark's yardstick: a plain libmodbus RTU client that reads holding registers one
// at a time, as any well-made bus master would, on the same line as the program.
class ModbusPeer
{
public:
    // Opens device at baud, 8E1, and reads registers first..first+count-1 of slave one by
    // one. Returns the process exit status: 0 when every read succeeded, 1 otherwise (with
    // the reason on stderr).
    static int readOneByOne(const QString &device, int baud, int slave, int first, int count);
};
