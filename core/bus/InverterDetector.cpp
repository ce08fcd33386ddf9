#include "bus/InverterDetector.h"

#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "serial/MessageNumbers.h"
#include "serial/TransactionRecord.h"
#include "serial/WindowMessage.h"

InverterDetector::InverterDetector(TDM *registry, QObject *parent)
    : QObject(parent), m_registry(registry)
{
}

InverterDetector::~InverterDetector() = default;

bool InverterDetector::handleMessage(WindowMessage *message)
{
    switch (message->message()) {
    case Msg::QueueDetection:
        if (message->wParam() >= 0 && message->wParam() < TDM::SlotCount)
            queueSlot(int(message->wParam()));
        return true;
    case Msg::NextDetection:
        startNext();
        return true;
    case Msg::StopDetection:
        stop();
        return true;
    case Msg::DetectKX200Result:
    case Msg::DetectKX100Result:
    case Msg::DetectKX300Result:
        if (message->record())
            probeResult(message->message(), *message->record());
        return true;
    default:
        return false;
    }
}

void InverterDetector::queueSlots(const QList<int> &slotList)
{
    for (int slot : slotList)
        PostMessage(MainWindow(), Msg::QueueDetection, slot);
}

bool InverterDetector::queueSlot(int slot)
{
    if (!TDM::isValidSlot(slot) || !m_queue.push(slot))
        return false;
    ++m_runCount;
    m_stopped = false; // queued after a stop: a new run
    if (!m_idle)
        emit progress(m_slot, m_runIndex, m_runCount); // the run has grown
    startNext();
    return true;
}

void InverterDetector::startNext()
{
    if (!m_idle)
        return;
    int slot;
    if (m_queue.pop(slot)) {
        startChain(slot);
    } else if (m_runCount > 0 || m_stopped) {
        const bool stopped = m_stopped;
        m_runCount = m_runIndex = 0;
        m_stopped = false;
        emit finished(stopped);
    }
}

void InverterDetector::stop()
{
    if (m_idle && m_queue.isEmpty())
        return; // nothing to stop
    int slot;
    while (m_queue.pop(slot)) {
    }
    m_runCount = m_runIndex;
    m_stopped = true;
    m_stopChain = !m_idle;
    // Without a chain on the line the stop takes effect at once.
    if (m_idle)
        startNext();
}

int InverterDetector::queuedCount() const
{
    return m_queue.size();
}

void InverterDetector::startChain(int slot)
{
    m_idle = false;
    m_slot = slot;
    m_stopChain = false;
    m_kx100Refused = false;
    m_recheck = false;
    emit progress(slot, ++m_runIndex, m_runCount);
    if (!hasRoom()) {
        // Nothing has been touched yet: the slot stays as it is.
        emit queueFull(slot);
        m_idle = true;
        PostMessage(MainWindow(), Msg::NextDetection);
        return;
    }
    // Whatever the slot held is discarded with its parameters, even if the same model answers;
    // it is kept aside until the chain ends, in case the chain cannot finish.
    m_previous = m_registry->TakeInverter(slot);
    const bool sent = probe(slot, Msg::DetectKX200Result);
    m_registry->NotifyChildren(slot, InverterStateCode::Detecting);
    if (!sent)
        endChain(InverterStateCode::Fault);
}

bool InverterDetector::probe(int slot, uint32_t notifyMessage)
{
    switch (notifyMessage) {
    case Msg::DetectKX200Result:
        m_registry->CreateKX200(slot);
        break;
    case Msg::DetectKX100Result:
        m_registry->CreateKX100(slot);
        break;
    default:
        m_registry->CreateKX300(slot);
        break;
    }
    TransactionRecord record;
    InitTransaction(record, MainWindow(), notifyMessage, 0, slot);
    m_expected = notifyMessage;
    return m_registry->ReadAddress(record);
}

void InverterDetector::probeResult(uint32_t message, TransactionRecord &record)
{
    // Only the completion of the probe in flight moves the chain on.
    if (m_idle || message != m_expected || record.Slot != m_slot)
        return;
    m_registry->ProcessReply(record);

    if (m_recheck) {
        // The second KX100 probe after a KX300 answer: an answer makes the slot a KX100,
        // silence or a refusal lets the KX300 probe's outcome stand, a broken reply tells
        // nothing sure.
        m_recheck = false;
        if (record.Result == TransactionResult::Ok) {
            endChain(InverterStateCode::Present);
        } else if ((record.Result == TransactionResult::TimeOut ||
                    record.Result == TransactionResult::InverterError) &&
                   m_answeredState == InverterStateCode::NoInverter) {
            m_registry->RemoveInverter(m_slot);
            endChain(InverterStateCode::NoInverter);
        } else if (record.Result == TransactionResult::TimeOut ||
                   record.Result == TransactionResult::InverterError) {
            m_registry->PutInverter(m_slot, std::move(m_answered));
            endChain(m_answeredState);
        } else {
            endChain(InverterStateCode::Fault);
        }
        return;
    }

    // A refusal of the KX100 probe counts as silence: another model may be listening.
    const bool tryNext =
        record.Result == TransactionResult::TimeOut ||
        (record.Result == TransactionResult::InverterError && message == Msg::DetectKX100Result);
    if (message == Msg::DetectKX100Result && record.Result == TransactionResult::InverterError)
        m_kx100Refused = true;
    if (message == Msg::DetectKX300Result && !m_kx100Refused && !m_stopChain && hasRoom()) {
        // The KX100 probe was only silent: it may have met a drive still deaf from the KX200
        // probe. Ask it once more before the KX300 probe's outcome counts.
        m_recheck = true;
        m_answeredState = record.Result == TransactionResult::Ok ? InverterStateCode::Present
                          : record.Result == TransactionResult::TimeOut
                              ? InverterStateCode::NoInverter
                              : InverterStateCode::Fault;
        m_answered = m_registry->TakeInverter(m_slot);
        if (!probe(m_slot, Msg::DetectKX100Result))
            endChain(InverterStateCode::Fault);
    } else if (record.Result == TransactionResult::Ok) {
        endChain(InverterStateCode::Present);
    } else if (!tryNext) {
        endChain(InverterStateCode::Fault);
    } else if (message != Msg::DetectKX300Result && (m_stopChain || !hasRoom())) {
        // No further probe goes out: stopped by the operator, or no room in the queue.
        if (!m_stopChain)
            emit queueFull(m_slot);
        giveBack();
    } else if (message == Msg::DetectKX200Result) {
        if (!probe(m_slot, Msg::DetectKX100Result))
            endChain(InverterStateCode::Fault);
    } else if (message == Msg::DetectKX100Result) {
        if (!probe(m_slot, Msg::DetectKX300Result))
            endChain(InverterStateCode::Fault);
    } else {
        m_registry->RemoveInverter(m_slot);
        endChain(InverterStateCode::NoInverter);
    }
}

void InverterDetector::abandon()
{
    int slot;
    while (m_queue.pop(slot)) {
    }
    if (!m_idle)
        endChain(InverterStateCode::Fault);
}

void InverterDetector::giveBack()
{
    m_registry->PutInverter(m_slot, std::move(m_previous));
    endChain(m_registry->HasInverter(m_slot) ? InverterStateCode::Present
                                             : InverterStateCode::NoInverter);
}

void InverterDetector::endChain(int state)
{
    m_previous.reset();
    m_answered.reset();
    m_recheck = false;
    const int slot = m_slot;
    m_registry->NotifyChildren(slot, state);
    m_idle = true;
    m_expected = 0;
    emit slotDetected(slot, state);
    PostMessage(MainWindow(), Msg::NextDetection);
}
