#include "bus/SlashFrame.h"

namespace SlashFrame {

namespace {
constexpr int MinimumReply = 3;

void putWord(uint8_t *at, uint16_t word)
{
    at[0] = uint8_t(word >> 8);
    at[1] = uint8_t(word & 0xFF);
}

uint16_t word(const uint8_t *at)
{
    return uint16_t((at[0] << 8) | at[1]);
}

bool isLetter(uint8_t byte)
{
    return byte >= 0x40 && byte <= 0x7F;
}
} // namespace

uint8_t sum(const uint8_t *data, int length)
{
    unsigned total = 0;
    for (int i = 0; i < length; ++i)
        total += data[i];
    return uint8_t(total & 0xFF);
}

void buildRead(TransactionRecord &record, uint8_t address, uint16_t registerNumber)
{
    uint8_t *frame = record.TxFrame;
    frame[0] = Start;
    frame[1] = address;
    frame[2] = ReadLetter;
    putWord(frame + 3, registerNumber);
    frame[5] = sum(frame, 5);
    record.TxLength = ReadLength;
}

void buildWrite(TransactionRecord &record, uint8_t address, uint16_t registerNumber, uint16_t data)
{
    uint8_t *frame = record.TxFrame;
    frame[0] = Start;
    frame[1] = address;
    frame[2] = WriteLetter;
    putWord(frame + 3, registerNumber);
    putWord(frame + 5, data);
    frame[7] = sum(frame, 7);
    record.TxLength = WriteLength;
}

void buildBroadcastAddress(TransactionRecord &record, uint16_t newAddress)
{
    uint8_t *frame = record.TxFrame;
    frame[0] = Start;
    frame[1] = WriteLetter;
    putWord(frame + 2, AddressRegister);
    putWord(frame + 4, newAddress);
    frame[6] = sum(frame, 6);
    record.TxLength = BroadcastLength;
}

int32_t checkReply(const TransactionRecord &record)
{
    const int n = record.RxLength;
    if (n < MinimumReply || n > TransactionRecord::FrameSize)
        return TransactionResult::CommError;
    if (sum(record.RxFrame, n - 1) != record.RxFrame[n - 1])
        return TransactionResult::CommError;
    const uint8_t letter = isLetter(record.RxFrame[1]) ? record.RxFrame[1] : record.RxFrame[2];
    if (letter == 'N' || letter == 'n')
        return TransactionResult::CommError; // negative acknowledgement
    if (letter >= 0x71 && letter <= 0x7F)
        return TransactionResult::InverterError;
    return TransactionResult::Ok;
}

ReplyMatch matchReply(const uint8_t *request, int requestLength, const uint8_t *reply,
                      int replyLength)
{
    using Verdict = ReplyMatch::Verdict;
    if (!request || requestLength < BroadcastLength - 1 || request[0] != Start || replyLength < 0)
        return {Verdict::Foreign, 0};
    // The broadcast address write has no address byte: its letter follows the start byte.
    const bool broadcast = isLetter(request[1]);
    if (broadcast && requestLength < BroadcastLength)
        return {Verdict::Foreign, 0};
    const uint8_t letter = broadcast ? request[1] : request[2];
    const uint8_t *registerBytes = broadcast ? request + 2 : request + 3;
    if (letter != ReadLetter && letter != WriteLetter)
        return {Verdict::Foreign, 0};
    const uint8_t otherError = letter == ReadLetter ? 'w' : 'r';

    if (replyLength == 0)
        return {Verdict::Partial, 0};
    if (reply[0] != Start)
        return {Verdict::Foreign, 0};
    if (replyLength < 2)
        return {Verdict::Partial, 0};
    int letterAt = 2;
    if (isLetter(reply[1])) {
        // Without the address byte an addressed request is answered only by its own letter
        // and register; refusals must name the drive.
        if (!broadcast && reply[1] != letter)
            return {Verdict::Foreign, 0};
        letterAt = 1;
    } else {
        // A broadcast address write is answered by the drive from the address written.
        const int expected = broadcast ? int(word(request + 4)) : int(request[1]);
        if (reply[1] != expected)
            return {Verdict::Foreign, 0};
    }
    if (replyLength <= letterAt)
        return {Verdict::Partial, 0};
    const uint8_t replyLetter = reply[letterAt];
    const bool confirms = replyLetter == letter;
    const bool refuses = replyLetter == 'N' || replyLetter == 'n' ||
                         (replyLetter >= 0x71 && replyLetter <= 0x7F && replyLetter != otherError);
    if (!confirms && !refuses)
        return {Verdict::Foreign, 0};
    // A confirmation names the register of the request.
    if (confirms && ((replyLength > letterAt + 1 && reply[letterAt + 1] != registerBytes[0]) ||
                     (replyLength > letterAt + 2 && reply[letterAt + 2] != registerBytes[1])))
        return {Verdict::Foreign, 0};
    const int length = letterAt + 6; // letter, register, data, sum
    if (replyLength < length)
        return {Verdict::Partial, length};
    const bool checks = sum(reply, length - 1) == reply[length - 1];
    return {checks ? Verdict::Complete : Verdict::Corrupt, length};
}

ReplyMatch matchReply(const TransactionRecord &record)
{
    if (record.TxLength > TransactionRecord::FrameSize ||
        record.RxLength > TransactionRecord::FrameSize)
        return {ReplyMatch::Verdict::Foreign, 0};
    return matchReply(record.TxFrame, record.TxLength, record.RxFrame,
                      record.RxLength < 0 ? 0 : int(record.RxLength));
}

std::optional<Reply> takeApart(const TransactionRecord &record, int ownAddress)
{
    const int n = record.RxLength;
    if (n < MinimumReply || n > TransactionRecord::FrameSize)
        return std::nullopt;
    // Only a whole reply that answers this very request is taken apart.
    const ReplyMatch match = matchReply(record);
    if (match.verdict == ReplyMatch::Verdict::Foreign || match.length != n)
        return std::nullopt;
    Reply reply;
    int letterAt = 1;
    if (isLetter(record.RxFrame[1])) {
        reply.address = ownAddress;
    } else {
        reply.address = record.RxFrame[1];
        letterAt = 2;
    }
    // Letter, register word, data word and the sum byte must all have arrived.
    if (n < letterAt + 6)
        return std::nullopt;
    reply.letter = record.RxFrame[letterAt];
    reply.registerNumber = word(record.RxFrame + letterAt + 1);
    reply.data = word(record.RxFrame + letterAt + 3);
    return reply;
}

int ParamRegister(int index)
{
    if (index < 0)
        return 0;
    if (index <= 44)
        return index + 6 * (index / 10);
    switch (index) {
    case 45:
        return 0x0700;
    case 46:
        return 0x0800;
    case 47:
        return 0x0801;
    case 48:
        return 0x0802;
    default:
        return 0x0803;
    }
}

int ParamIndex(int registerNumber)
{
    if (registerNumber >= 0 && registerNumber <= 0x0044)
        return registerNumber - 6 * (registerNumber / 16);
    switch (registerNumber) {
    case 0x0700:
        return 45;
    case 0x0800:
        return 46;
    case 0x0801:
        return 47;
    case 0x0802:
        return 48;
    default:
        return 49;
    }
}

bool isParamRegister(int registerNumber)
{
    return ParamRegister(ParamIndex(registerNumber)) == registerNumber;
}

} // namespace SlashFrame
