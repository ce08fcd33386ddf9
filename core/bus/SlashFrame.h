#pragma once

#include "serial/ReplyRule.h"
#include "serial/TransactionRecord.h"

#include <cstdint>
#include <optional>

// The KX200 byte protocol: a frame starts with '/', carries a command letter, a register word
// and (for writes and replies) a data word, high byte first, and ends with the 8-bit sum of
// all bytes before it. Replies may come with or without the address byte.
namespace SlashFrame {

constexpr uint8_t Start = '/';
constexpr uint8_t ReadLetter = 'R';
constexpr uint8_t WriteLetter = 'W';
constexpr int ReadLength = 6;
constexpr int WriteLength = 8;
constexpr int BroadcastLength = 7;
constexpr uint16_t AddressRegister = 0x0802;

// Sum modulo 256 of length bytes.
uint8_t sum(const uint8_t *data, int length);

// Fill TxFrame and TxLength.
void buildRead(TransactionRecord &record, uint8_t address, uint16_t registerNumber);
void buildWrite(TransactionRecord &record, uint8_t address, uint16_t registerNumber, uint16_t data);
// Addressless write of the bus address register: every inverter on the line takes it.
void buildBroadcastAddress(TransactionRecord &record, uint16_t newAddress);

// 0 valid, 2 error letter (0x71..0x7F), 3 too short, sum mismatch or 'N'/'n'.
int32_t checkReply(const TransactionRecord &record);

// What the received bytes are for the request: a reply starts with '/', carries the address
// the request was sent to (the broadcast address write is answered from the new address),
// the request's letter with the request's register, or a refusal letter ('N', 'n', or an
// error letter of the request's command), and ends with its sum after 8 bytes. A reply may
// leave out the address (7 bytes): to an addressed request only as a confirmation with the
// request's letter and register, which then counts as the addressed drive's.
ReplyMatch matchReply(const uint8_t *request, int requestLength, const uint8_t *reply,
                      int replyLength);
ReplyMatch matchReply(const TransactionRecord &record);

struct Reply
{
    int address = 0; // the replying address; the receiver's own for addressless replies
    uint8_t letter = 0;
    int registerNumber = 0;
    uint16_t data = 0;
};

// A reply taken apart: the letter sits at byte 1 when that byte is 0x40..0x7F (no address
// byte), else at byte 2 after the address. ownAddress stands in for a missing address byte.
// Empty unless the reply is a whole reply to the request of the same record.
std::optional<Reply> takeApart(const TransactionRecord &record, int ownAddress);

// KX200 parameter index (0..49) to register: the parameter number's decimal digits read as
// hexadecimal. Indexes 0..44 are their own parameter numbers, 45..49 are 700, 800..803;
// any index above 48 gives 0x0803, a negative index 0.
int ParamRegister(int index);
// Register to parameter index, the inverse of ParamRegister on its registers. Registers up to
// 0x0044 map digit-wise, the 07xx/08xx registers to 45..48, any other register to 49.
int ParamIndex(int registerNumber);
// True when the register is ParamRegister of some index 0..49.
bool isParamRegister(int registerNumber);

} // namespace SlashFrame
