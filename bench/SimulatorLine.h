#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// A drivelink-sim child serving the default plant on a pseudo-terminal reached through a
// link. It runs with --verbose, and its frame log tells which frames crossed the line, so
// that a measurement can be set beside the line time those frames need.
class SimulatorLine
{
public:
    // What crossed the line: requests and replies, and their bytes.
    struct Tally
    {
        qint64 frames = 0;
        qint64 bytes = 0;

        Tally operator-(const Tally &other) const
        {
            return {frames - other.frames, bytes - other.bytes};
        }
    };

    SimulatorLine() = default;
    ~SimulatorLine();
    SimulatorLine(const SimulatorLine &) = delete;
    SimulatorLine &operator=(const SimulatorLine &) = delete;

    // Starts the simulator and waits until it serves; false with *error set on failure.
    bool start(const QString &program, const QStringList &arguments, QString *error);
    void stop();

    // The port the simulator named on its start-up line: the link, or "tcp:HOST:PORT" for a
    // simulator serving as a gateway.
    QString servedPort() const { return m_servedPort; }

    // Everything the simulator has logged up to now.
    Tally tally();
    // The simulator's notes about its line logged up to now ("line removed at MS", "line back
    // at MS").
    QList<QByteArray> lineNotes();

    // Adds one log line of the simulator to the tally: "rx HEX", "tx HEX (who)"; noise and
    // the other lines count nothing.
    static void count(const QByteArray &line, Tally &tally);

private:
    void drain();

    pid_t m_pid = -1;
    int m_log = -1; // read end of the simulator's stderr
    QByteArray m_partial;
    QString m_servedPort;
    Tally m_tally;
    QList<QByteArray> m_lineNotes;
};
