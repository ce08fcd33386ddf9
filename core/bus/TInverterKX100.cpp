#include "bus/TInverterKX100.h"

#include "bus/ModbusFrame.h"
#include "params/ParameterSet.h"

namespace {
constexpr int ReadFreqRefRegister = 35;
constexpr int ReadOutputFreqRegister = 36;
constexpr int ReadOutputCurrentRegister = 39;
constexpr int ReadOutputVoltageRegister = 40;
} // namespace

TInverterKX100::TInverterKX100(int slot) : TInverterBase(slot), m_params(ParamCount, 0)
{
    TypeName = QStringLiteral("KX100");
    SetDefaults();
}

void TInverterKX100::SetDefaults()
{
    applyDefaults(ParameterSet::forModel(QStringLiteral("KX100")));
}

void TInverterKX100::SaveSetup(IniFile &ini, const QString &section) const
{
    TInverterBase::SaveSetup(ini, section);
    saveParameters(ini, section, ParameterSet::forModel(QStringLiteral("KX100")));
}

void TInverterKX100::LoadSetup(const IniFile &ini, const QString &section)
{
    loadParameters(ini, section, ParameterSet::forModel(QStringLiteral("KX100")));
}

QString TInverterKX100::GetEditorClass() const
{
    return QStringLiteral("TKX100DnLdForm");
}

void TInverterKX100::ReadRegister(int registerNumber, TransactionRecord &record)
{
    ModbusFrame::buildRead(record, uint8_t(Address), uint16_t(registerNumber));
    submit(record);
}

void TInverterKX100::WriteRegister(int registerOrCode, TransactionRecord &record)
{
    switch (registerOrCode) {
    case WriteOperation:
        write(OperationRegister, (Running ? 1 : 0) | (Reverse ? 2 : 0), record);
        break;
    case WriteFrequency:
        // Hundredths of a hertz in, tenths on the wire; C++ division truncates toward zero.
        write(FrequencyRegister, record.Value / 10, record);
        break;
    case RunCommand:
        write(OperationRegister, Reverse ? 3 : 1, record);
        break;
    case StopCommand:
        write(OperationRegister, Reverse ? 2 : 0, record);
        break;
    case ForwardCommand:
        write(OperationRegister, 1, record);
        break;
    case ReverseCommand:
        write(OperationRegister, 3, record);
        break;
    default:
        write(registerOrCode, record.Value, record);
        break;
    }
}

void TInverterKX100::write(int registerNumber, int32_t value, TransactionRecord &record)
{
    ModbusFrame::buildWrite(record, uint8_t(Address), uint16_t(registerNumber),
                            uint16_t(value & 0xFFFF));
    submit(record);
}

void TInverterKX100::SendCommit(TransactionRecord &record)
{
    write(CommitRegister, 0, record);
}

void TInverterKX100::DecodeReply(const TransactionRecord &record)
{
    const auto reply = ModbusFrame::takeApartFrom(record, Address);
    if (!reply)
        return;
    const int value = reply->value; // unsigned, 0..65535
    switch (reply->registerNumber) {
    case OperationRegister:
        Running = (value & 1) != 0;
        Reverse = (value & 2) != 0;
        return;
    case FrequencyRegister:
    case ReadFreqRefRegister:
        FreqRef = float(value * 0.1);
        return;
    case ReadOutputFreqRegister:
        OutputFreq = float(value * 0.1);
        return;
    case ReadOutputCurrentRegister:
        OutputCurrent = float(value * 0.1);
        return;
    case ReadOutputVoltageRegister:
        OutputVoltage = float(value);
        return;
    case AddressRegister:
        AddressConfirmed = value == reply->slave;
        storeWord(AddressRegister - ParamBase, value);
        return;
    default:
        if (reply->registerNumber > ParamBase && reply->registerNumber < ParamBase + ParamCount)
            storeWord(reply->registerNumber - ParamBase, value);
        return;
    }
}

void TInverterKX100::CheckReply(TransactionRecord &record) const
{
    record.Result = ModbusFrame::checkReply(record);
}

int TInverterKX100::ReplyRegister(const TransactionRecord &record) const
{
    return ModbusFrame::replyRegister(record);
}

void TInverterKX100::ReadAddress(TransactionRecord &record)
{
    ReadRegister(AddressRegister, record);
}

void TInverterKX100::ReadFreqRef(TransactionRecord &record)
{
    ReadRegister(ReadFreqRefRegister, record);
}

void TInverterKX100::ReadOutputFreq(TransactionRecord &record)
{
    ReadRegister(ReadOutputFreqRegister, record);
}

void TInverterKX100::ReadOutputVoltage(TransactionRecord &record)
{
    ReadRegister(ReadOutputVoltageRegister, record);
}

void TInverterKX100::ReadOutputCurrent(TransactionRecord &record)
{
    ReadRegister(ReadOutputCurrentRegister, record);
}

void TInverterKX100::WriteAddress(TransactionRecord &record)
{
    // Broadcast: every inverter on the line takes the new address.
    ModbusFrame::buildWrite(record, ModbusFrame::BroadcastAddress, AddressRegister,
                            uint16_t(Address));
    submit(record);
}

void TInverterKX100::Run(TransactionRecord &record)
{
    WriteRegister(RunCommand, record);
}

void TInverterKX100::Stop(TransactionRecord &record)
{
    WriteRegister(StopCommand, record);
}

void TInverterKX100::Forward(TransactionRecord &record)
{
    WriteRegister(ForwardCommand, record);
}

void TInverterKX100::RunReverse(TransactionRecord &record)
{
    WriteRegister(ReverseCommand, record);
}

void TInverterKX100::WriteFreqRef(TransactionRecord &record)
{
    WriteRegister(WriteFrequency, record);
}
