#pragma once

#include "serial/TransactionRecord.h"

#include <QList>
#include <QSet>
#include <QString>

#include <cstdint>

class IniFile;
class ParameterSet;

// One inverter on the bus: its address, the status flags and readouts decoded from its
// replies, and its parameter table. The 30 virtual operations keep a fixed slot order so the
// registry and the windows can serve every model alike. The base answers every protocol
// operation by doing nothing; each model's subclass builds its own frames.
//
// Request builders (ReadRegister, WriteRegister, SendCommit and ReadAddress..WriteFreqRef)
// fill TxFrame and TxLength of the caller's record and submit a copy of it to MainWindow()
// with Msg::Submit; the caller keeps its own record.
class TInverterBase
{
public:
    explicit TInverterBase(int slot = 0);
    virtual ~TInverterBase();

    TInverterBase(const TInverterBase &) = delete;
    TInverterBase &operator=(const TInverterBase &) = delete;

    // Slot 0..31; also the bus address the driver talks to.
    int32_t Address = 0;
    bool AddressConfirmed = false;
    bool Running = false;
    bool Reverse = false;
    bool AuxFlag = false;
    float FreqRef = 0.0f;       // Hz
    float OutputFreq = 0.0f;    // Hz
    float OutputVoltage = 0.0f; // V
    float OutputCurrent = 0.0f; // A
    QString TypeName;           // "KX100", "KX200" or "KX300"

    // 0: loads the factory defaults into the parameter table.
    virtual void SetDefaults();
    // 1: writes "TypeName" (the base) and the model's parameter keys into the section.
    virtual void SaveSetup(IniFile &ini, const QString &section) const;
    // 2: reads the model's parameter keys; a missing or unreadable value gives the default.
    virtual void LoadSetup(const IniFile &ini, const QString &section);
    // 3
    virtual QString GetTypeName() const;
    // 4: class name of the model's parameter window, e.g. "TKX100DnLdForm".
    virtual QString GetEditorClass() const;
    // 5..11: the last decoded flags and readouts.
    virtual bool GetRunning() const;
    virtual bool GetReverse() const;
    virtual bool GetAuxFlag() const;
    virtual float GetFreqRef() const;
    virtual float GetOutputFreq() const;
    virtual float GetOutputVoltage() const;
    virtual float GetOutputCurrent() const;
    // 12: read one register (16-bit register number).
    virtual void ReadRegister(int registerNumber, TransactionRecord &record);
    // 13: write record.Value to a register, or perform a model command code.
    virtual void WriteRegister(int registerOrCode, TransactionRecord &record);
    // 14: makes written parameters take effect (models without one do nothing).
    virtual void SendCommit(TransactionRecord &record);
    // 15: stores what a validated reply carried (call only when Result is 0).
    virtual void DecodeReply(const TransactionRecord &record);
    // 16: sets record.Result to 0 (valid), 2 (inverter error) or 3 (communication error).
    virtual void CheckReply(TransactionRecord &record) const;
    // 17: the register a validated reply refers to; -1 when it names none.
    virtual int ReplyRegister(const TransactionRecord &record) const;
    // 18..23
    virtual void ReadAddress(TransactionRecord &record);
    virtual void ReadFreqRef(TransactionRecord &record);
    virtual void ReadOutputFreq(TransactionRecord &record);
    virtual void ReadOutputVoltage(TransactionRecord &record);
    virtual void ReadOutputCurrent(TransactionRecord &record);
    // Broadcast write giving the inverter the address Address.
    virtual void WriteAddress(TransactionRecord &record);
    // 24..28: motor commands.
    virtual void Run(TransactionRecord &record);
    virtual void Stop(TransactionRecord &record);
    virtual void Forward(TransactionRecord &record);
    virtual void RunReverse(TransactionRecord &record);
    virtual void AuxCommand(TransactionRecord &record);
    // 29: record.Value holds the frequency reference in hundredths of a hertz.
    virtual void WriteFreqRef(TransactionRecord &record);

    // The parameter table in register units (empty for the base). Its size is fixed by the
    // model; entries are changed only through setParam, which refuses indexes outside it.
    virtual const QList<int32_t> &Params() const;
    int paramCount() const { return int(Params().size()); }
    // The entry at index, or 0 for an index outside the table.
    int32_t param(int index) const;
    // Stores value at index, which then counts as read; false (nothing changed) for an index
    // outside the table.
    bool setParam(int index, int32_t value);
    // Entries whose last read failed, or that a loaded section named in "Incomplete": they
    // hold no value of the drive. A save leaves their keys out and names them there again.
    void markUnread(int index);
    bool isUnread(int index) const { return m_unread.contains(index); }
    QList<int> unreadEntries() const;

protected:
    // The writable table behind Params(); null for the base.
    virtual QList<int32_t> *paramTable();
    // Hands a copy of the built request to the transaction engine.
    static void submit(const TransactionRecord &record);

    // The model's parameter set applied to the table: factory defaults, setup-file keys in
    // table order. Rows whose index lies outside the table are passed over.
    void applyDefaults(const ParameterSet &set);
    void saveParameters(IniFile &ini, const QString &section, const ParameterSet &set) const;
    void loadParameters(const IniFile &ini, const QString &section, const ParameterSet &set);
    // A read word stored in the signedness of the entry's row.
    void storeWord(int index, int word);

private:
    QSet<int> m_unread;
};
