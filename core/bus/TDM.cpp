#include "bus/TDM.h"

#include "setup/IniFile.h"
#include "bus/TInverterBase.h"
#include "bus/TInverterKX100.h"
#include "bus/TInverterKX200.h"
#include "bus/TInverterKX300.h"
#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"

namespace {
QPointer<TDM> g_registry;
} // namespace

TDM *DM()
{
    return g_registry.data();
}

void SetDM(TDM *registry)
{
    g_registry = registry;
}

TDM::TDM(QObject *parent) : QObject(parent) {}

TDM::~TDM() = default;

QString TDM::SectionName(int slot)
{
    return QStringLiteral("  ПЧ     #") + QString::number(slot);
}

// --- slots -----------------------------------------------------------------------------

template <typename Create> bool TDM::install(int slot, Create create)
{
    if (!isValidSlot(slot))
        return false;
    // The old driver goes first, so at no time do two drivers claim the address.
    m_slots[slot].reset();
    ++m_generations[slot];
    m_slots[slot] = create(slot);
    return true;
}

bool TDM::CreateKX100(int slot)
{
    return install(slot, [](int s) { return std::make_unique<TInverterKX100>(s); });
}

bool TDM::CreateKX200(int slot)
{
    return install(slot, [](int s) { return std::make_unique<TInverterKX200>(s); });
}

bool TDM::CreateKX300(int slot)
{
    return install(slot, [](int s) { return std::make_unique<TInverterKX300>(s); });
}

void TDM::RemoveInverter(int slot)
{
    if (!isValidSlot(slot) || !m_slots[slot])
        return;
    m_slots[slot].reset();
    ++m_generations[slot];
}

std::unique_ptr<TInverterBase> TDM::TakeInverter(int slot)
{
    if (!isValidSlot(slot) || !m_slots[slot])
        return nullptr;
    ++m_generations[slot];
    return std::move(m_slots[slot]);
}

bool TDM::PutInverter(int slot, std::unique_ptr<TInverterBase> driver)
{
    if (!isValidSlot(slot))
        return false;
    if (!driver) {
        RemoveInverter(slot);
        return true;
    }
    return install(slot, [&driver](int) { return std::move(driver); });
}

bool TDM::HasInverter(int slot) const
{
    return driverAt(slot) != nullptr;
}

TInverterBase *TDM::GetInverter(int slot) const
{
    return driverAt(slot);
}

int TDM::AddressRegisterOf(const QString &typeName)
{
    if (typeName == QLatin1String("KX100"))
        return TInverterKX100::AddressRegister;
    if (typeName == QLatin1String("KX200"))
        return TInverterKX200::AddressRegister;
    if (typeName == QLatin1String("KX300"))
        return TInverterKX300::AddressRegister;
    return -1;
}

uint64_t TDM::slotGeneration(int slot) const
{
    return isValidSlot(slot) ? m_generations[slot] : 0;
}

TInverterBase *TDM::driverAt(int slot) const
{
    return isValidSlot(slot) ? m_slots[slot].get() : nullptr;
}

// --- per-slot queries ------------------------------------------------------------------

QString TDM::GetTypeName(int slot) const
{
    const TInverterBase *driver = driverAt(slot);
    return driver ? driver->GetTypeName() : QString();
}

QString TDM::GetEditorClass(int slot) const
{
    const TInverterBase *driver = driverAt(slot);
    return driver ? driver->GetEditorClass() : QString();
}

bool TDM::GetRunning(int slot) const
{
    const TInverterBase *driver = driverAt(slot);
    return driver && driver->GetRunning();
}

bool TDM::GetReverse(int slot) const
{
    const TInverterBase *driver = driverAt(slot);
    return driver && driver->GetReverse();
}

bool TDM::GetAuxFlag(int slot) const
{
    const TInverterBase *driver = driverAt(slot);
    return driver && driver->GetAuxFlag();
}

float TDM::GetFreqRef(int slot) const
{
    const TInverterBase *driver = driverAt(slot);
    return driver ? driver->GetFreqRef() : 0.0f;
}

float TDM::GetOutputFreq(int slot) const
{
    const TInverterBase *driver = driverAt(slot);
    return driver ? driver->GetOutputFreq() : 0.0f;
}

float TDM::GetOutputVoltage(int slot) const
{
    const TInverterBase *driver = driverAt(slot);
    return driver ? driver->GetOutputVoltage() : 0.0f;
}

float TDM::GetOutputCurrent(int slot) const
{
    const TInverterBase *driver = driverAt(slot);
    return driver ? driver->GetOutputCurrent() : 0.0f;
}

// --- per-transaction requests ----------------------------------------------------------

bool TDM::request(TransactionRecord &record,
                  const std::function<void(TInverterBase &, TransactionRecord &)> &build)
{
    TInverterBase *driver = driverAt(record.Slot);
    if (!driver)
        return false;
    // A builder that does nothing (an operation the model lacks) leaves the length at -1.
    record.TxLength = -1;
    // Stamped before the build: the driver submits a copy of the record from inside it.
    record.SlotGeneration = m_generations[record.Slot];
    build(*driver, record);
    if (record.TxLength < 1 || record.TxLength > TransactionRecord::FrameSize)
        return false;
    return true;
}

