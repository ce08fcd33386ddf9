#pragma once

#include "sim/SimInverter.h"

// The Modbus RTU slave part shared by the Modbus models: read holding registers (3), write
// multiple registers (16), exception replies, the station-address register (a write takes
// effect after the reply; a broadcast write answered, if at all, from the new address) and
// the commit register. Frames reach it with their CRC already checked.
class SimModbusInverter : public SimInverter
{
public:
    using SimInverter::SimInverter;

    SimFrame::Protocol protocol() const override { return SimFrame::Protocol::Modbus; }
    int lowestAddress() const override { return 1; }
    int highestAddress() const override { return 31; }
    int checkLength() const override { return 2; }

    QByteArray handleFrame(const SimFrame &frame) override;
    QByteArray refusalReply(const SimFrame &frame) const override;

    std::optional<quint16> registerValue(quint32 reg) const override;
    bool setRegisterValue(quint32 reg, quint16 value) override;

    // Modbus exception codes.
    enum : quint8 {
        IllegalFunction = 1,
        IllegalAddress = 2,
        IllegalValue = 3,
        DeviceFailure = 4,
    };

protected:
    virtual quint16 addressRegister() const = 0;
    virtual quint16 commitRegister() const = 0;
    // Model registers other than the address and commit registers.
    virtual std::optional<quint16> readHolding(quint16 reg) const = 0;
    // Returns 0 when written, otherwise the exception code.
    virtual quint8 writeHolding(quint16 reg, quint16 value) = 0;

private:
    QByteArray readReply(const SimFrame &frame) const;
    QByteArray writeReply(const SimFrame &frame);
    quint8 writeOne(quint16 reg, quint16 value, int *newAddress);
    QByteArray exceptionReply(quint8 function, quint8 code) const;
};
