#include "bus/InverterDetector.h"

#include "bus/TDM.h"
#include "serial/MessageNumbers.h"
#include "serial/TransactionRecord.h"
#include "serial/WindowMessage.h"

InverterDetector::InverterDetector(TDM *registry, QObject *parent)
    : QObject(parent), m_registry(registry)
{
}

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
    startNext();
    return true;
}

void InverterDetector::startNext()
{
    int slot;
    if (m_idle && m_queue.pop(slot))
        startChain(slot);
}

int InverterDetector::queuedCount() const
{
    return m_queue.size();
}

void InverterDetector::startChain(int slot)
{
    m_idle = false;
    m_slot = slot;
    // Whatever the slot held is discarded with its parameters, even if the same model answers.
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

    // A refusal of the KX100 probe counts as silence: another model may be listening.
    const bool tryNext =
        record.Result == TransactionResult::TimeOut ||
        (record.Result == TransactionResult::InverterError && message == Msg::DetectKX100Result);
    if (record.Result == TransactionResult::Ok) {
        endChain(InverterStateCode::Present);
    } else if (!tryNext) {
        endChain(InverterStateCode::Fault);
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

void InverterDetector::endChain(int state)
{
    const int slot = m_slot;
    m_registry->NotifyChildren(slot, state);
    m_idle = true;
    m_expected = 0;
    emit slotDetected(slot, state);
    PostMessage(MainWindow(), Msg::NextDetection);
}
