#pragma once

#include <QString>

class CliOutput;
class CliSession;

// monitor: polls output frequency, voltage and current of one inverter, as the monitor window
// does, and prints one line per sample; stops after count samples (-1: never). A failed
// sample is reported as a line of its own and the polling goes on; maxErrors failed samples
// in a row end it. The exit status is 1 when any sample failed. With csv, the lines are CSV
// rows under a header line. A lost line (an adapter pulled, a gateway restarted) is told once
// and costs no sample: the polling resumes as soon as the line is back.
class MonitorCommand
{
public:
    // While the line is lost, the longest wait before the next try.
    static constexpr int LineRetryMs = 1000;

    MonitorCommand(CliSession &session, CliOutput &out) : m_session(session), m_out(out) {}

    int run(int address, const QString &model, int count, int intervalMs, int maxErrors = 3,
            bool csv = false);

private:
    CliSession &m_session;
    CliOutput &m_out;
};
