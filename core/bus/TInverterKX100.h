#pragma once

#include "bus/TInverterBase.h"

// KX100: Modbus RTU slave. Register 1 is the operation word (bit 0 run, bit 1 reverse),
// parameters "n001".."n108" live in registers 257..364.
class TInverterKX100 : public TInverterBase
{
public:
    // Command codes WriteRegister understands in place of a register number.
    enum Command : int {
        WriteOperation = 1, // the current Running/Reverse flags
        WriteFrequency = 2, // Value in hundredths of a hertz, sent in tenths
        RunCommand = 3,
        StopCommand = 4,
        ForwardCommand = 5,
        ReverseCommand = 6
    };
    static constexpr int OperationRegister = 1;
    static constexpr int FrequencyRegister = 2;
    static constexpr int AddressRegister = 362;
    static constexpr int CommitRegister = 2304;
    static constexpr int ParamBase = 256;
    // Entries 1..108 are the parameters; entry 0 belongs to no key.
    static constexpr int ParamCount = 109;

    explicit TInverterKX100(int slot);

    void SetDefaults() override;
    void SaveSetup(IniFile &ini, const QString &section) const override;
    void LoadSetup(const IniFile &ini, const QString &section) override;
    QString GetEditorClass() const override;
    void ReadRegister(int registerNumber, TransactionRecord &record) override;
    void WriteRegister(int registerOrCode, TransactionRecord &record) override;
    void SendCommit(TransactionRecord &record) override;
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
    void WriteFreqRef(TransactionRecord &record) override;

    const QList<int32_t> &Params() const override { return m_params; }

protected:
    QList<int32_t> *paramTable() override { return &m_params; }

private:
    void write(int registerNumber, int32_t value, TransactionRecord &record);

    QList<int32_t> m_params;
};
