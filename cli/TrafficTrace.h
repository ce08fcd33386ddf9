#pragma once

#include <QFile>
#include <QObject>
#include <QString>

#include <cstdio>

class CliOutput;
class TrafficRecorder;
struct TrafficEntry;

// The traffic options of drivelink-cli: every exchange as a trace line (the log window's
// text format) on standard error or in a file, and the line statistics per address at the
// end, as text lines or, in JSON mode, one object per address.
class TrafficTrace : public QObject
{
    Q_OBJECT

public:
    TrafficTrace(TrafficRecorder &recorder, CliOutput &output, FILE *err);

    // Starts tracing: to the file when one is named (created or emptied), else to err. False
    // with the reason when the file cannot be written.
    bool start(const QString &file, QString *error);
    // Prints the statistics through the output.
    void printStatistics();

private:
    void write(const TrafficEntry &entry);

    TrafficRecorder &m_recorder;
    CliOutput &m_output;
    FILE *m_err;
    QFile m_file;
};
