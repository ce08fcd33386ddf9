#include "params/ParameterTransfer.h"

#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "params/ParameterRowTable.h"
#include "params/ParameterSet.h"
#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"

#include <QCoreApplication>

QString ParameterTransfer::Plan::check() const
{
    if (rows.isEmpty())
        return QStringLiteral("no parameters");
    if (paramIndexes.size() != rows.size())
        return QStringLiteral("%1 table entries for %2 rows")
            .arg(paramIndexes.size())
            .arg(rows.size());
    if (!defaults.isEmpty() && defaults.size() != rows.size())
        return QStringLiteral("%1 defaults for %2 rows").arg(defaults.size()).arg(rows.size());
    for (int entry : downloadSkip) {
        if (entry < 0 || entry >= rows.size())
            return QStringLiteral("skipped entry %1 is no entry").arg(entry);
    }
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].index != i)
            return QStringLiteral("row %1 carries entry %2").arg(i).arg(rows[i].index);
        if (paramIndexes[i] < 0)
            return QStringLiteral("row %1 has no table entry").arg(rows[i].code);
    }
    return {};
}

ParameterTransfer::Plan ParameterTransfer::makePlan(const ParameterRowTable &table,
                                                    const ParameterSet &set, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return Plan{};
    };
    if (table.isEmpty())
        return fail(QStringLiteral("no parameter rows: ") + table.errorString());
    if (set.isEmpty())
        return fail(QStringLiteral("no parameter set for ") + table.model());

    Plan plan;
    plan.model = table.model();
    const bool ownDefaults = table.hasDefaults();
    for (const ParameterRow &row : table.rows()) {
        const ParameterDef *def = set.findKey(row.key);
        if (!def)
            return fail(QStringLiteral("%1 (key %2) is not in the %3 parameter set")
                            .arg(row.code, row.key, plan.model));
        if (def->registerNumber != row.registerNumber)
            return fail(QStringLiteral("%1: register %2 in the rows, %3 in the parameter set")
                            .arg(row.code)
                            .arg(row.registerNumber)
                            .arg(def->registerNumber));
        if (row.registerNumber == TDM::AddressRegisterOf(plan.model))
            plan.addressEntry = int(plan.rows.size());
        plan.rows.append(row);
        plan.paramIndexes.append(def->index);
        plan.defaults.append(ownDefaults ? *row.defaultValue : def->defaultValue);
    }
    if (const QString why = plan.check(); !why.isEmpty())
        return fail(why);
    if (error)
        error->clear();
    return plan;
}

int ParameterTransfer::slotFromCaption(const QString &caption, int prefixLength)
{
    int slot = 0;
    for (int i = std::max(prefixLength, 0); i < caption.size() && caption[i].isDigit(); ++i) {
        const int digit = caption[i].digitValue();
        if (digit < 0)
            break;
        slot = slot * 10 + digit;
        if (slot >= TDM::SlotCount)
            return -1;
    }
    return slot;
}

ParameterTransfer::ParameterTransfer(Plan plan, QObject *parent)
    : QObject(parent), m_plan(std::move(plan))
{
    if (!m_plan.check().isEmpty())
        m_plan = Plan{};
    m_values.resize(m_plan.count());
    if (m_plan.count() > 0 && m_plan.defaults.size() == m_plan.count()) {
        for (int i = 0; i < m_plan.count(); ++i)
            m_values[i] = ParameterField::show(m_plan.rows[i], m_plan.defaults[i]).value;
    }
}

void ParameterTransfer::setRegistry(TDM *registry)
{
    m_registry = registry;
}

TDM *ParameterTransfer::registry() const
{
    return m_registry ? m_registry.data() : DM();
}

bool ParameterTransfer::setSlot(int slot)
{
    if (isBusy())
        return false;
    m_slot = slot;
    return true;
}

bool ParameterTransfer::canDefault() const
{
    return !isBusy() && !m_plan.uploadOnly && m_plan.count() > 0 &&
           m_plan.defaults.size() == m_plan.count();
}

ParameterField::Shown ParameterTransfer::shown(int entry) const
{
    return ParameterField::show(m_plan.rows.at(entry), m_values.at(entry));
}

