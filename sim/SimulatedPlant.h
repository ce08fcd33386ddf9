#pragma once

#include "sim/SimulatedBus.h"

#include <QList>
#include <QString>

#include <memory>

// A set of simulated inverters on one simulated bus, started in-process: the program's
// simulation mode, the drivelink-sim tool and the end-to-end tests all use it. The default
// plant is a KX100 at address 1, a KX200 at 2 and a KX300 at 3.
class SimulatedPlant
{
public:
    struct Member
    {
        QString model; // "KX100", "KX200" or "KX300" (any case)
        int address = 0;
    };

    SimulatedPlant();
    explicit SimulatedPlant(const QList<Member> &members);
    ~SimulatedPlant();

    static QList<Member> defaultMembers();
    // A new inverter of the model, or nullptr for an unknown model or an address outside
    // the model's range.
    static std::unique_ptr<SimInverter> createInverter(const QString &model, int address);
    // Empty when the members can share a bus; otherwise why not (unknown model, address out
    // of range, two inverters of one protocol at one address).
    static QString checkMembers(const QList<Member> &members);

    // Timing of the line; the default is 9600 bit/s, even parity, 5 ms turn-around.
    void setTiming(const SimulatedBus::Timing &timing);

    // Builds the inverters (once) and starts serving. Returns the device path the program
    // opens as its serial port, or an empty string with *error set.
    QString start(QString *error = nullptr);
    void stop();
    bool isRunning() const { return m_bus.isRunning(); }
    QString devicePath() const { return m_bus.slavePath(); }

    // The bus, for faults, register access and the clock; index i is members()[i].
    SimulatedBus &bus() { return m_bus; }
    const QList<Member> &members() const { return m_members; }

private:
    QList<Member> m_members;
    SimulatedBus m_bus;
    bool m_built = false;
};
