#pragma once

#include "bus/TrafficEntry.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The text forms of a traffic log entry, shared by the log window's copy and export and the
// command-line tool's trace. The time and hex layout match the simulator's verbose log
// ("hh:mm:ss.zzz", upper-case byte pairs separated by one space), so the two sides of the
// line compare side by side.
//
// A text line has two-space separated fields:
//   12:30:05.120  #3   KX100  tx 03 03 01 03 00 01 75 F6  rx 03 03 02 07 D0 C1 7B  0  41 ms  чтение
//   CD003 = 2000
// A time-out shows "rx -"; a chunk no exchange took shows "--" for the address, "-" for the
// model, "tx -", its bytes after "rx", and "-" for the result and the time.
class TrafficLine
{
public:
    static QString timeText(qint64 msecsSinceEpoch);
    // Bytes as upper-case hex pairs separated by one space; "-" for none.
    static QString hexText(const QByteArray &bytes);
    static QString addressText(const TrafficEntry &entry);
    static QString resultText(const TrafficEntry &entry);
    static QString responseText(const TrafficEntry &entry);

    static QString text(const TrafficEntry &entry);

    // Comma-separated values with the quoting spreadsheets read: a field holding a comma, a
    // quote or a line break is put in quotes, quotes inside doubled. The CSV time carries the
    // date too.
    static QString csvHeader();
    static QString csv(const TrafficEntry &entry);
    static QString csvField(const QString &field);
    static QString csvRecord(const QStringList &fields);
};
