#pragma once

#include <QString>
#include <QStringList>

// Runs one program to its end as a child process, with its output in a file, and measures
// it the way a user experiences it: wall time from spawn to exit, and the CPU time (user +
// system) the child used, taken from wait4().
class BenchProcess
{
public:
    struct Result
    {
        bool started = false;
        bool killed = false; // ran past the limit and was killed
        int exitCode = -1;   // -1 when it did not exit normally
        double wallSeconds = 0.0;
        double cpuSeconds = 0.0;
        QString error; // why it did not start

        bool ok() const { return started && !killed && exitCode == 0; }
        double cpuShare() const { return wallSeconds > 0.0 ? cpuSeconds / wallSeconds : 0.0; }
    };

    // program is argv[0]; stdout and stderr go to outputFile (truncated). Waits until the
    // child exits, killing it after limitSeconds.
    static Result run(const QString &program, const QStringList &arguments,
                      const QString &outputFile, int limitSeconds);
};
