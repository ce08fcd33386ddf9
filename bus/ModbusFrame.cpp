#include "bus/ModbusFrame.h"

namespace ModbusFrame {

namespace {
constexpr int MinimumReply = 4; // address, function and two CRC bytes
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

std::optional<Reply> takeApart(const TransactionRecord &record)
{
    const int rx = record.RxLength;
    const int tx = record.TxLength;
    if (rx < MinimumReply || rx > TransactionRecord::FrameSize || tx > TransactionRecord::FrameSize)
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
