#pragma once

#include "serial/MessageRing.h"

#include <QList>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TDM;
class TInverterBase;
class WindowMessage;
struct TransactionRecord;

// Finds out which model answers at a bus address: the slot is probed with the identification
// request of KX200, then KX100, then KX300, and ends holding the driver of the first model
// that answered validly (state 1), the driver whose probe was refused or corrupted (state 3),
// or nothing after three silent probes (state 0). A drive may still be deaf from a frame of the
// other protocol when the KX100 probe comes, so after a silent KX100 probe the outcome of the
// KX300 probe (an answer, a refusal or silence) is taken only once the KX100 probe, asked once
// more, stays silent again or is refused; a KX100 answer to it makes the slot a KX100. One slot is
// probed at a time; further slots wait in a ring of 500 in their order. Progress goes to the child
// windows as inverter state notifications, starting with state 2.
//
// Interleaved (the fast timing): the chains of several slots run at once, each as above, so that
// one slot's probes go on the line while another slot waits for a late answer. A new chain starts
// once every running chain has the outcome of its first probe, so the slots' waits fall between
// other slots' probes. Each chain sees only its own slot's replies, so the models
// found are those of the chains one after the other; chains end, and report, in any order.
//
// The detector works on the main window's messages: queue a slot (Msg::QueueDetection, wParam
// slot), start the next one (Msg::NextDetection), drop the queued slots (Msg::StopDetection)
// and the completions of the three probes. Its probe records name MainWindow() as the window
// to notify.
//
// A slot whose chain cannot finish, because the request queue has no room for its next probe
// or because the operator stopped detection, gets back the driver it held before, with its
// parameter set; a refused probe is never taken for silence.
class InverterDetector : public QObject
{
    Q_OBJECT

public:
    static constexpr int RingSize = 500;

    explicit InverterDetector(TDM *registry, QObject *parent = nullptr);
    ~InverterDetector() override;

    // Whether the request queue takes one more request now; without it, always.
    void setRoomCheck(std::function<bool()> hasRoom) { m_hasRoom = std::move(hasRoom); }
    // Whether chains may run at once now; without it, never.
    void setInterleaved(std::function<bool()> interleaved)
    {
        m_interleaved = std::move(interleaved);
    }

    // Handles the detection messages; false for any other message.
    bool handleMessage(WindowMessage *message);

    // The detection command's choice: posts Msg::QueueDetection per slot to MainWindow(), in
    // list order.
    static void queueSlots(const QList<int> &slotList);

    // Msg::QueueDetection: queues the slot and starts it when no probe chain runs. False when
    // the slot is outside 0..31 or the ring is full (nothing queued).
    bool queueSlot(int slot);
    // Msg::NextDetection: starts the oldest queued slot when no probe chain runs.
    void startNext();
    // Msg::StopDetection: drops the queued slots. The probe on the line finishes; its slot then
    // keeps what that probe found, or gets its driver back, and nothing more is sent.
    void stop();

    // The bus cannot be reached: drops the queued slots and ends the chain in flight with
    // state 3 (the slot keeps the driver being tried), so no slot is emptied for silence that
    // was the port's.
    void abandon();

    bool isIdle() const { return m_chains.empty(); }
    // The slot probed longest, or -1.
    int currentSlot() const { return m_chains.empty() ? -1 : m_chains.front()->slot; }
    int queuedCount() const;

signals:
    // A probe chain has ended with this inverter state for the slot.
    void slotDetected(int slot, int state);
    // The chain of a slot starts: the index-th (from 1) of `count` slots queued in this run.
    void progress(int slot, int index, int count);
    // The run is over: the last chain has ended, or a stop has taken effect.
    void finished(bool stopped);
    // The request queue had no room for a probe of the slot; the slot keeps its driver.
    void queueFull(int slot);

private:
    // One slot's probe chain.
    struct Chain
    {
        int slot = -1;
        bool stop = false;         // sends no further probe
        bool early = true;         // its first probe has no outcome yet
        uint32_t expected = 0;     // completion message of the probe in flight
        bool kx100Refused = false; // the KX100 probe was answered by a refusal
        bool recheck = false;      // the KX100 probe in flight is the second one, after KX300
        std::unique_ptr<TInverterBase> previous; // the slot's driver before the chain
        std::unique_ptr<TInverterBase> answered; // the KX300 driver that answered, meanwhile
        int answeredState = 0;                   // the state its answer gave
    };

    bool interleaved() const { return m_interleaved && m_interleaved(); }
    // Whether the oldest queued slot may start now.
    bool mayStart() const;
    Chain *chainOf(int slot) const;
    // False when the request queue had no room and the slot was left as it is.
    bool startChain(int slot);
    // Puts the model of the step into the slot and sends its identification request.
    bool probe(Chain &chain, uint32_t notifyMessage);
    void probeResult(uint32_t message, TransactionRecord &record);
    void endChain(Chain &chain, int state);
    // Ends the chain with the slot's driver from before the chain put back.
    void giveBack(Chain &chain);
    bool hasRoom() const { return !m_hasRoom || m_hasRoom(); }

    TDM *m_registry;
    std::function<bool()> m_hasRoom;
    std::function<bool()> m_interleaved;
    bool m_stopped = false; // the run was stopped by the operator
    int m_runCount = 0; // slots queued since the detector was last idle with an empty queue
    int m_runIndex = 0; // chains started in that run
    MessageRing<int, RingSize> m_queue;
    std::vector<std::unique_ptr<Chain>> m_chains; // in the order they started
};
