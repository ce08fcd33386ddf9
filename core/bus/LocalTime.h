#pragma once

#include <QString>

// Local wall-clock text of millisecond stamps, for logs that stamp thousands of lines a
// second. The offset from UTC is looked up once per minute of the stamps (on each thread),
// not at each stamp: each lookup makes the C library look at the zone file again. A change
// of the zone, or of summer time, shows from the stamps' next minute on.
class LocalTime
{
public:
    // The stamp in local time, in a QDateTime format (without a zone: "t" shows nothing).
    static QString text(qint64 msecsSinceEpoch, const QString &format);
};
