#include "cli/TrafficTrace.h"

#include "bus/TrafficLine.h"
#include "bus/TrafficRecorder.h"
#include "cli/CliOutput.h"

TrafficTrace::TrafficTrace(TrafficRecorder &recorder, CliOutput &output, FILE *err)
    : m_recorder(recorder), m_output(output), m_err(err)
{
}

bool TrafficTrace::start(const QString &file, QString *error)
{
    if (!file.isEmpty()) {
        m_file.setFileName(file);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            if (error)
                *error = QStringLiteral("cannot write the trace file %1: %2")
                             .arg(file, m_file.errorString());
            return false;
        }
    }
    connect(&m_recorder, &TrafficRecorder::entryRecorded, this, &TrafficTrace::write);
    return true;
}

void TrafficTrace::write(const TrafficEntry &entry)
{
    const QByteArray line = TrafficLine::text(entry).toUtf8() + '\n';
    if (m_file.isOpen()) {
        // Line by line, so that a trace followed with tail -f is never behind.
        m_file.write(line);
        m_file.flush();
        return;
    }
    m_output.endProgress();
    std::fwrite(line.constData(), 1, size_t(line.size()), m_err);
    std::fflush(m_err);
}

void TrafficTrace::printStatistics()
{
    const TrafficStatistics &statistics = m_recorder.statistics();
    if (m_output.json()) {
        for (const TrafficStatistics::Counts &counts : statistics.rows())
            m_output.result(QString(), TrafficStatistics::toJson(counts));
        return;
    }
    for (const QString &line : statistics.textLines())
        m_output.text(line);
}
