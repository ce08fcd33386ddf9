#include "serial/LineEcho.h"

#include "serial/ReplyRule.h"

#include <cstring>

LineEcho::Cut LineEcho::cut(EchoMode mode, bool lineEchoes, const ReplyRule *rule,
                            const uint8_t *request, int requestLength, const uint8_t *bytes,
                            int size)
{
    if (mode == EchoMode::Off || requestLength <= 0 || size <= 0)
        return {};
    const bool expected = mode == EchoMode::On || lineEchoes;
    if (size < requestLength)
        return {0, (expected || rule) && std::memcmp(bytes, request, size_t(size)) == 0};
    if (std::memcmp(bytes, request, size_t(requestLength)) != 0)
        return {};
    if (expected)
        return {requestLength, false};
    // Without a framing rule any bytes can be the reply: a copy is the echo only when expected.
    if (!rule)
        return {};
    // Auto on a line not known to echo: a copy that is a whole right reply is the reply,
    // unless the beginning of another reply follows it.
    const ReplyMatch asReply = rule->match(request, requestLength, request, requestLength);
    if (asReply.verdict != ReplyMatch::Verdict::Complete || asReply.length != requestLength)
        return {requestLength, false};
    if (size > requestLength &&
        rule->match(request, requestLength, bytes + requestLength, size - requestLength).verdict !=
            ReplyMatch::Verdict::Foreign)
        return {requestLength, false};
    return {};
}
