#include "bus/InverterDetector.h"

#include "bus/TDM.h"
#include "bus/TInverterBase.h"
#include "serial/MessageNumbers.h"
#include "serial/TransactionRecord.h"
#include "serial/WindowMessage.h"

#include <algorithm>
#include <utility>

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

int InverterDetector::familyOf(uint32_t probeMessage)
{
    return probeMessage == Msg::DetectKX200Result ? SlashFamily : ModbusFamily;
}

bool InverterDetector::hasActiveChain() const
{
    return std::any_of(m_chains.begin(), m_chains.end(),
                       [](const std::unique_ptr<Chain> &chain) { return !chain->parked; });
}

int InverterDetector::inFlight(int family) const
{
    return int(std::count_if(m_chains.begin(), m_chains.end(), [family](const auto &chain) {
        return chain->expected != 0 && (family < 0 || familyOf(chain->expected) == family);
    }));
}

InverterDetector::Chain *InverterDetector::waitingProbe(int family) const
{
    for (const std::unique_ptr<Chain> &chain : m_chains) {
        if (chain->next != 0 && familyOf(chain->next) == family)
            return chain.get();
    }
    return nullptr;
}

bool InverterDetector::mayStart() const
{
    const int *next = m_queue.front();
    // A slot queued twice waits for its own chain; the queue keeps its order.
    if (!next || chainOf(*next))
        return false;
    return interleaved() || !hasActiveChain();
}

void InverterDetector::startNext()
{
    pump();
    // Reached through the messages the chains' ends post, after their state notifications.
    if (m_chains.empty() && m_queue.isEmpty() && (m_runCount > 0 || m_stopped)) {
        const bool stopped = m_stopped;
        m_runCount = m_runIndex = 0;
        m_stopped = false;
        emit finished(stopped);
    }
}

void InverterDetector::pump()
{
    if (m_pumping)
        return; // the outer call goes on with what this one would have sent
    m_pumping = true;
    const int limit = interleaved() ? MaxProbesInFlight : 1;
    while (inFlight() < limit) {
        if (Chain *chain = waitingProbe(m_family)) {
            sendWaiting(*chain);
            continue;
        }
        if (m_family == SlashFamily && mayStart()) {
            int slot;
            m_queue.pop(slot);
            // A slot that found no room is followed by the next one on Msg::NextDetection.
            if (!startChain(slot))
                break;
            continue;
        }
        // The outcomes of the family's probes on the line may ask for more of it.
        if (inFlight(m_family) > 0)
            break;
        const int other = 1 - m_family;
        if (waitingProbe(other) || (other == SlashFamily && mayStart())) {
            m_family = other;
            continue;
        }
        if (hasActiveChain() || mayStart() || !startSecondLook())
            break;
    }
    m_pumping = false;
}

