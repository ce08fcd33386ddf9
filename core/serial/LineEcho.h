#pragma once

#include "serial/LineSettings.h"

#include <cstdint>

class ReplyRule;

// Where the echo of a request ends in the bytes received after it: the one rule of echo
// removal for the receive thread (which must not end a burst at an echo) and the transaction
// engine (which must not take an echo for the reply). An echo is an exact copy of the request
// at the start of the bytes; a copy that could itself be the reply (a Modbus write is answered
// with a copy of itself) is its echo only when one is expected (mode On, or Auto on a line
// seen echoing), or when the beginning of a reply follows it. Without a framing rule a copy
// is an echo only when one is expected.
class LineEcho
{
public:
    struct Cut
    {
        int echo = 0;         // leading bytes that are the echo, 0 or the request's length
        bool partial = false; // the bytes are a proper beginning of the request: an echo cut
                              // short so far (a USB adapter hands bytes over in batches)
    };

    static Cut cut(EchoMode mode, bool lineEchoes, const ReplyRule *rule, const uint8_t *request,
                   int requestLength, const uint8_t *bytes, int size);
};
