#include "serial/ReplyLocator.h"

#include "serial/ReplyRule.h"

ReplyLocator::Span ReplyLocator::locate(const ReplyRule &rule, const uint8_t *request,
                                        int requestLength, const uint8_t *bytes, int size)
{
    for (int start = 0; start < size; ++start) {
        const ReplyMatch match = rule.match(request, requestLength, bytes + start, size - start);
        if (match.verdict == ReplyMatch::Verdict::Partial)
            return {start, 0};
        // A rule's length beyond the bytes given is no whole reply.
        if (match.verdict == ReplyMatch::Verdict::Complete && match.length > 0 &&
            match.length <= size - start)
            return {start, match.length};
    }
    return {size > 0 ? size : 0, 0};
}