bool TDM::isCurrent(const TransactionRecord &record) const
{
    if (!isValidSlot(record.Slot))
        return false;
    // A request built outside the registry carries no generation: only the slot's occupancy
    // can be checked.
    return record.SlotGeneration == 0 || record.SlotGeneration == m_generations[record.Slot];
}

bool TDM::ReadRegister(int registerNumber, TransactionRecord &record)
{
    return request(record, [registerNumber](TInverterBase &d, TransactionRecord &r) {
        d.ReadRegister(registerNumber, r);
    });
}

bool TDM::WriteRegister(int registerOrCode, TransactionRecord &record)
{
    return request(record, [registerOrCode](TInverterBase &d, TransactionRecord &r) {
        d.WriteRegister(registerOrCode, r);
    });
}

bool TDM::SendCommit(TransactionRecord &record)
{
    return request(record, [](TInverterBase &d, TransactionRecord &r) { d.SendCommit(r); });
}

bool TDM::ReadAddress(TransactionRecord &record)
{
    return request(record, [](TInverterBase &d, TransactionRecord &r) { d.ReadAddress(r); });
}

bool TDM::ReadFreqRef(TransactionRecord &record)
{
    return request(record, [](TInverterBase &d, TransactionRecord &r) { d.ReadFreqRef(r); });
}

bool TDM::ReadOutputFreq(TransactionRecord &record)
{
    return request(record, [](TInverterBase &d, TransactionRecord &r) { d.ReadOutputFreq(r); });
}

bool TDM::ReadOutputVoltage(TransactionRecord &record)
{
    return request(record, [](TInverterBase &d, TransactionRecord &r) { d.ReadOutputVoltage(r); });
}

bool TDM::ReadOutputCurrent(TransactionRecord &record)
{
    return request(record, [](TInverterBase &d, TransactionRecord &r) { d.ReadOutputCurrent(r); });
}

bool TDM::WriteAddress(TransactionRecord &record)
{
    return request(record, [](TInverterBase &d, TransactionRecord &r) { d.WriteAddress(r); });
}

bool TDM::Run(TransactionRecord &record)
{
    return request(record, [](TInverterBase &d, TransactionRecord &r) { d.Run(r); });
}

bool TDM::Stop(TransactionRecord &record)
{
    return request(record, [](TInverterBase &d, TransactionRecord &r) { d.Stop(r); });
}

bool TDM::Forward(TransactionRecord &record)
{
    return request(record, [](TInverterBase &d, TransactionRecord &r) { d.Forward(r); });
}

bool TDM::RunReverse(TransactionRecord &record)
{
    return request(record, [](TInverterBase &d, TransactionRecord &r) { d.RunReverse(r); });
}

bool TDM::AuxCommand(TransactionRecord &record)
{
    return request(record, [](TInverterBase &d, TransactionRecord &r) { d.AuxCommand(r); });
}

bool TDM::WriteFreqRef(TransactionRecord &record)
{
    return request(record, [](TInverterBase &d, TransactionRecord &r) { d.WriteFreqRef(r); });
}

// --- completions -----------------------------------------------------------------------

void TDM::ProcessReply(TransactionRecord &record)
{
    const bool current = isCurrent(record);
    if (record.Result == TransactionResult::TimeOut)
        return;
    TInverterBase *driver = current ? driverAt(record.Slot) : nullptr;
    if (!driver) {
        // The driver that sent the request is gone: nobody can check this reply.
        record.Result = TransactionResult::CommError;
        return;
    }
    driver->CheckReply(record);
    if (record.Result == TransactionResult::Ok)
        driver->DecodeReply(record);
}

// --- notifications ---------------------------------------------------------------------

void TDM::NotifyChildren(uint32_t message, qintptr wParam, qintptr lParam) const
{
    if (!m_children)
        return;
    for (QObject *child : m_children())
        PostMessage(child, message, wParam, lParam);
}

void TDM::NotifyChildren(int slot, int state) const
{
    if (!isValidSlot(slot))
        return;
    NotifyChildren(Msg::InverterState, 0, (qintptr(slot) << 16) + state);
}

// --- setup file ------------------------------------------------------------------------

void TDM::SaveInverters(IniFile &ini) const
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        const QString section = SectionName(slot);
        ini.eraseSection(section);
        if (const TInverterBase *driver = m_slots[slot].get()) {
            ini.writeString(section, QStringLiteral("Enable"), QStringLiteral("true"));
            driver->SaveSetup(ini, section);
        } else {
            ini.writeString(section, QStringLiteral("Enable"), QStringLiteral("false"));
        }
    }
}

QStringList TDM::LoadInverters(const IniFile &ini)
{
    QStringList duplicates;
    for (int slot = 0; slot < SlotCount; ++slot) {
        const QString section = SectionName(slot);
        for (const QString &duplicate : ini.duplicates(section))
            duplicates.append(QStringLiteral("ПЧ #%1: %2").arg(slot).arg(duplicate));
        // Only the exact text "true" marks a present inverter; other slots are left alone.
        if (ini.readString(section, QStringLiteral("Enable"), QStringLiteral("false")) !=
            QStringLiteral("true"))
            continue;
        const QString typeName = ini.readString(section, QStringLiteral("TypeName"));
        if (typeName == QStringLiteral("KX200"))
            CreateKX200(slot);
        else if (typeName == QStringLiteral("KX100"))
            CreateKX100(slot);
        else
            CreateKX300(slot);
        m_slots[slot]->LoadSetup(ini, section);
    }
    return duplicates;
}
