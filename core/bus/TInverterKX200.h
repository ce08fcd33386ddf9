#pragma once

#include "bus/TInverterBase.h"

// KX200: slash-frame protocol. Register 0xFA00 is the operation/status word, 0xFA01 the
// frequency reference; registers 1..4 are both readouts and parameters "CD01".."CD04".
class TInverterKX200 : public TInverterBase
{
public:
    // Command codes WriteRegister understands in place of a register number.
    enum Command : int {
        RunCommand = 64005,
        StopCommand = 64006,
        ForwardCommand = 64007,
        ReverseCommand = 64008,
        AuxCommandCode = 64009
    };
    static constexpr int StatusRegister = 0xFA00;
    static constexpr int FrequencyRegister = 0xFA01;
    static constexpr int AddressRegister = 0x0802;
    // Operation/status word bits.
    static constexpr int CommandBits = 0xC000;
    static constexpr int StopBit = 0x1000;
    static constexpr int RunBit = 0x0400;
    static constexpr int ReverseBit = 0x0200;
    static constexpr int AuxBit = 0x0100;
    // Entries 1..49 are the parameters "CD01".."CD49"; entry 0 is never saved.
    static constexpr int ParamCount = 50;

    explicit TInverterKX200(int slot);

    // Parameter index <-> register (the parameter number's digits read as hexadecimal).
    static int ParamRegister(int index);
    static int ParamIndex(int registerNumber);

    void SetDefaults() override;
    void SaveSetup(IniFile &ini, const QString &section) const override;
    void LoadSetup(const IniFile &ini, const QString &section) override;
    QString GetEditorClass() const override;
    void ReadRegister(int registerNumber, TransactionRecord &record) override;
    void WriteRegister(int registerOrCode, TransactionRecord &record) override;
    void DecodeReply(const TransactionRecord &record) override;
    void CheckReply(TransactionRecord &record) const override;
    int ReplyRegister(const TransactionRecord &record) const override;
    void ReadAddress(TransactionRecord &record) override;
    void ReadFreqRef(TransactionRecord &record) override;
    void ReadOutputFreq(TransactionRecord &record) override;
    void ReadOutputVoltage(TransactionRecord &record) override;
    void ReadOutputCurrent(TransactionRecord &record) override;
    void WriteAddress(TransactionRecord &record) override;
    void Run(TransactionRecord &record) override;
    void Stop(TransactionRecord &record) override;
    void Forward(TransactionRecord &record) override;
    void RunReverse(TransactionRecord &record) override;
    void AuxCommand(TransactionRecord &record) override;
    void WriteFreqRef(TransactionRecord &record) override;

    const QList<int32_t> &Params() const override { return m_params; }

protected:
    QList<int32_t> *paramTable() override { return &m_params; }

private:
    void write(int registerNumber, int32_t data, TransactionRecord &record);

    QList<int32_t> m_params;
};