TInverterBase *ParameterTransfer::driver(QString *why) const
{
    const auto refuse = [why](const QString &text) -> TInverterBase * {
        if (why)
            *why = text;
        return nullptr;
    };
    if (m_plan.count() == 0)
        return refuse(QStringLiteral("No parameter table"));
    if (!TDM::isValidSlot(m_slot))
        return refuse(QStringLiteral("No bus address 0..31 in the window caption"));
    TDM *dm = registry();
    TInverterBase *inverter = dm ? dm->GetInverter(m_slot) : nullptr;
    if (!inverter)
        return refuse(QStringLiteral("No inverter at address %1").arg(m_slot));
    if (inverter->GetTypeName() != m_plan.model)
        return refuse(QStringLiteral("The inverter at address %1 is a %2, not a %3")
                          .arg(m_slot)
                          .arg(inverter->GetTypeName(), m_plan.model));
    return inverter;
}

void ParameterTransfer::setStatus(const QString &text)
{
    m_status = text;
    emit statusChanged(text);
}

void ParameterTransfer::setModified(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    emit stateChanged();
}

bool ParameterTransfer::Load()
{
    return load(true);
}

bool ParameterTransfer::LoadAsStored()
{
    return load(false);
}

bool ParameterTransfer::load(bool clamp)
{
    if (isBusy())
        return false;
    QString why;
    const TInverterBase *inverter = driver(&why);
    if (!inverter) {
        setStatus(why + QStringLiteral(": nothing loaded"));
        return false;
    }
    m_unread.clear();
    for (int i = 0; i < m_plan.count(); ++i) {
        const int32_t stored = inverter->param(m_plan.paramIndexes[i]);
        m_values[i] = clamp ? ParameterField::show(m_plan.rows[i], stored).value : stored;
        if (inverter->isUnread(m_plan.paramIndexes[i]))
            m_unread.insert(i);
    }
    emit valuesShown();
    m_modified = false;
    emit stateChanged();
    return true;
}

bool ParameterTransfer::applyDefaults()
{
    if (!canDefault())
        return false;
    for (int i = 0; i < m_plan.count(); ++i)
        m_values[i] = ParameterField::show(m_plan.rows[i], m_plan.defaults[i]).value;
    m_unread.clear();
    keepAddressAndMarkModified();
    return true;
}

void ParameterTransfer::keepAddressAndMarkModified()
{
    // The bus address stays the window's slot: a downloaded other address would take the
    // inverter off the bus in the middle of the download.
    if (m_plan.addressEntry >= 0 && TDM::isValidSlot(m_slot))
        m_values[m_plan.addressEntry] = m_slot;
    emit valuesShown();
    m_modified = true;
    emit stateChanged();
}

bool ParameterTransfer::takeValues(const QList<std::optional<int32_t>> &values)
{
    if (!canEdit())
        return false;
    for (int i = 0; i < m_plan.count() && i < values.size(); ++i) {
        if (values[i]) {
            m_values[i] = ParameterField::show(m_plan.rows[i], *values[i]).value;
            m_unread.remove(i);
        }
    }
    keepAddressAndMarkModified();
    return true;
}

bool ParameterTransfer::selectItem(int entry, int item)
{
    if (!canEdit() || entry < 0 || entry >= m_plan.count())
        return false;
    const ParameterRow &r = m_plan.rows[entry];
    if (!r.isList() || !r.isEditable() || r.firstItemOnly || item < 0 || item >= r.items.size())
        return false;
    m_values[entry] = item;
    m_unread.remove(entry);
    m_modified = true;
    emit stateChanged();
    return true;
}

ParameterField::Edited ParameterTransfer::editText(int entry, const QString &text)
{
    if (!canEdit() || entry < 0 || entry >= m_plan.count() || !m_plan.rows[entry].isNumeric() ||
        !m_plan.rows[entry].isEditable()) {
        // Nothing changes: the field goes back to what it showed.
        ParameterField::Edited unchanged;
        if (entry >= 0 && entry < m_plan.count()) {
            unchanged.value = m_values[entry];
            unchanged.corrected = true;
            unchanged.correctedText = shown(entry).text;
        }
        return unchanged;
    }
    const ParameterField::Edited edited = ParameterField::edit(m_plan.rows[entry], text);
    m_values[entry] = edited.value;
    m_unread.remove(entry);
    m_modified = true;
    emit stateChanged();
    return edited;
}

// --- transfers -------------------------------------------------------------------------

bool ParameterTransfer::startUpload()
{
    if (isBusy())
        return false;
    QString why;
    if (!driver(&why)) {
        setStatus(why + QStringLiteral(": nothing read"));
        return false;
    }
    begin(State::Uploading);
    return true;
}

