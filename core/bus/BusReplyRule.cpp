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
