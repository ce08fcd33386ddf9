#pragma once

#include "bus/StreamFrameCutter.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <optional>

// Pairs the frames another master and the drives put on the line into exchanges, as that
// master meant them: a master waits for the reply to one request before it sends the next,
// so a frame that answers the waiting request (same protocol, address, function or letter,
// register, and a reply of the right form) is its reply. A request that meets another
// request, or waits longer than the reply time-out, went unanswered; a broadcast without a
// reply is normal. A reply with no waiting request to answer is an orphan.
class ExchangePairer
{
public:
    using Frame = StreamFrameCutter::Frame;

    struct Exchange
    {
        enum class Kind : uint8_t {
            Answered,   // request and its reply
            Unanswered, // request without a reply
            Broadcast,  // broadcast request, no reply (none was due)
            Orphan,     // reply without a request
            Noise       // bytes that are no frame
        };
        Kind kind = Kind::Noise;
        Frame::Protocol protocol = Frame::Protocol::Noise;
        std::optional<Frame> request;
        std::optional<Frame> reply; // the orphan's and the noise's bytes too
        int address = -1;           // the address the request named; the orphan's sender

        bool hasRequest() const { return request.has_value(); }
    };

    explicit ExchangePairer(qint64 replyTimeoutUs = 1'000'000) : m_timeoutUs(replyTimeoutUs) {}

    // The exchanges a frame settles, in the order they happened.
    QList<Exchange> take(const Frame &frame);
    // The waiting request, once its reply is later than the time-out at nowUs.
    QList<Exchange> expire(qint64 nowUs);
    // Listening ends: the waiting request went unanswered.
    QList<Exchange> finish();
    bool isWaiting() const { return m_waiting.has_value(); }

    // Whether a frame has the form of a request (a write request and its echo look alike:
    // those count as requests here and as replies where they answer).
    static bool isRequestForm(const Frame &frame);
    // Whether reply answers request.
    static bool answers(const Frame &request, const Frame &reply);
    // The bus address a frame names; -1 for an addressless slash frame or noise.
    static int addressOf(const Frame &frame);
    static bool isBroadcast(const Frame &request);

private:
    Exchange unanswered();

    qint64 m_timeoutUs;
    std::optional<Frame> m_waiting;
};
