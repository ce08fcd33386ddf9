#pragma once

#include "serial/TransactionRecord.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class IniFile;
class TInverterBase;

// The inverter registry: 32 slots indexed by bus address, each empty or owning one driver.
// Every other part reaches a driver through here, by slot index or by the Slot of a
// transaction record. Slot numbers outside 0..31 are refused, and every operation on an
// empty slot does nothing (queries answer false, 0 or an empty text).
//
// Each slot has a generation that changes whenever its driver is created or removed. A request
// built through the registry remembers the generation it was built for, and ProcessReply drops
// the completion (Result 3) when the slot has been emptied or refilled since, so a reply never
// reaches a driver that did not send the request.
class TDM : public QObject
{
    Q_OBJECT

public:
    static constexpr int SlotCount = 32;

    explicit TDM(QObject *parent = nullptr);
    ~TDM() override;

    static bool isValidSlot(int slot) { return slot >= 0 && slot < SlotCount; }
    // The register holding a model's own bus address; -1 for an unknown model name.
    static int AddressRegisterOf(const QString &typeName);
    // Section of a slot in a setup file: "  ПЧ     #" and the slot number.
    static QString SectionName(int slot);

    // Slot management. The Create functions replace whatever driver the slot held by a new
    // one with factory defaults; false for a slot outside 0..31.
    bool CreateKX100(int slot);
    bool CreateKX200(int slot);
    bool CreateKX300(int slot);
    void RemoveInverter(int slot);
    // Takes the slot's driver out, leaving the slot empty, and puts a driver back into its
    // slot (null empties the slot). Detection keeps the driver it replaces this way, to give
    // it back with its parameter set when it cannot finish.
    std::unique_ptr<TInverterBase> TakeInverter(int slot);
    bool PutInverter(int slot, std::unique_ptr<TInverterBase> driver);
    bool HasInverter(int slot) const;
    // The slot's driver, or null; valid only until the slot changes.
    TInverterBase *GetInverter(int slot) const;
    // Changes whenever the slot's driver is created or removed.
    uint64_t slotGeneration(int slot) const;

    // Per-slot queries.
    QString GetTypeName(int slot) const;
    QString GetEditorClass(int slot) const;
    bool GetRunning(int slot) const;
    bool GetReverse(int slot) const;
    bool GetAuxFlag(int slot) const;
    float GetFreqRef(int slot) const;
    float GetOutputFreq(int slot) const;
    float GetOutputVoltage(int slot) const;
    float GetOutputCurrent(int slot) const;

    // Per-transaction requests on the driver of record.Slot: the driver builds the request
    // into the record and submits it. True when a request was submitted; false (nothing sent,
    // no completion will come) for an empty or invalid slot or an operation the model lacks.
    bool ReadRegister(int registerNumber, TransactionRecord &record);
    bool WriteRegister(int registerOrCode, TransactionRecord &record);
    bool SendCommit(TransactionRecord &record);
    bool ReadAddress(TransactionRecord &record);
    bool ReadFreqRef(TransactionRecord &record);
    bool ReadOutputFreq(TransactionRecord &record);
    bool ReadOutputVoltage(TransactionRecord &record);
    bool ReadOutputCurrent(TransactionRecord &record);
    bool WriteAddress(TransactionRecord &record);
    bool Run(TransactionRecord &record);
    bool Stop(TransactionRecord &record);
    bool Forward(TransactionRecord &record);
    bool RunReverse(TransactionRecord &record);
    bool AuxCommand(TransactionRecord &record);
    bool WriteFreqRef(TransactionRecord &record);

    // Finishes a completed record: a time-out (Result 1) stays as it is; otherwise the slot's
    // driver checks the reply and, when it is valid, decodes it. A record whose slot is
    // invalid, empty, or refilled since the request was built gets Result 3 and touches no
    // driver.
    void ProcessReply(TransactionRecord &record);

    // Posts a message to every child window the provider lists, in its order.
    using ChildrenProvider = std::function<QList<QObject *>()>;
    void setChildrenProvider(ChildrenProvider provider) { m_children = std::move(provider); }
    void NotifyChildren(uint32_t message, qintptr wParam, qintptr lParam) const;
    // The inverter state notification: Msg::InverterState with lParam (slot << 16) + state.
    void NotifyChildren(int slot, int state) const;

    // The inverter list of a setup file: one section per slot.
    void SaveInverters(IniFile &ini) const;
    // Returns what the sections hold twice ("ПЧ #2: key n003 twice"; the first is read), for
    // the caller to name.
    QStringList LoadInverters(const IniFile &ini);

private:
    template <typename Create> bool install(int slot, Create create);
    TInverterBase *driverAt(int slot) const;
    bool request(TransactionRecord &record,
                 const std::function<void(TInverterBase &, TransactionRecord &)> &build);
    // False when the record's slot is invalid or its driver has changed since the request
    // was built.
    bool isCurrent(const TransactionRecord &record) const;

    std::array<std::unique_ptr<TInverterBase>, SlotCount> m_slots;
    std::array<uint64_t, SlotCount> m_generations{};
    ChildrenProvider m_children;
};

// The running registry (the one of the bus host), or null. Windows recreated from a setup file
// by class name reach their inverters through it.
TDM *DM();
void SetDM(TDM *registry);