bool ParameterTransfer::startDownload()
{
    if (isBusy() || m_plan.uploadOnly)
        return false;
    QString why;
    if (!driver(&why)) {
        setStatus(why + QStringLiteral(": nothing written"));
        return false;
    }
    begin(State::Downloading);
    return true;
}

void ParameterTransfer::begin(State state)
{
    m_state = state;
    m_index = -1;
    m_commitPending = false;
    m_attempted = 0;
    m_failed.clear();
    m_refused.clear();
    m_notRead.clear();
    m_awaiting = false;
    m_generation = registry() ? registry()->slotGeneration(m_slot) : 0;
    emit stateChanged();
    step();
}

void ParameterTransfer::step()
{
    while (isBusy()) {
        if (m_state == State::Uploading ? uploadRequest() : downloadRequest())
            return;
    }
}

// One upload step: true when a read is in flight; false when the step is done without one
// (the read could not be issued, or the end was reached).
bool ParameterTransfer::uploadRequest()
{
    if (!sameDriver()) {
        abandon();
        return false;
    }
    ++m_index;
    if (m_index >= m_plan.count()) {
        finish();
        return false;
    }
    ++m_attempted;
    m_progressPosition = m_index + 1;
    const QString text = QStringLiteral("UpLoad: %1 / %2").arg(m_index + 1).arg(m_plan.count());
    emit progressChanged(m_progressPosition, m_plan.count(), text);
    setStatus(text);

    TransactionRecord record;
    InitTransaction(record, m_notifyTarget ? m_notifyTarget.data() : this, Msg::UploadStep, 0,
                    m_slot);
    TDM *dm = registry();
    if (dm && dm->ReadRegister(m_plan.rows[m_index].registerNumber, record)) {
        m_awaiting = true;
        m_awaitedMessage = Msg::UploadStep;
        m_awaitedRequest =
            QByteArray(reinterpret_cast<const char *>(record.TxFrame), record.TxLength);
        return true;
    }
    markFailed(m_index);
    return false;
}

bool ParameterTransfer::downloadRequest()
{
    // Another driver in the slot would send these values in its own model's frames.
    if (!sameDriver()) {
        abandon();
        return false;
    }
    TransactionRecord record;
    QObject *target = m_notifyTarget ? m_notifyTarget.data() : this;
    TDM *dm = registry();
    if (m_commitPending) {
        // The commit makes the parameter just written take effect.
        m_commitPending = false;
        InitTransaction(record, target, Msg::DownloadStep, m_values[m_index], m_slot);
        if (dm && dm->SendCommit(record)) {
            m_awaiting = true;
            m_awaitedMessage = Msg::DownloadStep;
            m_awaitedRequest =
                QByteArray(reinterpret_cast<const char *>(record.TxFrame), record.TxLength);
            return true;
        }
        markFailed(m_index);
        return false;
    }

    ++m_index;
    if (m_index >= m_plan.count()) {
        finish();
        return false;
    }
    if (m_plan.downloadSkip.contains(m_index))
        return false;
    ++m_attempted;
    m_progressPosition = m_index + 1;
    const QString text = QStringLiteral("DownLoad: %1 / %2").arg(m_index + 1).arg(m_plan.count());
    emit progressChanged(m_progressPosition, m_plan.count(), text);
    setStatus(text);

    // A field that holds no value of the drive would send a made-up one.
    if (m_unread.contains(m_index)) {
        m_notRead.append(m_index);
        markFailed(m_index);
        return false;
    }
    // A value the register cannot carry would arrive cut to its low 16 bits: a different
    // value. It is not sent and is named in the outcome.
    if (!ParameterRow::fitsRegister(m_values[m_index])) {
        m_refused.append(m_index);
        markFailed(m_index);
        return false;
    }
    InitTransaction(record, target, Msg::DownloadStep, m_values[m_index], m_slot);
    if (dm && dm->WriteRegister(m_plan.rows[m_index].registerNumber, record)) {
        m_commitPending = m_plan.commitAfterWrite;
        m_awaiting = true;
        m_awaitedMessage = Msg::DownloadStep;
        m_awaitedRequest =
            QByteArray(reinterpret_cast<const char *>(record.TxFrame), record.TxLength);
        return true;
    }
    // Nothing was written, so there is nothing to commit either.
    markFailed(m_index);
    return false;
}

