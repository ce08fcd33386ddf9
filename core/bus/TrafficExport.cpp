#include "bus/TrafficExport.h"

#include "bus/TrafficLine.h"

#include <QSaveFile>

TrafficExport::Format TrafficExport::formatOf(const QString &path)
{
    return path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? Format::Csv : Format::Text;
}

QByteArray TrafficExport::contents(const QList<TrafficEntry> &entries, Format format)
{
    QByteArray bytes;
    if (format == Format::Csv) {
        // Records end in CR LF, as the format's description asks.
        bytes = QByteArrayLiteral("\xEF\xBB\xBF") + TrafficLine::csvHeader().toUtf8() + "\r\n";
        for (const TrafficEntry &entry : entries)
            bytes += TrafficLine::csv(entry).toUtf8() + "\r\n";
    } else {
        for (const TrafficEntry &entry : entries)
            bytes += TrafficLine::text(entry).toUtf8() + '\n';
    }
    return bytes;
}

bool TrafficExport::save(const QString &path, const QList<TrafficEntry> &entries, Format format,
                         QString *error)
{
    QSaveFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && file.write(contents(entries, format)) >= 0 &&
                    file.commit();
    if (!ok && error)
        *error = file.errorString();
    return ok;
}