bool InverterDetector::startSecondLook()
{
    // The KX200 probe comes first in a chain, so a chain doubtful in both families is asked
    // it first.
    const auto firstFamily = [](const Chain &chain) {
        return chain.doubtful & (1u << SlashFamily) ? SlashFamily : ModbusFamily;
    };
    bool waiting[2] = {false, false};
    for (const std::unique_ptr<Chain> &chain : m_chains) {
        if (chain->parked)
            waiting[firstFamily(*chain)] = true;
    }
    if (!waiting[ModbusFamily] && !waiting[SlashFamily])
        return false;
    // The family on the line needs no wait for its drives to recover from the other one.
    const int family = waiting[m_family] ? m_family : 1 - m_family;
    for (const std::unique_ptr<Chain> &chain : m_chains) {
        if (!chain->parked || firstFamily(*chain) != family)
            continue;
        chain->parked = false;
        chain->secondLook = true;
        chain->doubtful &= ~(1u << family);
        chain->kx100Refused = chain->recheck = false;
        queueProbe(*chain, family == SlashFamily ? Msg::DetectKX200Result : Msg::DetectKX100Result);
    }
    m_family = family;
    return true;
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
    // A chain with no probe on the line hears nothing more: its slot gets its driver back now.
    for (;;) {
        const auto idle = std::find_if(m_chains.begin(), m_chains.end(),
                                       [](const auto &chain) { return chain->expected == 0; });
        if (idle == m_chains.end())
            break;
        giveBack(**idle);
    }
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

void InverterDetector::queueProbe(Chain &chain, uint32_t notifyMessage)
{
    chain.next = notifyMessage;
}

void InverterDetector::sendWaiting(Chain &chain)
{
    const uint32_t message = std::exchange(chain.next, 0);
    if (chain.stop) {
        giveBack(chain);
    } else if (!hasRoom()) {
        emit queueFull(chain.slot);
        giveBack(chain);
    } else if (!probe(chain, message)) {
        endChain(chain, InverterStateCode::Fault);
    }
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
    // Only once the drives have had time to recover from the other family's probe. Interleaved,
    // a few probes go at once and a doubtful silence among them is asked again at the end,
    // which costs less than the wait.
    const int family = familyOf(notifyMessage);
    const QElapsedTimer &other = m_probeEnd[1 - family];
    const bool recent = other.isValid() && other.elapsed() < deafWindowMs();
    const auto waiting = std::count_if(m_chains.begin(), m_chains.end(), [family](const auto &c) {
        return c->next != 0 && familyOf(c->next) == family;
    });
    const qsizetype ahead = waiting + (family == SlashFamily ? m_queue.size() : 0);
    if (chain.secondLook || (recent && (!interleaved() || ahead >= MaxProbesInFlight)))
        record.OtherFamilyHoldMs = deafWindowMs();
    chain.expected = notifyMessage;
    return m_registry->ReadAddress(record);
}

void InverterDetector::probeResult(uint32_t message, TransactionRecord &record)
{
    // Only the completion of the probe in flight moves a chain on.
    Chain *found = chainOf(record.Slot);
    if (!found || found->expected == 0 || message != found->expected)
        return;
    Chain &chain = *found;
    chain.expected = 0;
    m_probeEnd[familyOf(message)].start();
    const int slot = chain.slot;
    m_registry->ProcessReply(record);
    // Silence soon after a frame the drive may not have been able to parse tells nothing sure;
    // nor, interleaved, silence to the first frame after it, which some framers lose with it
    // (the chain asks the KX100 probe only once there).
    const int window = deafWindowMs();
    if (record.Result == TransactionResult::TimeOut && !chain.secondLook && window > 0 &&
        record.OtherFamilyQuietMs >= 0 &&
        (record.OtherFamilyQuietMs < window || (interleaved() && record.AfterOtherFamily)))
        chain.doubtful |= 1u << familyOf(message);

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
            endAbsent(chain);
        } else if (record.Result == TransactionResult::TimeOut ||
                   record.Result == TransactionResult::InverterError) {
            m_registry->PutInverter(slot, std::move(chain.answered));
            endChain(chain, chain.answeredState);
        } else {
            endChain(chain, InverterStateCode::Fault);
        }
        pump();
        return;
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
        queueProbe(chain, Msg::DetectKX100Result);
    } else if (record.Result == TransactionResult::Ok) {
        endChain(chain, InverterStateCode::Present);
    } else if (!tryNext) {
        endChain(chain, InverterStateCode::Fault);
    } else if (record.Result == TransactionResult::TimeOut &&
               (message == Msg::DetectKX100Result ? interleaved() : chain.secondLook)) {
        // Interleaved, a KX100 probe met by silence leaves no KX300 to ask: one would have
        // refused it. In the second look a silent KX200 probe leaves only its own family.
        endAbsent(chain);
    } else if (message != Msg::DetectKX300Result && (chain.stop || !hasRoom())) {
        // No further probe goes out: stopped by the operator, or no room in the queue.
        if (!chain.stop)
            emit queueFull(slot);
        giveBack(chain);
    } else if (message == Msg::DetectKX200Result) {
        queueProbe(chain, Msg::DetectKX100Result);
    } else if (message == Msg::DetectKX100Result) {
        queueProbe(chain, Msg::DetectKX300Result);
    } else {
        endAbsent(chain);
    }
    pump();
}

void InverterDetector::endAbsent(Chain &chain)
{
    if (chain.doubtful != 0 && chain.stop) {
        giveBack(chain); // the second look will not come
    } else if (chain.doubtful != 0) {
        chain.parked = true; // the slot keeps the driver last tried meanwhile
    } else {
        m_registry->RemoveInverter(chain.slot);
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
