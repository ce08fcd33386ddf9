#pragma once

#include "serial/MessageRing.h"

#include <QElapsedTimer>
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
// one slot's probes go on the line while another slot waits for a late answer; at most
// MaxProbesInFlight probes wait in the request queue or on the line, so other requesters keep
// their turn. Probes of one protocol family go before those of the other (all KX200 probes,
// then the Modbus ones), so the line changes family as seldom as it can. A KX300 answers the
// KX100 probe with a refusal, so a slot whose KX100 probe got no answer at all is empty
// without a KX300 probe. Each chain sees only its own slot's replies, so the models found are
// those of the chains one after the other; chains end, and report, in any order.
//
// A probe that follows one of the detector's own probes of the other family by less than the
// deaf window goes out only once the line has been free of that family for the window, so a
// drive the other probe deafened hears it: with probes grouped by family, the run waits the
// window once per change of family. Interleaved, only when more than the probes that go at
// once wait for that family: a few are cheaper to ask again (the second look below).
//
// Second look (both timings): a silent probe is doubtful when a frame of the other family went
// on the line less than the deaf window before it: the drive may have been deaf. Interleaved,
// silence to the first frame after one of the other family is doubtful too, however late it
// came: a slave whose framer took that frame for the start of its own loses the next. A chain
// that would end empty after a doubtful silence waits (its slot still detecting) until nothing
// else of the run can go on; then it is asked again, the probes of the doubtful family only,
// each sent once the line has been free of the other family's frames for the deaf window. The
// waiting chains are asked family by family, that of the line's last frame first, so the run
// waits out the window at most twice. A silence in the second look is final; the second look
// follows the chain's own rules from the repeated probe on.
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
    static constexpr int MaxProbesInFlight = 4;
    // The deaf window without a setting: drives recover from a frame they could not parse
    // within half of it.
    static constexpr int DefaultDeafWindowMs = 1000;

    explicit InverterDetector(TDM *registry, QObject *parent = nullptr);
    ~InverterDetector() override;

    // Whether the request queue takes one more request now; without it, always.
    void setRoomCheck(std::function<bool()> hasRoom) { m_hasRoom = std::move(hasRoom); }
    // Whether chains may run at once now; without it, never.
    void setInterleaved(std::function<bool()> interleaved)
    {
        m_interleaved = std::move(interleaved);
    }
    // How long after a frame of the other protocol family a silence is doubtful (ms); without
    // it, DefaultDeafWindowMs. 0 takes every silence as sure.
    void setDeafWindow(std::function<int()> windowMs) { m_deafWindow = std::move(windowMs); }
    int deafWindowMs() const { return m_deafWindow ? m_deafWindow() : DefaultDeafWindowMs; }

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
    // Msg::StopDetection: drops the queued slots. The probes on the line finish; their slots
    // then keep what those probes found, or get their drivers back, and nothing more is sent.
    // Slots with no probe on the line (waiting for their turn or for the second look) get their
    // drivers back at once.
    void stop();

    // The bus cannot be reached: drops the queued slots and ends every chain with state 3 (the
    // slot keeps the driver being tried), so no slot is emptied for silence that was the port's.
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
        uint32_t expected = 0;     // completion message of the probe in flight; 0: none
        uint32_t next = 0;         // the probe waiting for its turn; 0: none
        bool kx100Refused = false; // the KX100 probe was answered by a refusal
        bool recheck = false;      // the KX100 probe in flight is the second one, after KX300
        unsigned doubtful = 0;     // families (bits) whose silence may have been deafness
        bool parked = false;       // waits for the second look
        bool secondLook = false;   // in the second look: its silences are final
        std::unique_ptr<TInverterBase> previous; // the slot's driver before the chain
        std::unique_ptr<TInverterBase> answered; // the KX300 driver that answered, meanwhile
        int answeredState = 0;                   // the state its answer gave
    };
    // The protocol families of the probes, as bits of Chain::doubtful.
    static constexpr int ModbusFamily = 0;
    static constexpr int SlashFamily = 1;
    static int familyOf(uint32_t probeMessage);

    bool interleaved() const { return m_interleaved && m_interleaved(); }
    // Whether the oldest queued slot may start now.
    bool mayStart() const;
    Chain *chainOf(int slot) const;
    // False when the request queue had no room and the slot was left as it is.
    bool startChain(int slot);
    // Sends what may go now: waiting probes of the family on the line, new chains, and when
    // nothing else can go on, the second look.
    void pump();
    // The oldest chain whose waiting probe is of the family, or null.
    Chain *waitingProbe(int family) const;
    int inFlight(int family = -1) const; // probes sent and not finished (of the family)
    bool hasActiveChain() const;         // a chain neither waiting for the second look
    // Moves the chains waiting for the second look whose next family is the chosen one on.
    bool startSecondLook();
    // Sets the chain's next probe; it goes out when pump() finds its turn.
    void queueProbe(Chain &chain, uint32_t notifyMessage);
    void sendWaiting(Chain &chain);
    // Puts the model of the step into the slot and sends its identification request.
    bool probe(Chain &chain, uint32_t notifyMessage);
    void probeResult(uint32_t message, TransactionRecord &record);
    // The chain found nothing: the slot is emptied, or waits for the second look.
    void endAbsent(Chain &chain);
    void endChain(Chain &chain, int state);
    // Ends the chain with the slot's driver from before the chain put back.
    void giveBack(Chain &chain);
    bool hasRoom() const { return !m_hasRoom || m_hasRoom(); }

    TDM *m_registry;
    std::function<bool()> m_hasRoom;
    std::function<bool()> m_interleaved;
    std::function<int()> m_deafWindow;
    bool m_stopped = false; // the run was stopped by the operator
    int m_runCount = 0; // slots queued since the detector was last idle with an empty queue
    int m_runIndex = 0; // chains started in that run
    int m_family = SlashFamily;  // the family of the probes sent last
    bool m_pumping = false;      // pump() runs: a nested call has nothing to add
    QElapsedTimer m_probeEnd[2]; // when the last probe of each family finished
    MessageRing<int, RingSize> m_queue;
    std::vector<std::unique_ptr<Chain>> m_chains; // in the order they started
};
