#pragma once

#include <cstdint>

// What the bytes received so far are, measured against the request in flight.
struct ReplyMatch
{
    enum class Verdict {
        Partial,  // a valid beginning of the reply; more bytes are needed
        Complete, // one whole reply of `length` bytes whose check bytes are right
        Corrupt,  // one whole reply of `length` bytes whose check bytes are wrong
        Foreign   // cannot be the reply to this request
    };
    Verdict verdict = Verdict::Partial;
    int length = 0; // bytes of the whole reply; 0 while the header is incomplete
};

// The framing rule of a bus protocol, kept out of the serial link and the transaction engine.
// The engine asks it whether a received chunk can be the reply to the request in flight; the
// receive thread asks it, in fast timing, whether the bytes collected so far complete that
// reply. Implementations hold no state and may be called from any thread.
class ReplyRule
{
public:
    virtual ~ReplyRule() = default;
    virtual ReplyMatch match(const uint8_t *request, int requestLength, const uint8_t *reply,
                             int replyLength) const = 0;
    // True when the bytes are one frame of the bus whose check bytes are right, whoever it is
    // for. A reply of which this is false fails the reply check as a communication error.
    virtual bool checksOut(const uint8_t *bytes, int length) const
    {
        (void)bytes;
        (void)length;
        return false;
    }

    // The protocol family of a request (0, 1, ...): a slave that cannot parse the frames of
    // another family may stay deaf for a while after one.
    virtual int protocolFamily(const uint8_t *request, int requestLength) const
    {
        (void)request;
        (void)requestLength;
        return 0;
    }

    // Re-synchronisation after a time-out (see TransactionEngine). A protocol whose replies
    // do not name what they answer gives the device a request addresses as a key (>= 0);
    // -1: no synchronisation for this request (its replies name it, or it is a broadcast).
    virtual int syncKey(const uint8_t *request, int requestLength) const
    {
        (void)request;
        (void)requestLength;
        return -1;
    }
    // Writes into `sync` (room for 16 bytes) a request to the same device whose reply cannot
    // be taken for a late reply to any request of the key, nor the reverse, nor (unless it is
    // a refusal) for the reply to the synchronising request of another variant (0..7);
    // returns its length, 0 when there is none.
    virtual int buildSync(const uint8_t *request, int requestLength, int variant,
                          uint8_t *sync) const
    {
        (void)request;
        (void)requestLength;
        (void)variant;
        (void)sync;
        return 0;
    }
    // Whether bytes are one whole, checked frame from the key's device (a reply of some
    // request); noise is not.
    virtual bool isFrameFrom(int key, const uint8_t *bytes, int length) const
    {
        (void)key;
        (void)bytes;
        (void)length;
        return false;
    }
    // Whether a checked reply is a refusal, which carries nothing that names its request.
    virtual bool isRefusal(const uint8_t *reply, int replyLength) const
    {
        (void)reply;
        (void)replyLength;
        return false;
    }
};
