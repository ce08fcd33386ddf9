#pragma once

#include "serial/ReplyRule.h"

// The framing rule of this bus: a request that starts with '/' is a KX200 slash frame, any
// other a Modbus RTU frame (whose slave address 0..31 is never '/').
class BusReplyRule : public ReplyRule
{
public:
    ReplyMatch match(const uint8_t *request, int requestLength, const uint8_t *reply,
                     int replyLength) const override;
};
