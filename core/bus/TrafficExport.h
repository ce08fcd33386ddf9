#pragma once

#include "bus/TrafficEntry.h"

#include <QList>
#include <QString>

// Saves traffic log entries to a file: comma-separated values with a header row (UTF-8 with
// a byte order mark, which spreadsheets need to read Cyrillic text), or the trace's text
// lines. The file is written under a temporary name and renamed over the target only when
// complete, so a failed save leaves any earlier file as it was.
class TrafficExport
{
public:
    enum class Format { Csv, Text };

    // Csv for a name ending in ".csv" (any case), else Text.
    static Format formatOf(const QString &path);
    static QByteArray contents(const QList<TrafficEntry> &entries, Format format);
    // False with the reason when the file cannot be written.
    static bool save(const QString &path, const QList<TrafficEntry> &entries, Format format,
                     QString *error);
};
