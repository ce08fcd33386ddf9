#include "bus/TInverterKX300.h"

#include "bus/ModbusFrame.h"
#include "params/ParameterSet.h"

#include <cstdlib>

namespace {
constexpr int FreqRefMonitorRegister = 32; // "U1-01", 0.01 Hz, signed
constexpr int OutputFreqRegister = 33;     // "U1-02", 0.01 Hz, signed
constexpr int OutputCurrentRegister = 34;  // "U1-03", 0.1 units
constexpr int OutputVoltageRegister = 37;  // "U1-06", 0.1 units
} // namespace

// The table starts zero-filled; this model has no factory defaults of its own.
TInverterKX300::TInverterKX300(int slot) : TInverterBase(slot), m_params(ParamCount, 0)
{
    TypeName = QStringLiteral("KX300");
    SetDefaults();
}

void TInverterKX300::SaveSetup(IniFile &ini, const QString &section) const
{
    TInverterBase::SaveSetup(ini, section);
    saveParameters(ini, section, ParameterSet::forModel(QStringLiteral("KX300")));
}

void TInverterKX300::LoadSetup(const IniFile &ini, const QString &section)
{
    loadParameters(ini, section, ParameterSet::forModel(QStringLiteral("KX300")));
}

QString TInverterKX300::GetEditorClass() const
{
    return QStringLiteral("TKX300DnLdForm");
}

void TInverterKX300::ReadRegister(int registerNumber, TransactionRecord &record)
{
    ModbusFrame::buildRead(record, uint8_t(Address), uint16_t(registerNumber));
    submit(record);
}

void TInverterKX300::WriteRegister(int registerOrCode, TransactionRecord &record)
{
    switch (registerOrCode) {
    case WriteOperation:
        write(OperationRegister, (Running ? 1 : 0) | (Reverse ? 2 : 0), record);
        break;
    case RunCommand:
        write(OperationRegister, Reverse ? 2 : 1, record);
        break;
    case StopCommand:
        write(OperationRegister, 0, record);
        break;
    case ForwardCommand:
        write(OperationRegister, 1, record);
        break;
    case ReverseCommand:
        write(OperationRegister, 2, record);
        break;
    default:
        write(registerOrCode, record.Value, record);
        break;
    }
}

void TInverterKX300::write(int registerNumber, int32_t value, TransactionRecord &record)
{
    ModbusFrame::buildWrite(record, uint8_t(Address), uint16_t(registerNumber),
                            uint16_t(value & 0xFFFF));
    submit(record);
}

void TInverterKX300::SendCommit(TransactionRecord &record)
{
    write(CommitRegister, 0, record);
}

void TInverterKX300::DecodeReply(const TransactionRecord &record)
{
    const auto reply = ModbusFrame::takeApartFrom(record, Address);
    if (!reply)
        return;
    // Read values are signed 16-bit; a write echo carries the written word unsigned.
    const int value = reply->isRead ? int(int16_t(reply->value)) : int(reply->value);
    const int registerNumber = reply->registerNumber;
    switch (registerNumber) {
    case OperationRegister:
        Running = (value & 3) != 0;
        if (value & 1)
            Reverse = false;
        else if (value & 2)
            Reverse = true;
        return;
    case FrequencyRegister:
        FreqRef = float(value * 0.01);
        return;
    case FreqRefMonitorRegister:
        FreqRef = float(std::abs(value) * 0.01);
        break;
    case OutputFreqRegister:
        OutputFreq = float(std::abs(value) * 0.01);
        break;
    case OutputCurrentRegister:
        OutputCurrent = float(value * 0.1);
        break;
    case OutputVoltageRegister:
        OutputVoltage = float(value * 0.1);
        break;
    case AddressRegister:
        AddressConfirmed = value == reply->slave;
        break;
    case CommitRegister:
        return;
    default:
        break;
    }
    // Every other register inside the table, and the monitor values above, keep their value.
    storeWord(registerNumber, value);
}

void TInverterKX300::CheckReply(TransactionRecord &record) const
{
    record.Result = ModbusFrame::checkReply(record);
}

int TInverterKX300::ReplyRegister(const TransactionRecord &record) const
{
    return ModbusFrame::replyRegister(record);
}

void TInverterKX300::ReadAddress(TransactionRecord &record)
{
    ReadRegister(AddressRegister, record);
}

void TInverterKX300::ReadFreqRef(TransactionRecord &record)
{
    ReadRegister(FreqRefMonitorRegister, record);
}

void TInverterKX300::ReadOutputFreq(TransactionRecord &record)
{
    ReadRegister(OutputFreqRegister, record);
}

void TInverterKX300::ReadOutputVoltage(TransactionRecord &record)
{
    ReadRegister(OutputVoltageRegister, record);
}

void TInverterKX300::ReadOutputCurrent(TransactionRecord &record)
{
    ReadRegister(OutputCurrentRegister, record);
}

void TInverterKX300::WriteAddress(TransactionRecord &record)
{
    // Broadcast: every inverter on the line takes the new address.
    ModbusFrame::buildWrite(record, ModbusFrame::BroadcastAddress, AddressRegister,
                            uint16_t(Address));
    submit(record);
}

void TInverterKX300::Run(TransactionRecord &record)
{
    WriteRegister(RunCommand, record);
}

void TInverterKX300::Stop(TransactionRecord &record)
{
    WriteRegister(StopCommand, record);
}

void TInverterKX300::Forward(TransactionRecord &record)
{
    WriteRegister(ForwardCommand, record);
}

void TInverterKX300::RunReverse(TransactionRecord &record)
{
    WriteRegister(ReverseCommand, record);
}

void TInverterKX300::WriteFreqRef(TransactionRecord &record)
{
    WriteRegister(FrequencyRegister, record);
}
