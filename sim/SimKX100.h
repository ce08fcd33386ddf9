#pragma once

#include "sim/SimModbusInverter.h"

#include <array>

// Simulated KX100 (Modbus RTU). Registers: 1 operation word (bit 0 run, bit 1 reverse),
// 2 frequency reference in 0.1 Hz, monitors 35 (reference, 0.1 Hz), 36 (output frequency,
// 0.1 Hz), 39 (output current, 0.1 A) and 40 (output voltage, V), parameters 257..364 with
// their factory settings, 362 the bus address, 2304 commit (write only). Anything else is
// answered with exception 2; the monitors cannot be written.
class SimKX100 : public SimModbusInverter
{
public:
    explicit SimKX100(int address);

    QString modelName() const override { return QStringLiteral("KX100"); }
    quint16 operationWord() const override;

    static constexpr quint16 OperationRegister = 1;
    static constexpr quint16 ReferenceRegister = 2;
    static constexpr quint16 AddressRegister = 362;
    static constexpr quint16 CommitRegister = 2304;
    static constexpr quint16 FirstParameter = 257;
    static constexpr quint16 LastParameter = 364;

protected:
    quint16 addressRegister() const override { return AddressRegister; }
    quint16 commitRegister() const override { return CommitRegister; }
    std::optional<quint16> readHolding(quint16 reg) const override;
    quint8 writeHolding(quint16 reg, quint16 value) override;

private:
    std::array<quint16, LastParameter - FirstParameter + 1> m_params{};
    quint16 m_reference = 0; // 0.1 Hz
};
