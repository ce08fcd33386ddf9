#pragma once

#include "sim/SimInverter.h"

#include <map>

// Simulated KX200 (slash frames with an 8-bit sum). Requests: '/' address 'R' register sum,
// '/' address 'W' register data sum, and the broadcast '/' 'W' register data sum. Replies
// carry the address ('/' address letter register data sum), except the answer to a broadcast
// address write, which has none. Letters: 'R'/'W' confirm, 'N' answers a bad sum, the
// lower-case 'r'/'w' report an error (unknown or read-only register, bad value).
// Registers: readouts 1 (reference, 0.01 Hz), 2 (current, 0.1 A), 3 (output frequency,
// 0.01 Hz), 4 (voltage, 0.1 V), read only; 0xFA00 operation/status word (commands carry
// bits 15 and 14; bit 12 stop, bit 10 run, bit 9 reverse, bit 8 auxiliary; reads and write
// echoes report bit 10 running, bit 9 reverse, bit 8 auxiliary); 0xFA01 reference in
// 0.01 Hz; the parameters by register code with their factory settings; 0x0802 the address.
class SimKX200 : public SimInverter
{
public:
    explicit SimKX200(int address);

    QString modelName() const override { return QStringLiteral("KX200"); }
    SimFrame::Protocol protocol() const override { return SimFrame::Protocol::Slash; }
    int lowestAddress() const override { return 0; }
    int highestAddress() const override { return 31; }
    int checkLength() const override { return 1; }

    QByteArray handleFrame(const SimFrame &frame) override;
    QByteArray refusalReply(const SimFrame &frame) const override;

    std::optional<quint16> registerValue(quint32 reg) const override;
    bool setRegisterValue(quint32 reg, quint16 value) override;
    quint16 operationWord() const override;

    bool auxFlag() const { return m_aux; }

    static constexpr quint16 OperationRegister = 0xFA00;
    static constexpr quint16 ReferenceRegister = 0xFA01;
    static constexpr quint16 AddressRegister = 0x0802;

private:
    // True when written; *newAddress receives an address change to make after the reply.
    bool write(quint16 reg, quint16 value, int *newAddress);
    QByteArray reply(char letter, bool withAddress, quint16 reg, quint16 data) const;

    std::map<quint16, quint16> m_params; // register -> value
    quint16 m_reference = 0;             // 0.01 Hz
    bool m_aux = false;
};
