#pragma once

#include <cstdint>

class ReplyRule;

// Where the reply to the request in flight lies in the bytes received so far; the one rule of
// re-synchronisation for every receive path. The reply begins at the first byte from which the
// rule sees a valid beginning or a whole right reply. Bytes that cannot begin it, and whole
// frames with wrong check bytes, are noise: the search goes on from the next byte, so a reply
// right behind noise or behind a broken frame is still found.
class ReplyLocator
{
public:
    struct Span
    {
        int start = 0;  // bytes of noise before the reply; all the bytes when none can begin it
        int length = 0; // a whole right reply at start; 0 while it is incomplete or absent
    };

    static Span locate(const ReplyRule &rule, const uint8_t *request, int requestLength,
                       const uint8_t *bytes, int size);
};
