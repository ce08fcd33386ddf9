#pragma once

#include "serial/ReplyRule.h"
#include "serial/TransactionRecord.h"

#include <cstdint>
#include <optional>

// Modbus RTU frames as the inverters of the Modbus models speak them: read one holding
// register (function 3), write one register (function 16, quantity 1), CRC-16/MODBUS.
// Words travel high byte first; the CRC is appended low byte first.
namespace ModbusFrame {

constexpr uint8_t ReadFunction = 0x03;
constexpr uint8_t WriteFunction = 0x10;
constexpr uint8_t BroadcastAddress = 0x00;
constexpr int ReadLength = 8;
constexpr int WriteLength = 11;

// CRC-16/MODBUS over length bytes (start 0xFFFF, reflected polynomial 0xA001, no final XOR).
uint16_t crc16(const uint8_t *data, int length);
// Stores the CRC of bytes 0..length-1 in bytes length (low) and length+1 (high).
void appendCrc(uint8_t *buffer, int length);

// Fill TxFrame and TxLength; RxLength and everything else stay as they are.
void buildRead(TransactionRecord &record, uint8_t slave, uint16_t registerNumber);
void buildWrite(TransactionRecord &record, uint8_t slave, uint16_t registerNumber, uint16_t value);

// The result code of a finished reply: 0 valid, 2 exception reply (function byte above 0x80),
// 3 too short or CRC mismatch. Neither the slave address nor the function's relation to the
// request is examined.
int32_t checkReply(const TransactionRecord &record);

// What the received bytes are for the request: the reply's length follows from the function
// code (read reply 5 bytes plus two per register asked for: 7 for the drivers' one-register
// reads, 9..23 for the engine's synchronising reads of 2..9 registers; write echo 8 bytes
// naming the register and quantity written; exception reply 5 bytes), and it must come from
// the slave addressed. A broadcast address write is answered, if at all, by the drive at its
// new address (or from address 0).
ReplyMatch matchReply(const uint8_t *request, int requestLength, const uint8_t *reply,
                      int replyLength);
// The same for the bytes of a finished record.
ReplyMatch matchReply(const TransactionRecord &record);

// A validated reply taken apart together with its request.
struct Reply
{
    uint8_t slave = 0;
    bool isRead = false;    // function 3: register from the request, value from the reply
    int registerNumber = 0; // 0..65535
    uint16_t value = 0;     // raw word; a write echo carries the value that was written
};

// The register and value a validated reply refers to. Empty unless the reply is exactly the
// read reply or the write echo of the request it is paired with, so a reply never lends its
// value to another register.
std::optional<Reply> takeApart(const TransactionRecord &record);
// As takeApart, accepted only from the given slave (0..31); replies of other slaves are empty.
std::optional<Reply> takeApartFrom(const TransactionRecord &record, int slave);
// The register of takeApart, or -1.
int replyRegister(const TransactionRecord &record);

} // namespace ModbusFrame
