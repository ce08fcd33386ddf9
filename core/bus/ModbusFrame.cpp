#include "bus/ModbusFrame.h"

#include <algorithm>

namespace ModbusFrame {

namespace {
constexpr int MinimumReply = 4; // address, function and two CRC bytes
constexpr int MaxReadQuantity = 9; // a longer read is never sent
constexpr int CrcBytes = 2;

void putWord(uint8_t *at, uint16_t word)
{
    at[0] = uint8_t(word >> 8);
    at[1] = uint8_t(word & 0xFF);
}

uint16_t word(const uint8_t *at)
{
    return uint16_t((at[0] << 8) | at[1]);
}
} // namespace

uint16_t crc16(const uint8_t *data, int length)
{
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

void appendCrc(uint8_t *buffer, int length)
{
    const uint16_t crc = crc16(buffer, length);
    buffer[length] = uint8_t(crc & 0xFF);
    buffer[length + 1] = uint8_t(crc >> 8);
}

void buildRead(TransactionRecord &record, uint8_t slave, uint16_t registerNumber)
{
    uint8_t *frame = record.TxFrame;
    frame[0] = slave;
    frame[1] = ReadFunction;
    putWord(frame + 2, registerNumber);
    putWord(frame + 4, 1); // quantity
    appendCrc(frame, 6);
    record.TxLength = ReadLength;
}

void buildWrite(TransactionRecord &record, uint8_t slave, uint16_t registerNumber, uint16_t value)
{
    uint8_t *frame = record.TxFrame;
    frame[0] = slave;
    frame[1] = WriteFunction;
    putWord(frame + 2, registerNumber);
    putWord(frame + 4, 1); // quantity
    frame[6] = 2;          // byte count
    putWord(frame + 7, value);
    appendCrc(frame, 9);
    record.TxLength = WriteLength;
}

int32_t checkReply(const TransactionRecord &record)
{
    const int n = record.RxLength;
    if (n < MinimumReply || n > TransactionRecord::FrameSize)
        return TransactionResult::CommError;
    const uint16_t crc = crc16(record.RxFrame, n - CrcBytes);
    if (record.RxFrame[n - 2] != uint8_t(crc & 0xFF) || record.RxFrame[n - 1] != uint8_t(crc >> 8))
        return TransactionResult::CommError;
    // Exception replies carry the function code plus 0x80; 0x80 itself is no exception.
    if (record.RxFrame[1] > 0x80)
        return TransactionResult::InverterError;
    return TransactionResult::Ok;
}

ReplyMatch matchReply(const uint8_t *request, int requestLength, const uint8_t *reply,
                      int replyLength)
{
    using Verdict = ReplyMatch::Verdict;
    if (!request || requestLength < ReadLength || replyLength < 0)
        return {Verdict::Foreign, 0};
    const uint8_t function = request[1];
    if (function != ReadFunction && (function != WriteFunction || requestLength < WriteLength))
        return {Verdict::Foreign, 0};
    const uint8_t slave = request[0];
    // Only the address write is broadcast. The drive answers from the address written, which
    // is what the drivers decode; an echo from the broadcast address itself is taken too.
    if (slave == BroadcastAddress && (function != WriteFunction || request[7] != 0))
        return {Verdict::Foreign, 0};
    if (replyLength == 0)
        return {Verdict::Partial, 0};
    if (reply[0] != slave && !(slave == BroadcastAddress && reply[0] == request[8]))
        return {Verdict::Foreign, 0};
    if (replyLength < 2)
        return {Verdict::Partial, 0};

    int length = 0;
    if (reply[1] == (function | 0x80)) {
        length = 5; // address, function + 0x80, exception code, CRC
    } else if (reply[1] != function) {
        return {Verdict::Foreign, 0};
    } else if (function == ReadFunction) {
        if (replyLength < 3)
            return {Verdict::Partial, 0};
        // Two data bytes per register asked for: one for every read of the drivers, 2..9 for
        // the engine's synchronising reads.
        const int quantity = (request[4] << 8) | request[5];
        if (quantity < 1 || quantity > MaxReadQuantity || reply[2] != 2 * quantity)
            return {Verdict::Foreign, 0};
        length = 5 + 2 * quantity;
    } else {
        // The echo names the register and the quantity written.
        for (int i = 2; i < 6 && i < replyLength; ++i) {
            if (reply[i] != request[i])
                return {Verdict::Foreign, 0};
        }
        length = 8;
    }
    if (replyLength < length)
        return {Verdict::Partial, length};
    const uint16_t crc = crc16(reply, length - CrcBytes);
    const bool checks =
        reply[length - 2] == uint8_t(crc & 0xFF) && reply[length - 1] == uint8_t(crc >> 8);
    return {checks ? Verdict::Complete : Verdict::Corrupt, length};
}

ReplyMatch matchReply(const TransactionRecord &record)
{
    if (record.TxLength > TransactionRecord::FrameSize ||
        record.RxLength > TransactionRecord::FrameSize)
        return {ReplyMatch::Verdict::Foreign, 0};
    return matchReply(record.TxFrame, record.TxLength, record.RxFrame,
                      std::max(0, int(record.RxLength)));
}

std::optional<Reply> takeApart(const TransactionRecord &record)
{
    const int rx = record.RxLength;
    const int tx = record.TxLength;
    if (rx < MinimumReply || rx > TransactionRecord::FrameSize || tx > TransactionRecord::FrameSize)
        return std::nullopt;
    // Only a whole reply that answers this very request is taken apart.
    const ReplyMatch match = matchReply(record);
    if (match.verdict == ReplyMatch::Verdict::Foreign || match.length != rx)
        return std::nullopt;
    Reply reply;
    reply.slave = record.RxFrame[0];
    reply.isRead = record.RxFrame[1] == ReadFunction;
    if (reply.isRead) {
        // A read reply does not repeat the register: it is the one the request named.
        if (rx < 5 + CrcBytes || tx < 4)
            return std::nullopt;
        reply.registerNumber = word(record.TxFrame + 2);
        reply.value = word(record.RxFrame + 3);
    } else {
        // A write echo names the register; the value is the one the request wrote.
        if (rx < 4 + CrcBytes || tx < WriteLength - CrcBytes || record.TxFrame[1] != WriteFunction)
            return std::nullopt;
        reply.registerNumber = word(record.RxFrame + 2);
        reply.value = word(record.TxFrame + 7);
    }
    return reply;
}

std::optional<Reply> takeApartFrom(const TransactionRecord &record, int slave)
{
    if (record.RxLength < 1 || record.RxFrame[0] > 31 || record.RxFrame[0] != slave)
        return std::nullopt;
    return takeApart(record);
}

int replyRegister(const TransactionRecord &record)
{
    const auto reply = takeApart(record);
    return reply ? reply->registerNumber : -1;
}

} // namespace ModbusFrame
