#pragma once

#include "sim/SimModbusInverter.h"

#include <array>
#include <bitset>

// Simulated KX300 (Modbus RTU). Register space 0..1295: 0 operation word (0 stop,
// 1 forward, 2 reverse), 1 frequency reference in 0.01 Hz, the monitor group U (0x0020..0x003B,
// 0x0080..0x008D, 0x0090..0x0097; read only, U1-01 reference and U1-02 output frequency in
// 0.01 Hz and negative in reverse, U1-03 current in 0.1 A, U1-06 voltage in 0.1 V), the
// parameters of groups A..O with their factory settings, 1052 the station address ("H5-01"),
// and 65533 commit (write only). A register of the space that belongs to no group is
// answered with exception 2, like any register beyond it; that is also what tells a KX300
// apart from a KX100 when a KX100's address register 362 is asked for.
class SimKX300 : public SimModbusInverter
{
public:
    explicit SimKX300(int address);

    QString modelName() const override { return QStringLiteral("KX300"); }
    quint16 operationWord() const override;

    static constexpr quint16 OperationRegister = 0;
    static constexpr quint16 ReferenceRegister = 1;
    static constexpr quint16 AddressRegister = 1052;
    static constexpr quint16 CommitRegister = 65533;
    static constexpr int RegisterCount = 1296;

    static bool isMonitor(quint16 reg);

protected:
    quint16 addressRegister() const override { return AddressRegister; }
    quint16 commitRegister() const override { return CommitRegister; }
    std::optional<quint16> readHolding(quint16 reg) const override;
    quint8 writeHolding(quint16 reg, quint16 value) override;

private:
    std::array<quint16, RegisterCount> m_registers{};
    std::bitset<RegisterCount> m_present;
};
