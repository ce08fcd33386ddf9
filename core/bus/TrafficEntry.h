#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// One row of the traffic log: a finished exchange, or a chunk of bytes that no exchange took.
struct TrafficEntry
{
    enum class Kind : uint8_t {
        Exchange,  // a request and its reply (or its time-out)
        Stray,     // bytes received while no exchange waited
        LineError, // a framing, overrun or parity notice of the serial driver while idle
        Note       // what the port found and set when it opened (the adapter's latency)
    };

    // The inverter model whose frames the exchange carried, as far as it is known.
    enum class Model : uint8_t { Unknown, KX100, KX200, KX300 };

    // What the exchange came to, looked at with the frame checks of its protocol.
    enum class Outcome : uint8_t {
        Good,         // valid reply from the address asked
        TimeOut,      // no reply
        CheckError,   // CRC or sum mismatch, or too short to check
        LineError,    // the reply was a line error notice
        NegativeAck,  // KX200 'N'/'n': the inverter did not take the request
        Refused,      // Modbus exception reply or KX200 error letter
        OtherAddress, // valid reply from another address
        Incomplete,   // valid check, but too short to carry the register and value
        Stray         // entry of kind Stray or LineError
    };

    qint64 time = 0; // milliseconds since the epoch: the exchange's finish, the chunk's arrival
    Kind kind = Kind::Exchange;
    Model model = Model::Unknown;
    Outcome outcome = Outcome::Good;
    int8_t address = -1;     // the slot asked (0..31); -1 for stray bytes
    int8_t result = -1;      // the requester's result code 0..3; -1 for stray bytes
    int32_t responseMs = -1; // request written to exchange finished; -1 for stray bytes
    bool probe = false;      // a detection probe: silence or refusal is its normal answer
    bool echo = false;       // the line returned the request before the reply (shown once)
    QString note;            // the text of a Note
    QByteArray request;
    QByteArray reply;
    // What the entry means when whoever made it knows better than its frames (a listener
    // shows scaled values and names orphans); empty: decoded from the frames.
    QString meaning;

    // True for anything but a good reply.
    bool isError() const { return outcome != Outcome::Good; }

    static QString modelName(Model model);
    // "KX100", "KX200", "KX300" (any case); Unknown for anything else.
    static Model modelNamed(const QString &name);
};
