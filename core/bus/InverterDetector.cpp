#include "bus/InverterDetector.h"

#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "serial/MessageNumbers.h"
#include "serial/TransactionRecord.h"
#include "serial/WindowMessage.h"

#include <algorithm>

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
    if (!m_chains.empty())
        emit progress(currentSlot(), m_runIndex, m_runCount); // the run has grown
    startNext();
    return true;
}

InverterDetector::Chain *InverterDetector::chainOf(int slot) const
{
    for (const std::unique_ptr<Chain> &chain : m_chains) {
        if (chain->slot == slot)
            return chain.get();
    }
    return nullptr;
}

bool InverterDetector::mayStart() const
{
    const int *next = m_queue.front();
    if (!next)
        return false;
    if (m_chains.empty())
        return true;
    // A slot queued twice waits for its own chain; the queue keeps its order.
    if (!interleaved() || chainOf(*next))
        return false;
    for (const std::unique_ptr<Chain> &chain : m_chains) {
        if (chain->early)
            return false;
    }
    return true;
}

void InverterDetector::startNext()
{
    while (mayStart()) {
        int slot;
        m_queue.pop(slot);
        // A slot that found no room is followed by the next one on Msg::NextDetection.
        if (!startChain(slot))
            return;
    }
    if (m_chains.empty() && m_queue.isEmpty() && (m_runCount > 0 || m_stopped)) {
        const bool stopped = m_stopped;
        m_runCount = m_runIndex = 0;
        m_stopped = false;
        emit finished(stopped);
    }
}

void InverterDetector::stop()
{
    if (m_chains.empty() && m_queue.isEmpty())
        return; // nothing to stop
    int slot;
    while (m_queue.pop(slot)) {
    }
    m_runCount = m_runIndex;
    m_stopped = true;
    for (const std::unique_ptr<Chain> &chain : m_chains)
        chain->stop = true;
    // Without a chain on the line the stop takes effect at once.
    if (m_chains.empty())
        startNext();
}

int InverterDetector::queuedCount() const
{
    return m_queue.size();
}

bool InverterDetector::startChain(int slot)
{
    emit progress(slot, ++m_runIndex, m_runCount);
    if (!hasRoom()) {
        // Nothing has been touched yet: the slot stays as it is.
        emit queueFull(slot);
        PostMessage(MainWindow(), Msg::NextDetection);
        return false;
    }
    m_chains.push_back(std::make_unique<Chain>());
    Chain &chain = *m_chains.back();
    chain.slot = slot;
    // Whatever the slot held is discarded with its parameters, even if the same model answers;
    // it is kept aside until the chain ends, in case the chain cannot finish.
    chain.previous = m_registry->TakeInverter(slot);
    const bool sent = probe(chain, Msg::DetectKX200Result);
    m_registry->NotifyChildren(slot, InverterStateCode::Detecting);
    if (!sent)
        endChain(chain, InverterStateCode::Fault);
    return true;
}

bool InverterDetector::probe(Chain &chain, uint32_t notifyMessage)
{
    switch (notifyMessage) {
    case Msg::DetectKX200Result:
        m_registry->CreateKX200(chain.slot);
        break;
    case Msg::DetectKX100Result:
        m_registry->CreateKX100(chain.slot);
        break;
    default:
        m_registry->CreateKX300(chain.slot);
        break;
    }
    TransactionRecord record;
    InitTransaction(record, MainWindow(), notifyMessage, 0, chain.slot);
    record.Probe = true;
    chain.expected = notifyMessage;
    return m_registry->ReadAddress(record);
}

