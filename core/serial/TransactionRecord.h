#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <memory>

// The request/reply record of one bus exchange. A requester fills it through InitTransaction,
// the slot's driver builds the request into TxFrame, the engine adds the reply and the result.
struct TransactionRecord
{
    static constexpr int FrameSize = 100;

    uint8_t TxFrame[FrameSize] = {};
    uint8_t RxFrame[FrameSize] = {};
    int32_t Slot = 0;
    int32_t TxLength = -1; // bytes of TxFrame to send; -1 until a request is built
    int32_t RxLength = -1; // bytes received into RxFrame; -1 means nothing arrived
    int32_t Value = 0;     // data for write requests
    QPointer<QObject> NotifyWindow;
    uint32_t NotifyMessage = 0;
    int32_t Result = 0; // one of TransactionResult
    // The generation of the slot's driver the registry built the request for; 0 when the
    // request was built outside the registry. Lets a completion recognise that its slot has
    // been emptied or refilled since.
    uint64_t SlotGeneration = 0;
    // The exchange failed because the line was lost or is still down; the loss itself is
    // reported once, by the port.
    bool LineLost = false;
    // The line returned the request's own bytes before the reply; the engine removed them.
    bool Echoed = false;
    // A detection probe: in the fast timing it may end at a deadline shorter than the
    // transfer time-out once the line has shown its reply times.
    bool Probe = false;
    // The request goes out only once the line has been free of frames of another protocol
    // family for this long (ms), in either timing; 0 waits for nothing. A slave deafened by
    // such a frame hears it then. The wait holds the whole line.
    int32_t OtherFamilyHoldMs = 0;
    // Set by the engine when the request goes on the line: how long the line had then been
    // free of frames of another protocol family (ms); NeverHeard when there has been none,
    // -1 when the request never went out.
    static constexpr int32_t NeverHeard = INT32_MAX;
    int32_t OtherFamilyQuietMs = -1;
    // Set with it: the exchange before it on the line was of another protocol family (a slave
    // whose framer took that frame for the beginning of its own may lose this one with it).
    bool AfterOtherFamily = false;
};

// Outcome of an exchange, as held in TransactionRecord::Result.
namespace TransactionResult {
enum : int32_t {
    Ok = 0,            // reply accepted
    TimeOut = 1,       // no reply before the time-out
    InverterError = 2, // the inverter refused the request (exception or error letter)
    CommError = 3      // the reply failed its check (CRC, sum, too short, negative acknowledge)
};
}

using TransactionPtr = std::shared_ptr<TransactionRecord>;

// Sets who is told of the completion, the value to write and the slot; marks both frames empty
// and the result as accepted. The frame bytes are left as they are.
void InitTransaction(TransactionRecord &record, QObject *notifyWindow, uint32_t notifyMessage,
                     int32_t value, int32_t slot);
