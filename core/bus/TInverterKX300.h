#pragma once

#include "bus/TInverterBase.h"

// KX300 family: Modbus RTU slave whose parameter table is indexed by register number.
// Register 0 is the operation word (1 forward, 2 reverse, 0 stop), register 1 the
// frequency reference in hundredths of a hertz.
class TInverterKX300 : public TInverterBase
{
public:
    // Command codes WriteRegister understands in place of a register number.
    enum Command : int {
        WriteOperation = 0, // the current Running/Reverse flags
        RunCommand = 3,
        StopCommand = 4,
        ForwardCommand = 5,
        ReverseCommand = 6
    };
    static constexpr int OperationRegister = 0;
    static constexpr int FrequencyRegister = 1;
    static constexpr int AddressRegister = 1052;
    static constexpr int CommitRegister = 65533;
    // Entry r holds register r.
    static constexpr int ParamCount = 1296;

    explicit TInverterKX300(int slot);

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