void InverterDetector::probeResult(uint32_t message, TransactionRecord &record)
{
    // Only the completion of the probe in flight moves a chain on.
    Chain *found = chainOf(record.Slot);
    if (!found || message != found->expected)
        return;
    Chain &chain = *found;
    const int slot = chain.slot;
    m_registry->ProcessReply(record);

    if (chain.recheck) {
        // The second KX100 probe after a KX300 answer: an answer makes the slot a KX100,
        // silence or a refusal lets the KX300 probe's outcome stand, a broken reply tells
        // nothing sure.
        chain.recheck = false;
        if (record.Result == TransactionResult::Ok) {
            endChain(chain, InverterStateCode::Present);
        } else if ((record.Result == TransactionResult::TimeOut ||
                    record.Result == TransactionResult::InverterError) &&
                   chain.answeredState == InverterStateCode::NoInverter) {
            m_registry->RemoveInverter(slot);
            endChain(chain, InverterStateCode::NoInverter);
        } else if (record.Result == TransactionResult::TimeOut ||
                   record.Result == TransactionResult::InverterError) {
            m_registry->PutInverter(slot, std::move(chain.answered));
            endChain(chain, chain.answeredState);
        } else {
            endChain(chain, InverterStateCode::Fault);
        }
        return;
    }
    if (message == Msg::DetectKX200Result && chain.early) {
        // The next slot's chain may start (interleaved).
        chain.early = false;
        PostMessage(MainWindow(), Msg::NextDetection);
    }

    // A refusal of the KX100 probe counts as silence: another model may be listening.
    const bool tryNext =
        record.Result == TransactionResult::TimeOut ||
        (record.Result == TransactionResult::InverterError && message == Msg::DetectKX100Result);
    if (message == Msg::DetectKX100Result && record.Result == TransactionResult::InverterError)
        chain.kx100Refused = true;
    if (message == Msg::DetectKX300Result && !chain.kx100Refused && !chain.stop && hasRoom()) {
        // The KX100 probe was only silent: it may have met a drive still deaf from the KX200
        // probe. Ask it once more before the KX300 probe's outcome counts.
        chain.recheck = true;
        chain.answeredState = record.Result == TransactionResult::Ok ? InverterStateCode::Present
                              : record.Result == TransactionResult::TimeOut
                                  ? InverterStateCode::NoInverter
                                  : InverterStateCode::Fault;
        chain.answered = m_registry->TakeInverter(slot);
        if (!probe(chain, Msg::DetectKX100Result))
            endChain(chain, InverterStateCode::Fault);
    } else if (record.Result == TransactionResult::Ok) {
        endChain(chain, InverterStateCode::Present);
    } else if (!tryNext) {
        endChain(chain, InverterStateCode::Fault);
    } else if (message != Msg::DetectKX300Result && (chain.stop || !hasRoom())) {
        // No further probe goes out: stopped by the operator, or no room in the queue.
        if (!chain.stop)
            emit queueFull(slot);
        giveBack(chain);
    } else if (message == Msg::DetectKX200Result) {
        if (!probe(chain, Msg::DetectKX100Result))
            endChain(chain, InverterStateCode::Fault);
    } else if (message == Msg::DetectKX100Result) {
        if (!probe(chain, Msg::DetectKX300Result))
            endChain(chain, InverterStateCode::Fault);
    } else {
        m_registry->RemoveInverter(slot);
        endChain(chain, InverterStateCode::NoInverter);
    }
}

void InverterDetector::abandon()
{
    int slot;
    while (m_queue.pop(slot)) {
    }
    while (!m_chains.empty())
        endChain(*m_chains.front(), InverterStateCode::Fault);
}

void InverterDetector::giveBack(Chain &chain)
{
    m_registry->PutInverter(chain.slot, std::move(chain.previous));
    endChain(chain, m_registry->HasInverter(chain.slot) ? InverterStateCode::Present
                                                        : InverterStateCode::NoInverter);
}

void InverterDetector::endChain(Chain &chain, int state)
{
    const int slot = chain.slot;
    // The chain goes first: the receivers below may look at the detector.
    const auto it = std::find_if(m_chains.begin(), m_chains.end(),
                                 [&chain](const auto &c) { return c.get() == &chain; });
    if (it != m_chains.end())
        m_chains.erase(it);
    m_registry->NotifyChildren(slot, state);
    emit slotDetected(slot, state);
    PostMessage(MainWindow(), Msg::NextDetection);
}