bool ParameterTransfer::handleMessage(WindowMessage *message)
{
    if (message->message() != Msg::UploadStep && message->message() != Msg::DownloadStep)
        return false;
    TransactionRecord *record = message->record();
    if (!record || !m_awaiting || message->message() != m_awaitedMessage ||
        record->Slot != m_slot || record->TxLength != m_awaitedRequest.size() ||
        m_awaitedRequest != QByteArray::fromRawData(reinterpret_cast<const char *>(record->TxFrame),
                                                    record->TxLength))
        return true;
    m_awaiting = false;
    if (TDM *dm = registry())
        dm->ProcessReply(*record);
    else
        record->Result = TransactionResult::CommError;
    if (record->Result != TransactionResult::Ok)
        markFailed(m_index);
    step();
    return true;
}

void ParameterTransfer::customEvent(QEvent *event)
{
    if (event->type() == WindowMessage::eventType())
        handleMessage(static_cast<WindowMessage *>(event));
}

void ParameterTransfer::markFailed(int entry)
{
    if (!m_failed.contains(entry))
        m_failed.append(entry);
}

bool ParameterTransfer::sameDriver() const
{
    const TDM *dm = registry();
    const TInverterBase *inverter = dm ? dm->GetInverter(m_slot) : nullptr;
    return inverter && inverter->GetTypeName() == m_plan.model &&
           dm->slotGeneration(m_slot) == m_generation;
}

void ParameterTransfer::abandon()
{
    // The working copy is kept: it is not the new driver's, and the edits count as unsent.
    const bool upload = m_state == State::Uploading;
    m_state = State::Idle;
    m_commitPending = false;
    m_awaiting = false;
    if (!upload)
        m_modified = true;
    emit stateChanged();
    Outcome outcome;
    outcome.upload = upload;
    outcome.ok = false;
    outcome.replaced = true;
    outcome.attempted = m_attempted;
    for (int entry : m_failed)
        outcome.failedCodes.append(m_plan.rows[entry].code);
    outcome.text = QStringLiteral("ПЧ #%1 заменён во время обмена").arg(m_slot);
    setStatus(outcome.text);
    emit finished(outcome);
}

void ParameterTransfer::finish()
{
    const bool upload = m_state == State::Uploading;
    // The refused values are named as they stood, before the load replaces them.
    QStringList refused;
    for (int entry : m_refused)
        refused.append(QStringLiteral("%1 (%2)").arg(m_plan.rows[entry].code).arg(m_values[entry]));
    m_state = State::Idle;
    m_commitPending = false;
    m_awaiting = false;
    // A failed read leaves the driver's entry without a value of the drive.
    if (upload) {
        if (TDM *dm = registry(); dm && sameDriver()) {
            for (int entry : m_failed)
                dm->GetInverter(m_slot)->markUnread(m_plan.paramIndexes[entry]);
        }
    }
    // The working copy shows what the driver now holds. When the slot has lost its driver
    // the load does nothing, and after a download the edits then still count as unsent.
    const bool loaded = Load();
    if (!loaded && !upload)
        m_modified = true;
    emit stateChanged();

    Outcome outcome;
    outcome.upload = upload;
    outcome.attempted = m_attempted;
    outcome.ok = m_failed.isEmpty();
    for (int entry : m_failed)
        outcome.failedCodes.append(m_plan.rows[entry].code);
    const QString what = upload ? QStringLiteral("Upload") : QStringLiteral("Download");
    if (outcome.ok)
        outcome.text = what + QStringLiteral(" OK");
    else
        outcome.text = QStringLiteral("%1: %2 of %3 parameters failed: %4")
                           .arg(what)
                           .arg(outcome.failedCodes.size())
                           .arg(outcome.attempted)
                           .arg(outcome.failedCodes.join(QStringLiteral(", ")));
    for (int entry : m_refused)
        outcome.refusedCodes.append(m_plan.rows[entry].code);
    for (int entry : m_notRead)
        outcome.unreadCodes.append(m_plan.rows[entry].code);
    if (!outcome.unreadCodes.isEmpty())
        outcome.text += QStringLiteral("\nНе записаны, значения не прочитаны: ") +
                        outcome.unreadCodes.join(QStringLiteral(", "));
    if (!refused.isEmpty())
        outcome.text += QStringLiteral("\nNot sent, the register cannot carry the value: ") +
                        refused.join(QStringLiteral(", "));
    emit finished(outcome);
}
