#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>

class CliOutput;
class CliSession;
struct TrafficEntry;

// listen: hears another master and the drives on a receive-only port and prints one line per
// exchange in the traffic log's line format (one JSON object per exchange with --json), until
// the duration has passed or SIGINT/SIGTERM, then the per-address statistics when asked. The
// port sends nothing; a write anything would attempt is refused and counted, and the count
// closes the run on standard error. Exit status 1 when the port was lost.
class ListenCommand
{
public:
    ListenCommand(CliSession &session, CliOutput &out) : m_session(session), m_out(out) {}

    int run(const QMap<int, QString> &models, int durationMs, bool stats);

    static QJsonObject toJson(const TrafficEntry &entry);

private:
    CliSession &m_session;
    CliOutput &m_out;
};
