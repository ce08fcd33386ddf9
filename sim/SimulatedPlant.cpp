#include "sim/SimulatedPlant.h"

#include "sim/SimKX100.h"
#include "sim/SimKX200.h"
#include "sim/SimKX300.h"

#include <QSet>

SimulatedPlant::SimulatedPlant() : SimulatedPlant(defaultMembers()) {}

SimulatedPlant::SimulatedPlant(const QList<Member> &members) : m_members(members) {}

SimulatedPlant::~SimulatedPlant()
{
    stop();
}

QList<SimulatedPlant::Member> SimulatedPlant::defaultMembers()
{
    return {
        {QStringLiteral("KX100"), 1}, {QStringLiteral("KX200"), 2}, {QStringLiteral("KX300"), 3}};
}

std::unique_ptr<SimInverter> SimulatedPlant::createInverter(const QString &model, int address)
{
    const QString name = model.trimmed().toUpper();
    std::unique_ptr<SimInverter> inverter;
    if (name == QLatin1String("KX100"))
        inverter = std::make_unique<SimKX100>(address);
    else if (name == QLatin1String("KX200"))
        inverter = std::make_unique<SimKX200>(address);
    else if (name == QLatin1String("KX300"))
        inverter = std::make_unique<SimKX300>(address);
    if (inverter && !inverter->validAddress(address))
        inverter.reset();
    return inverter;
}

QString SimulatedPlant::checkMembers(const QList<Member> &members)
{
    QSet<QPair<int, int>> taken; // protocol, address
    for (const Member &member : members) {
        const std::unique_ptr<SimInverter> inverter = createInverter(member.model, member.address);
        if (!inverter) {
            return QStringLiteral("no %1 can be at address %2")
                .arg(member.model.toUpper())
                .arg(member.address);
        }
        const QPair<int, int> key{static_cast<int>(inverter->protocol()), member.address};
        if (taken.contains(key)) {
            return QStringLiteral("address %1 is given twice to inverters of the same protocol")
                .arg(member.address);
        }
        taken.insert(key);
    }
    return QString();
}

void SimulatedPlant::setTiming(const SimulatedBus::Timing &timing)
{
    m_bus.setTiming(timing);
}

QString SimulatedPlant::start(QString *error)
{
    if (!m_built) {
        const QString problem = checkMembers(m_members);
        if (!problem.isEmpty()) {
            if (error)
                *error = problem;
            return QString();
        }
        for (const Member &member : m_members)
            m_bus.addInverter(createInverter(member.model, member.address));
        m_built = true;
    }
    if (!m_bus.isRunning() && !m_bus.start(error))
        return QString();
    return m_bus.slavePath();
}

void SimulatedPlant::stop()
{
    m_bus.stop();
}
