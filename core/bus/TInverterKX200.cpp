#include "bus/TInverterKX200.h"

#include "bus/SlashFrame.h"
#include "params/ParameterSet.h"

namespace {
constexpr int FreqRefRegister = 1;
constexpr int OutputCurrentRegister = 2;
constexpr int OutputFreqRegister = 3;
constexpr int OutputVoltageRegister = 4;
} // namespace

TInverterKX200::TInverterKX200(int slot) : TInverterBase(slot), m_params(ParamCount, 0)
{
    TypeName = QStringLiteral("KX200");
    SetDefaults();
}

int TInverterKX200::ParamRegister(int index)
{
    return SlashFrame::ParamRegister(index);
}

int TInverterKX200::ParamIndex(int registerNumber)
{
    return SlashFrame::ParamIndex(registerNumber);
}

void TInverterKX200::SetDefaults()
{
    setParam(0, 0);
    applyDefaults(ParameterSet::forModel(QStringLiteral("KX200")));
}

void TInverterKX200::SaveSetup(IniFile &ini, const QString &section) const
{
    TInverterBase::SaveSetup(ini, section);
    saveParameters(ini, section, ParameterSet::forModel(QStringLiteral("KX200")));
}

void TInverterKX200::LoadSetup(const IniFile &ini, const QString &section)
{
    loadParameters(ini, section, ParameterSet::forModel(QStringLiteral("KX200")));
}

QString TInverterKX200::GetEditorClass() const
{
    return QStringLiteral("TKX200DnLdForm");
}

void TInverterKX200::ReadRegister(int registerNumber, TransactionRecord &record)
{
    SlashFrame::buildRead(record, uint8_t(Address), uint16_t(registerNumber));
    submit(record);
}

void TInverterKX200::WriteRegister(int registerOrCode, TransactionRecord &record)
{
    const int direction = Reverse ? ReverseBit : 0;
    switch (registerOrCode) {
    case RunCommand:
        write(StatusRegister, CommandBits | RunBit | direction, record);
        break;
    case StopCommand:
        write(StatusRegister, CommandBits | StopBit | direction, record);
        break;
    case ForwardCommand:
        write(StatusRegister, CommandBits | RunBit, record);
        break;
    case ReverseCommand:
        write(StatusRegister, CommandBits | RunBit | ReverseBit, record);
        break;
    case AuxCommandCode:
        write(StatusRegister, CommandBits | AuxBit, record);
        break;
    default:
        write(registerOrCode, record.Value, record);
        break;
    }
}

void TInverterKX200::write(int registerNumber, int32_t data, TransactionRecord &record)
{
    SlashFrame::buildWrite(record, uint8_t(Address), uint16_t(registerNumber),
                           uint16_t(data & 0xFFFF));
    submit(record);
}

void TInverterKX200::DecodeReply(const TransactionRecord &record)
{
    const auto reply = SlashFrame::takeApart(record, Address);
    if (!reply || reply->address != Address)
        return;
    switch (reply->letter) {
    case 'R':
    case 'r':
    case 'W':
    case 'w':
        break;
    default:
        return;
    }
    const int data = reply->data; // unsigned
    switch (reply->registerNumber) {
    case FreqRefRegister:
        FreqRef = float(data * 0.01);
        storeWord(1, data);
        return;
    case OutputCurrentRegister:
        OutputCurrent = float(data * 0.1);
        storeWord(2, data);
        return;
    case OutputFreqRegister:
        OutputFreq = float(data * 0.01);
        storeWord(3, data);
        return;
    case OutputVoltageRegister:
        OutputVoltage = float(data * 0.1);
        storeWord(4, data);
        return;
    case AddressRegister:
        storeWord(ParamIndex(AddressRegister), data);
        AddressConfirmed = data == reply->address;
        return;
    case StatusRegister:
        Running = (data & RunBit) != 0;
        Reverse = (data & ReverseBit) != 0;
        AuxFlag = (data & AuxBit) != 0;
        return;
    case FrequencyRegister:
        return;
    default:
        // Only registers that belong to a parameter are stored; a reply for any other
        // register must not overwrite an unrelated entry.
        if (SlashFrame::isParamRegister(reply->registerNumber))
            storeWord(ParamIndex(reply->registerNumber), data);
        return;
    }
}

void TInverterKX200::CheckReply(TransactionRecord &record) const
{
    record.Result = SlashFrame::checkReply(record);
}

int TInverterKX200::ReplyRegister(const TransactionRecord &record) const
{
    const auto reply = SlashFrame::takeApart(record, Address);
    return reply ? reply->registerNumber : -1;
}

void TInverterKX200::ReadAddress(TransactionRecord &record)
{
    ReadRegister(AddressRegister, record);
}

void TInverterKX200::ReadFreqRef(TransactionRecord &record)
{
    ReadRegister(FreqRefRegister, record);
}

void TInverterKX200::ReadOutputFreq(TransactionRecord &record)
{
    ReadRegister(OutputFreqRegister, record);
}

void TInverterKX200::ReadOutputVoltage(TransactionRecord &record)
{
    ReadRegister(OutputVoltageRegister, record);
}

void TInverterKX200::ReadOutputCurrent(TransactionRecord &record)
{
    ReadRegister(OutputCurrentRegister, record);
}

void TInverterKX200::WriteAddress(TransactionRecord &record)
{
    SlashFrame::buildBroadcastAddress(record, uint16_t(Address));
    submit(record);
}

void TInverterKX200::Run(TransactionRecord &record)
{
    WriteRegister(RunCommand, record);
}

void TInverterKX200::Stop(TransactionRecord &record)
{
    WriteRegister(StopCommand, record);
}

void TInverterKX200::Forward(TransactionRecord &record)
{
    WriteRegister(ForwardCommand, record);
}

void TInverterKX200::RunReverse(TransactionRecord &record)
{
    WriteRegister(ReverseCommand, record);
}

void TInverterKX200::AuxCommand(TransactionRecord &record)
{
    WriteRegister(AuxCommandCode, record);
}

void TInverterKX200::WriteFreqRef(TransactionRecord &record)
{
    // Hundredths of a hertz, unscaled.
    WriteRegister(FrequencyRegister, record);
}
