#include "sim/SimKX200.h"

#include "sim/SimChecksum.h"
#include "sim/SimFactoryDefaults.h"

#include <algorithm>
#include <cmath>

namespace {
DriveModel::Ratings kx200Ratings()
{
    DriveModel::Ratings ratings;
    ratings.ratedCurrent = 7.5;
    return ratings;
}

quint16 scaled(double value, double unitsPerOne)
{
    return static_cast<quint16>(std::clamp(std::lround(value * unitsPerOne), 0L, 65535L));
}

quint8 byteAt(const QByteArray &bytes, qsizetype i)
{
    return i < bytes.size() ? static_cast<quint8>(bytes[i]) : 0;
}

quint16 wordAt(const QByteArray &bytes, qsizetype i)
{
    return static_cast<quint16>((byteAt(bytes, i) << 8) | byteAt(bytes, i + 1));
}

constexpr quint16 kCommandMarker = 0xC000;
constexpr quint16 kStopBit = 0x1000;
constexpr quint16 kRunBit = 0x0400;
constexpr quint16 kReverseBit = 0x0200;
constexpr quint16 kAuxBit = 0x0100;

bool isReadout(quint32 reg)
{
    return reg >= 1 && reg <= 4;
}
} // namespace

SimKX200::SimKX200(int address) : SimInverter(address, kx200Ratings())
{
    for (const auto &[reg, value] : SimFactoryDefaults::load(QStringLiteral("kx200"))) {
        if (!isReadout(reg) && reg != AddressRegister)
            m_params[reg] = value;
    }
}

quint16 SimKX200::operationWord() const
{
    quint16 word = 0;
    if (drive().running())
        word |= kRunBit;
    if (drive().reverse())
        word |= kReverseBit;
    if (m_aux)
        word |= kAuxBit;
    return word;
}

std::optional<quint16> SimKX200::registerValue(quint32 reg) const
{
    switch (reg) {
    case 1:
        return m_reference;
    case 2:
        return scaled(drive().outputCurrent(), 10.0);
    case 3:
        return scaled(drive().outputFrequency(), 100.0);
    case 4:
        return scaled(drive().outputVoltage(), 10.0);
    case OperationRegister:
        return operationWord();
    case ReferenceRegister:
        return m_reference;
    case AddressRegister:
        return static_cast<quint16>(address());
    default:
        break;
    }
    if (reg > 0xFFFF)
        return std::nullopt;
    const auto it = m_params.find(static_cast<quint16>(reg));
    if (it == m_params.end())
        return std::nullopt;
    return it->second;
}

bool SimKX200::write(quint16 reg, quint16 value, int *newAddress)
{
    switch (reg) {
    case OperationRegister:
        if ((value & kCommandMarker) != kCommandMarker)
            return false;
        if (value & kStopBit) {
            drive().setRunning(false);
            drive().setReverse(value & kReverseBit);
        } else if (value & kRunBit) {
            drive().setRunning(true);
            drive().setReverse(value & kReverseBit);
        }
        m_aux = value & kAuxBit;
        return true;
    case ReferenceRegister:
        m_reference = value;
        drive().setReference(value / 100.0);
        return true;
    case AddressRegister:
        if (!validAddress(value))
            return false;
        *newAddress = value;
        return true;
    default:
        break;
    }
    const auto it = m_params.find(reg);
    if (it == m_params.end())
        return false;
    it->second = value;
    return true;
}

bool SimKX200::setRegisterValue(quint32 reg, quint16 value)
{
    if (reg > 0xFFFF)
        return false;
    int newAddress = -1;
    if (!write(static_cast<quint16>(reg), value, &newAddress))
        return false;
    if (newAddress >= 0)
        setAddress(newAddress);
    return true;
}

QByteArray SimKX200::reply(char letter, bool withAddress, quint16 reg, quint16 data) const
{
    QByteArray bytes;
    bytes.append('/');
    if (withAddress)
        bytes.append(static_cast<char>(address()));
    bytes.append(letter);
    bytes.append(static_cast<char>(reg >> 8));
    bytes.append(static_cast<char>(reg & 0xFF));
    bytes.append(static_cast<char>(data >> 8));
    bytes.append(static_cast<char>(data & 0xFF));
    SimChecksum::appendSum(bytes);
    return bytes;
}

QByteArray SimKX200::handleFrame(const SimFrame &frame)
{
    const QByteArray &request = frame.bytes;
    if (frame.broadcast) {
        // '/' 'W' register data sum: every KX200 takes the write; only an address write is
        // answered, without an address byte.
        if (!frame.checkOk || request.size() != 7 || byteAt(request, 1) != 'W')
            return {};
        const quint16 reg = wordAt(request, 2);
        const quint16 data = wordAt(request, 4);
        int newAddress = -1;
        if (!write(reg, data, &newAddress))
            return {};
        if (newAddress >= 0)
            setAddress(newAddress);
        if (reg != AddressRegister || !answersBroadcast())
            return {};
        return reply('W', false, reg, data);
    }

    const char letter = static_cast<char>(byteAt(request, 2));
    const quint16 reg = wordAt(request, 3);
    if (!frame.checkOk) {
        const quint16 data = letter == 'W' ? wordAt(request, 5) : 0;
        return reply('N', true, reg, data);
    }
    if (letter == 'R' && request.size() == 6) {
        const std::optional<quint16> value = registerValue(reg);
        if (!value)
            return reply('r', true, reg, 0);
        return reply('R', true, reg, *value);
    }
    if (letter == 'W' && request.size() == 8) {
        int newAddress = -1;
        if (!write(reg, wordAt(request, 5), &newAddress))
            return reply('w', true, reg, 0);
        // The echo reports what the register now holds (the status word for 0xFA00), from
        // the address the request was sent to; a new address applies afterwards.
        const quint16 echo =
            newAddress >= 0 ? static_cast<quint16>(newAddress) : registerValue(reg).value_or(0);
        const QByteArray answer = reply('W', true, reg, echo);
        if (newAddress >= 0)
            setAddress(newAddress);
        return answer;
    }
    return {};
}

QByteArray SimKX200::refusalReply(const SimFrame &frame) const
{
    if (frame.broadcast || frame.bytes.size() < 6)
        return {};
    const char letter = static_cast<char>(byteAt(frame.bytes, 2));
    return reply(letter == 'W' ? 'w' : 'r', true, wordAt(frame.bytes, 3), 0);
}
