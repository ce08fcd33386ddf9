#pragma once

#include "sim/LineConditions.h"
#include "sim/LinePlug.h"
#include "sim/ForeignMaster.h"
#include "sim/SimFault.h"
#include "sim/SimulatedBus.h"
#include "sim/SimulatedPlant.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The command line of drivelink-sim:
//   (--link PATH | --tcp [ADDR:]PORT) [--kx100 ADDR]... [--kx200 ADDR]... [--kx300 ADDR]...
//   [--baud N] [--parity none|even|odd] [--turnaround MS] [--fast] [--fault ADDR:KIND[:MS]]...
//   [--no-broadcast-reply ADDR]... [--verbose]
//   [--echo] [--latency MS] [--noise PER_S [--seed N]]
//   [--unplug-after MS] [--unplug-pause MS] [--unplug-every MS]
//   [--foreign-master [--foreign-log FILE] [--foreign-count N] [--foreign-pause MS]
//    [--foreign-delay MS]]
// Without any --kxNNN option the default plant is served.
class SimCommandLine
{
public:
    struct FaultSetting
    {
        int address = 0;
        SimFault fault = SimFault::None;
        int lateMs = SimInverter::DefaultLateMs; // the delay of a late reply
    };

    struct Options
    {
        QString link;
        QString tcpAddress; // with tcpPort >= 0: serve as a TCP gateway on this address
        int tcpPort = -1;
        QList<SimulatedPlant::Member> members;
        SimulatedBus::Timing timing;
        QList<FaultSetting> faults;
        QList<int> quietOnBroadcast; // addresses whose inverters do not answer broadcasts
        bool verbose = false;
        LineConditions::Settings line; // its timing is set from the one above
        LinePlug::Schedule unplug;
        bool foreignMaster = false; // --foreign-master and its --foreign-... settings
        ForeignMaster::Settings foreign;
    };

    // arguments include the program name first. nullopt with *error set on a usage error.
    static std::optional<Options> parse(const QStringList &arguments, QString *error);
    static QString usage();
};
