#pragma once

#include "serial/ReplyRule.h"

// The framing rule of this bus: a request that starts with '/' is a KX200 slash frame, any
// other a Modbus RTU frame (whose slave address 0..31 is never '/').
class BusReplyRule : public ReplyRule
{
public:
    ReplyMatch match(const uint8_t *request, int requestLength, const uint8_t *reply,
                     int replyLength) const override;
    // A frame starting with '/' ends with its sum (3 bytes at least), any other with its
    // CRC (4 bytes at least), as the reply checks of the two protocols have it.
    bool checksOut(const uint8_t *bytes, int length) const override;
    // 1 for a slash frame, 0 for Modbus.
    int protocolFamily(const uint8_t *request, int requestLength) const override;

    // Modbus only: a slash reply names its register, so it cannot shift. The key is the
    // slave address; the synchronising request reads 2 + variant registers (2..9) from the
    // register of the request it goes before, whose reply (9..23 bytes) no one-register read
    // or write shares.
    int syncKey(const uint8_t *request, int requestLength) const override;
    int buildSync(const uint8_t *request, int requestLength, int variant,
                  uint8_t *sync) const override;
    bool isFrameFrom(int key, const uint8_t *bytes, int length) const override;
    bool isRefusal(const uint8_t *reply, int replyLength) const override;
};
