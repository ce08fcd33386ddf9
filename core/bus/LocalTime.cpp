#include "bus/LocalTime.h"

#include <QDateTime>

#include <limits>

QString LocalTime::text(qint64 msecsSinceEpoch, const QString &format)
{
    constexpr qint64 MinuteMs = 60'000;
    thread_local qint64 minute = std::numeric_limits<qint64>::min();
    thread_local qint64 offsetMs = 0;
    const qint64 at = msecsSinceEpoch >= 0 ? msecsSinceEpoch / MinuteMs
                                           : (msecsSinceEpoch - MinuteMs + 1) / MinuteMs;
    if (at != minute) {
        // Zones change their offset on whole minutes.
        minute = at;
        offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(at * MinuteMs).offsetFromUtc()) * 1000;
    }
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch + offsetMs, Qt::UTC).toString(format);
}
