#include "sim/SimKX100.h"

#include "sim/SimFactoryDefaults.h"

#include <algorithm>
#include <cmath>

namespace {
DriveModel::Ratings kx100Ratings()
{
    DriveModel::Ratings ratings;
    ratings.ratedCurrent = 4.8;
    return ratings;
}

quint16 scaled(double value, double unitsPerOne)
{
    return static_cast<quint16>(std::clamp(std::lround(value * unitsPerOne), 0L, 65535L));
}
} // namespace

SimKX100::SimKX100(int address) : SimModbusInverter(address, kx100Ratings())
{
    for (const auto &[reg, value] : SimFactoryDefaults::load(QStringLiteral("kx100"))) {
        if (reg >= FirstParameter && reg <= LastParameter)
            m_params[reg - FirstParameter] = value;
    }
}

quint16 SimKX100::operationWord() const
{
    return static_cast<quint16>((drive().running() ? 1 : 0) | (drive().reverse() ? 2 : 0));
}

std::optional<quint16> SimKX100::readHolding(quint16 reg) const
{
    switch (reg) {
    case OperationRegister:
        return operationWord();
    case ReferenceRegister:
    case 35:
        return m_reference;
    case 36:
        return scaled(drive().outputFrequency(), 10.0);
    case 39:
        return scaled(drive().outputCurrent(), 10.0);
    case 40:
        return scaled(drive().outputVoltage(), 1.0);
    default:
        break;
    }
    if (reg >= FirstParameter && reg <= LastParameter)
        return m_params[reg - FirstParameter];
    return std::nullopt;
}

quint8 SimKX100::writeHolding(quint16 reg, quint16 value)
{
    if (reg == OperationRegister) {
        drive().setRunning(value & 1);
        drive().setReverse(value & 2);
        return 0;
    }
    if (reg == ReferenceRegister) {
        m_reference = value;
        drive().setReference(value / 10.0);
        return 0;
    }
    if (reg >= FirstParameter && reg <= LastParameter) {
        m_params[reg - FirstParameter] = value;
        return 0;
    }
    return IllegalAddress;
}
