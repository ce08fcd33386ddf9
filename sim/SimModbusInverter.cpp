#include "sim/SimModbusInverter.h"

#include "sim/SimChecksum.h"

namespace {
quint8 byteAt(const QByteArray &bytes, qsizetype i)
{
    return static_cast<quint8>(bytes[i]);
}

quint16 wordAt(const QByteArray &bytes, qsizetype i)
{
    return static_cast<quint16>((byteAt(bytes, i) << 8) | byteAt(bytes, i + 1));
}

void appendWord(QByteArray &bytes, quint16 word)
{
    bytes.append(static_cast<char>(word >> 8));
    bytes.append(static_cast<char>(word & 0xFF));
}

constexpr quint8 kRead = 0x03;
constexpr quint8 kWrite = 0x10;
constexpr int kMaxReadQuantity = 125;
constexpr int kMaxWriteQuantity = 123;
} // namespace

QByteArray SimModbusInverter::handleFrame(const SimFrame &frame)
{
    if (frame.bytes.size() < 4 || !frame.checkOk)
        return {};
    const quint8 function = byteAt(frame.bytes, 1);
    if (function == kRead)
        return frame.broadcast ? QByteArray() : readReply(frame);
    if (function == kWrite)
        return writeReply(frame);
    return frame.broadcast ? QByteArray() : exceptionReply(function, IllegalFunction);
}

QByteArray SimModbusInverter::refusalReply(const SimFrame &frame) const
{
    if (frame.broadcast || frame.bytes.size() < 2)
        return {};
    return exceptionReply(byteAt(frame.bytes, 1), DeviceFailure);
}

QByteArray SimModbusInverter::exceptionReply(quint8 function, quint8 code) const
{
    QByteArray reply;
    reply.append(static_cast<char>(address()));
    reply.append(static_cast<char>(function | 0x80));
    reply.append(static_cast<char>(code));
    SimChecksum::appendCrc(reply);
    return reply;
}

QByteArray SimModbusInverter::readReply(const SimFrame &frame) const
{
    const QByteArray &request = frame.bytes;
    if (request.size() != 8)
        return exceptionReply(kRead, IllegalValue);
    const quint16 first = wordAt(request, 2);
    const int quantity = wordAt(request, 4);
    if (quantity < 1 || quantity > kMaxReadQuantity)
        return exceptionReply(kRead, IllegalValue);
    QByteArray reply;
    reply.append(static_cast<char>(address()));
    reply.append(static_cast<char>(kRead));
    reply.append(static_cast<char>(2 * quantity));
    for (int i = 0; i < quantity; ++i) {
        const quint32 reg = first + static_cast<quint32>(i);
        const std::optional<quint16> value = reg <= 0xFFFF ? registerValue(reg) : std::nullopt;
        if (!value)
            return exceptionReply(kRead, IllegalAddress);
        appendWord(reply, *value);
    }
    SimChecksum::appendCrc(reply);
    return reply;
}

QByteArray SimModbusInverter::writeReply(const SimFrame &frame)
{
    const QByteArray &request = frame.bytes;
    if (request.size() < 9)
        return frame.broadcast ? QByteArray() : exceptionReply(kWrite, IllegalValue);
    const quint16 first = wordAt(request, 2);
    const int quantity = wordAt(request, 4);
    const int byteCount = byteAt(request, 6);
    if (quantity < 1 || quantity > kMaxWriteQuantity || byteCount != 2 * quantity ||
        request.size() != 9 + byteCount || first + quantity - 1 > 0xFFFF)
        return frame.broadcast ? QByteArray() : exceptionReply(kWrite, IllegalValue);

    int newAddress = -1;
    bool addressWritten = false;
    for (int i = 0; i < quantity; ++i) {
        const quint16 reg = static_cast<quint16>(first + i);
        const quint16 value = wordAt(request, 7 + 2 * i);
        const quint8 code = writeOne(reg, value, &newAddress);
        if (code != 0)
            return frame.broadcast ? QByteArray() : exceptionReply(kWrite, code);
        addressWritten = addressWritten || reg == addressRegister();
    }

    QByteArray reply;
    if (newAddress >= 0)
        setAddress(newAddress);
    // A broadcast is answered only when it moved this inverter to a new address, and then
    // from that address.
    if (frame.broadcast && !(addressWritten && answersBroadcast()))
        return {};
    reply.append(static_cast<char>(frame.broadcast ? address() : frame.address));
    reply.append(static_cast<char>(kWrite));
    appendWord(reply, first);
    appendWord(reply, static_cast<quint16>(quantity));
    SimChecksum::appendCrc(reply);
    return reply;
}

quint8 SimModbusInverter::writeOne(quint16 reg, quint16 value, int *newAddress)
{
    if (reg == addressRegister()) {
        if (!validAddress(value))
            return IllegalValue;
        *newAddress = value;
        return 0;
    }
    if (reg == commitRegister()) {
        countCommit();
        return 0;
    }
    return writeHolding(reg, value);
}

std::optional<quint16> SimModbusInverter::registerValue(quint32 reg) const
{
    if (reg > 0xFFFF)
        return std::nullopt;
    if (reg == addressRegister())
        return static_cast<quint16>(address());
    if (reg == commitRegister())
        return std::nullopt;
    return readHolding(static_cast<quint16>(reg));
}

bool SimModbusInverter::setRegisterValue(quint32 reg, quint16 value)
{
    if (reg > 0xFFFF)
        return false;
    int newAddress = -1;
    if (writeOne(static_cast<quint16>(reg), value, &newAddress) != 0)
        return false;
    if (newAddress >= 0)
        setAddress(newAddress);
    return true;
}
