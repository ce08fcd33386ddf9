#include "bus/BusReplyRule.h"

#include "bus/ModbusFrame.h"
#include "bus/SlashFrame.h"

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
