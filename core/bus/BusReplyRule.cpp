#include "bus/BusReplyRule.h"

#include "bus/ModbusFrame.h"
#include "bus/SlashFrame.h"

#include <algorithm>

ReplyMatch BusReplyRule::match(const uint8_t *request, int requestLength, const uint8_t *reply,
                               int replyLength) const
{
    if (requestLength > 0 && request[0] == SlashFrame::Start)
        return SlashFrame::matchReply(request, requestLength, reply, replyLength);
    return ModbusFrame::matchReply(request, requestLength, reply, replyLength);
}

bool BusReplyRule::checksOut(const uint8_t *bytes, int length) const
{
    if (length > 0 && bytes[0] == SlashFrame::Start)
        return length >= 3 && SlashFrame::sum(bytes, length - 1) == bytes[length - 1];
    if (length < 4)
        return false;
    const uint16_t crc = ModbusFrame::crc16(bytes, length - 2);
    return bytes[length - 2] == uint8_t(crc & 0xFF) && bytes[length - 1] == uint8_t(crc >> 8);
}

int BusReplyRule::protocolFamily(const uint8_t *request, int requestLength) const
{
    return requestLength > 0 && request[0] == SlashFrame::Start ? 1 : 0;
}

int BusReplyRule::syncKey(const uint8_t *request, int requestLength) const
{
    if (requestLength < ModbusFrame::ReadLength || request[0] == SlashFrame::Start ||
        request[0] == ModbusFrame::BroadcastAddress)
        return -1;
    if (request[1] != ModbusFrame::ReadFunction && request[1] != ModbusFrame::WriteFunction)
        return -1;
    return request[0];
}

int BusReplyRule::buildSync(const uint8_t *request, int requestLength, int variant,
                            uint8_t *sync) const
{
    if (syncKey(request, requestLength) < 0)
        return 0;
    sync[0] = request[0];
    sync[1] = ModbusFrame::ReadFunction;
    sync[2] = request[2];
    sync[3] = request[3];
    sync[4] = 0;
    sync[5] = uint8_t(2 + std::clamp(variant, 0, 7));
    ModbusFrame::appendCrc(sync, 6);
    return ModbusFrame::ReadLength;
}

bool BusReplyRule::isFrameFrom(int key, const uint8_t *bytes, int length) const
{
    // The shortest Modbus reply is an exception: address, function, code, CRC.
    if (key < 0 || length < 5 || bytes[0] != key)
        return false;
    const uint16_t crc = ModbusFrame::crc16(bytes, length - 2);
    return bytes[length - 2] == uint8_t(crc & 0xFF) && bytes[length - 1] == uint8_t(crc >> 8);
}

bool BusReplyRule::isRefusal(const uint8_t *reply, int replyLength) const
{
    return replyLength >= 2 && reply[0] != SlashFrame::Start && reply[1] > 0x80;
}
