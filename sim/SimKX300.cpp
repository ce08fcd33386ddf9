#include "sim/SimKX300.h"

#include "sim/SimFactoryDefaults.h"

#include <algorithm>
#include <cmath>

namespace {
DriveModel::Ratings kx300Ratings()
{
    DriveModel::Ratings ratings;
    ratings.ratedCurrent = 12.0;
    return ratings;
}

// Signed readouts travel as two's complement words.
quint16 signedWord(double value, double unitsPerOne)
{
    return static_cast<quint16>(
        static_cast<qint16>(std::clamp(std::lround(value * unitsPerOne), -32768L, 32767L)));
}

constexpr quint16 kRefMonitor = 0x0020;     // U1-01
constexpr quint16 kFreqMonitor = 0x0021;    // U1-02
constexpr quint16 kCurrentMonitor = 0x0022; // U1-03
constexpr quint16 kVoltageMonitor = 0x0025; // U1-06
} // namespace

SimKX300::SimKX300(int address) : SimModbusInverter(address, kx300Ratings())
{
    m_present.set(OperationRegister);
    m_present.set(ReferenceRegister);
    for (int reg = 0; reg < RegisterCount; ++reg) {
        if (isMonitor(static_cast<quint16>(reg)))
            m_present.set(reg);
    }
    for (const auto &[reg, value] : SimFactoryDefaults::load(QStringLiteral("kx300"))) {
        if (reg < RegisterCount && !isMonitor(reg)) {
            m_registers[reg] = value;
            m_present.set(reg);
        }
    }
}

bool SimKX300::isMonitor(quint16 reg)
{
    return (reg >= 0x0020 && reg <= 0x003B) || (reg >= 0x0080 && reg <= 0x008D) ||
           (reg >= 0x0090 && reg <= 0x0097);
}

quint16 SimKX300::operationWord() const
{
    if (!drive().running())
        return 0;
    return drive().reverse() ? 2 : 1;
}

std::optional<quint16> SimKX300::readHolding(quint16 reg) const
{
    if (reg >= RegisterCount || !m_present.test(reg))
        return std::nullopt;
    const double direction = drive().reverse() ? -1.0 : 1.0;
    switch (reg) {
    case OperationRegister:
        return operationWord();
    case kRefMonitor:
        return signedWord(direction * drive().reference(), 100.0);
    case kFreqMonitor:
        return signedWord(drive().signedFrequency(), 100.0);
    case kCurrentMonitor:
        return signedWord(drive().outputCurrent(), 10.0);
    case kVoltageMonitor:
        return signedWord(drive().outputVoltage(), 10.0);
    default:
        return m_registers[reg];
    }
}

quint8 SimKX300::writeHolding(quint16 reg, quint16 value)
{
    if (reg >= RegisterCount || !m_present.test(reg) || isMonitor(reg))
        return IllegalAddress;
    if (reg == OperationRegister) {
        if (value > 2)
            return IllegalValue;
        drive().setRunning(value != 0);
        if (value != 0)
            drive().setReverse(value == 2);
    } else if (reg == ReferenceRegister) {
        drive().setReference(value / 100.0);
    }
    m_registers[reg] = value;
    return 0;
}
