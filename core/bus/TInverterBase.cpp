#include "bus/TInverterBase.h"

#include "setup/IniFile.h"
#include "params/ParameterSection.h"
#include "params/ParameterSet.h"
#include "params/ParameterValue.h"
#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"

#include <algorithm>
#include <memory>

TInverterBase::TInverterBase(int slot) : Address(slot) {}

TInverterBase::~TInverterBase() = default;

void TInverterBase::SetDefaults() {}

void TInverterBase::SaveSetup(IniFile &ini, const QString &section) const
{
    ini.writeString(section, QStringLiteral("TypeName"), TypeName);
}

void TInverterBase::LoadSetup(const IniFile &, const QString &) {}

QString TInverterBase::GetTypeName() const
{
    return TypeName;
}

QString TInverterBase::GetEditorClass() const
{
    return QStringLiteral("TKX100DnLdForm");
}

bool TInverterBase::GetRunning() const
{
    return Running;
}

bool TInverterBase::GetReverse() const
{
    return Reverse;
}

bool TInverterBase::GetAuxFlag() const
{
    return AuxFlag;
}

float TInverterBase::GetFreqRef() const
{
    return FreqRef;
}

float TInverterBase::GetOutputFreq() const
{
    return OutputFreq;
}

float TInverterBase::GetOutputVoltage() const
{
    return OutputVoltage;
}

float TInverterBase::GetOutputCurrent() const
{
    return OutputCurrent;
}

void TInverterBase::ReadRegister(int, TransactionRecord &) {}
void TInverterBase::WriteRegister(int, TransactionRecord &) {}
void TInverterBase::SendCommit(TransactionRecord &) {}
void TInverterBase::DecodeReply(const TransactionRecord &) {}
void TInverterBase::CheckReply(TransactionRecord &) const {}

int TInverterBase::ReplyRegister(const TransactionRecord &) const
{
    return -1;
}

void TInverterBase::ReadAddress(TransactionRecord &) {}
void TInverterBase::ReadFreqRef(TransactionRecord &) {}
void TInverterBase::ReadOutputFreq(TransactionRecord &) {}
void TInverterBase::ReadOutputVoltage(TransactionRecord &) {}
void TInverterBase::ReadOutputCurrent(TransactionRecord &) {}
void TInverterBase::WriteAddress(TransactionRecord &) {}
void TInverterBase::Run(TransactionRecord &) {}
void TInverterBase::Stop(TransactionRecord &) {}
void TInverterBase::Forward(TransactionRecord &) {}
void TInverterBase::RunReverse(TransactionRecord &) {}
void TInverterBase::AuxCommand(TransactionRecord &) {}
void TInverterBase::WriteFreqRef(TransactionRecord &) {}

const QList<int32_t> &TInverterBase::Params() const
{
    static const QList<int32_t> empty;
    return empty;
}

int32_t TInverterBase::param(int index) const
{
    const QList<int32_t> &table = Params();
    return (index >= 0 && index < table.size()) ? table[index] : 0;
}

bool TInverterBase::setParam(int index, int32_t value)
{
    QList<int32_t> *table = paramTable();
    if (!table || index < 0 || index >= table->size())
        return false;
    (*table)[index] = value;
    m_unread.remove(index);
    return true;
}

void TInverterBase::markUnread(int index)
{
    if (index >= 0 && index < paramCount())
        m_unread.insert(index);
}

QList<int> TInverterBase::unreadEntries() const
{
    QList<int> entries(m_unread.begin(), m_unread.end());
    std::sort(entries.begin(), entries.end());
    return entries;
}

void TInverterBase::storeWord(int index, int word)
{
    setParam(index, ParameterValue::fromWord(GetTypeName(), index, uint16_t(word & 0xFFFF)));
}

QList<int32_t> *TInverterBase::paramTable()
{
    return nullptr;
}

void TInverterBase::submit(const TransactionRecord &record)
{
    SendMessage(MainWindow(), Msg::Submit, 0, 0, std::make_shared<TransactionRecord>(record));
}

void TInverterBase::applyDefaults(const ParameterSet &set)
{
    for (const ParameterDef &def : set.rows())
        setParam(def.index, def.defaultValue);
}

void TInverterBase::saveParameters(IniFile &ini, const QString &section,
                                   const ParameterSet &set) const
{
    // A value that was not read is no value of the drive: its key is left out and named.
    QStringList unread;
    for (const ParameterDef &def : set.rows()) {
        if (isUnread(def.index)) {
            ini.deleteKey(section, def.key);
            unread.append(def.key);
        } else {
            ini.writeInteger(section, def.key, param(def.index));
        }
    }
    ini.deleteKey(section, ParameterSection::IncompleteKey);
    if (!unread.isEmpty())
        ini.writeString(section, ParameterSection::IncompleteKey, unread.join(QLatin1Char(',')));
}

void TInverterBase::loadParameters(const IniFile &ini, const QString &section,
                                   const ParameterSet &set)
{
    const QStringList incomplete = ini.readString(section, ParameterSection::IncompleteKey)
                                       .split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const ParameterDef &def : set.rows()) {
        setParam(def.index, ini.readInteger(section, def.key, def.defaultValue));
        for (const QString &key : incomplete) {
            if (key.trimmed().compare(def.key, Qt::CaseInsensitive) == 0)
                markUnread(def.index);
        }
    }
}
