#pragma once

#include "cli/CliSession.h"

#include <QMap>
#include <QString>

#include <memory>

class CliOptions;
class CliOutput;
class SparkplugNode;
class StopSignal;

// publish: polls the drives of one bus and publishes them as a Sparkplug B edge node until
// SIGINT or SIGTERM, which end it with the node's death. Detects the addresses at the start
// and the ones still empty again every rescan period; polls each drive found once per interval
// (output frequency, voltage and current, the status flags with them). A drive that misses
// MissesForDeath polls in a row is declared dead and comes back with a birth when it answers.
// A bus whose device or gateway is gone declares every drive dead; the engine opens it again
// with the next request, and the drives found then are born again. Only reads: nothing is
// ever written to a drive.
class PublishCommand
{
public:
    static constexpr int MissesForDeath = 3;

    PublishCommand(const CliOptions &options, CliOutput &out);
    ~PublishCommand();

    int run();

private:
    bool openSession(QString *error);
    void detect(const QList<int> &addresses);
    void pollDrive(int address);
    void allDead();

    const CliOptions &m_options;
    CliOutput &m_out;
    std::unique_ptr<CliSession> m_session;
    SparkplugNode *m_node = nullptr;
    StopSignal *m_stop = nullptr;
    // Addresses where a drive was found, with its polls missed in a row.
    QMap<int, int> m_misses;
};
