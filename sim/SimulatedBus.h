#pragma once

#include "sim/PseudoTerminal.h"
#include "sim/SimFault.h"
#include "sim/SimFrame.h"
#include "sim/SimFrameParser.h"
#include "sim/SimInverter.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// A simulated RS-485 bus behind a pseudo-terminal: takes the requests the program writes to
// the slave side, hands each to the inverters it addresses and sends their replies back
// after a turn-around, paced at the line speed. A paced line is never faster than a real
// one: the pseudo-terminal delivers a request at once, so it is held until its bytes would
// have crossed the wire (starting no sooner than t3.5 after the line's previous frame) and
// the t3.5 silence that ends it has passed; a reply byte arrives at the end of its line time.
// It serves on a thread of its own, which waits in ppoll() on the master and a stop pipe
// with the next due time as its deadline. The accessors may be called from any thread;
// start() and stop() belong to the owner.
class SimulatedBus
{
public:
    struct Timing
    {
        int baud = 9600;
        PseudoTerminal::Parity parity = PseudoTerminal::Parity::Even;
        int stopBits = 1;
        int turnaroundMs = 5;       // from the end of a request to the first reply byte
        bool paced = true;          // reply bytes take their line time at `baud`
        int splitGapMs = 400;       // pause inside a split reply (a chunk ends after 250 ms)
        int strayIntervalMs = 1000; // noise interval of an inverter that sends stray bytes

        // No turn-around and no pacing, for tests that are not about timing.
        static Timing fast();
        // Line time of one character: start bit, 8 data bits, parity bit, stop bits.
        double characterSeconds() const;
        // The silence of 3.5 characters that ends a frame, on a paced line; none otherwise.
        double frameGapSeconds() const;
    };

    struct DriveState
    {
        bool running = false;
        bool reverse = false;
        double reference = 0.0; // Hz
        double frequency = 0.0; // Hz, >= 0
        double voltage = 0.0;   // V
        double current = 0.0;   // A
    };

    using Logger = std::function<void(const QString &line)>;

    // Another master sharing the line (drivelink-sim --foreign-master). Whenever the line has
    // been quiet for t3.5 after the last frame it is asked for its next request, which goes
    // out paced at the line speed and reaches the inverters as if received; their replies go
    // out as usual and are reported back. While a line master is set, whatever the program on
    // the other side writes is counted and reported, never served. Called on the serving
    // thread.
    class LineMaster
    {
    public:
        virtual ~LineMaster() = default;
        // The next request, or empty with *askAgain set to when to ask next.
        virtual QByteArray nextRequest(std::chrono::steady_clock::time_point now,
                                       std::chrono::steady_clock::time_point *askAgain) = 0;
        virtual void answered(const QByteArray &request, const QList<QByteArray> &replies) = 0;
        virtual void programWrote(const QByteArray &bytes) = 0;
    };
    // Before start(); the master outlives the serving.
    void setLineMaster(LineMaster *master) { m_lineMaster = master; }

    SimulatedBus();
    ~SimulatedBus();
    SimulatedBus(const SimulatedBus &) = delete;
    SimulatedBus &operator=(const SimulatedBus &) = delete;

    // Puts an inverter on the bus; returns its index, or -1 (inverter dropped) when its
    // address is outside its model's range. Allowed while serving.
    int addInverter(std::unique_ptr<SimInverter> inverter);

    void setTiming(const Timing &timing);
    Timing timing() const;
    // Receives one line per frame and per burst sent; called on the serving thread.
    void setLogger(Logger logger);

    // Opens the pseudo-terminal and starts serving; false with *error set on failure.
    bool start(QString *error = nullptr);
    // Stops serving and closes the pseudo-terminal; nothing when stopped.
    void stop();
    bool isRunning() const { return m_thread.joinable(); }
    // The device the program opens; empty while stopped.
    QString slavePath() const;

    int inverterCount() const;
    // Indexes of the inverters (of any model) currently at a bus address.
    QList<int> indicesAt(int address) const;
    QString modelName(int index) const;
    int address(int index) const;
    void setFault(int index, SimFault fault);
    // Sets the fault of every inverter at the address; returns how many there are. lateMs
    // is the delay of a late reply.
    int setFaultAt(int address, SimFault fault, int lateMs = SimInverter::DefaultLateMs);
    SimFault fault(int index) const;
    void setAnswersBroadcast(int index, bool answers);
    std::optional<quint16> registerValue(int index, quint32 reg) const;
    bool setRegisterValue(int index, quint32 reg, quint16 value);
    quint16 operationWord(int index) const;
    DriveState driveState(int index) const;
    void setLoad(int index, double fraction);
    int commitCount(int index) const;
    // Requests taken off the line since construction, noise excluded.
    quint64 framesReceived() const { return m_framesReceived.load(); }

    // The drives follow the steady clock unless a test takes the clock in hand; then only
    // advanceClock() moves them.
    void setManualClock(bool manual);
    void advanceClock(double seconds);

    // Runs fn on an inverter under the bus lock, for anything the accessors do not cover.
    void withInverter(int index, const std::function<void(SimInverter &)> &fn);

private:
    using Clock = std::chrono::steady_clock;

    struct Burst
    {
        QByteArray bytes;
        Clock::time_point start;
        qsizetype sent = 0;
        QString label;
    };

    struct Reply
    {
        QByteArray bytes;
        SimFault fault = SimFault::None;
        QString label;
        int delayMs = 0; // a late reply's extra wait
    };

    // A request taken off the pseudo-terminal, waiting for the moment a slave on a real
    // line would have it.
    struct HeldFrame
    {
        SimFrame frame;
        Clock::time_point due;
        bool fromLineMaster = false;
    };

    void serve();
    void readMaster(Clock::time_point now, bool *hangUp);
    void hold(const QList<SimFrame> &frames, Clock::time_point due);
    void releaseHeld(Clock::time_point now);
    void handleFrames(const QList<SimFrame> &frames, Clock::time_point now,
                      bool fromLineMaster = false);
    // Puts the line master's next request on the line when the line is free; returns when to
    // look again.
    Clock::time_point driveLineMaster(Clock::time_point now, const Timing &timing);
    QList<Reply> dispatch(const SimFrame &frame, Clock::time_point now);
    // Deaf inverters stop listening after a frame they cannot parse.
    void deafenLocked(Clock::time_point now, const SimFrame *frame);
    void schedule(const Reply &reply, Clock::time_point now, const Timing &timing);
    void pumpOutput(Clock::time_point now, const Timing &timing);
    void maybeSendNoise(Clock::time_point now, const Timing &timing);
    void logDiscarded();
    void log(const QString &line);
    void syncClockLocked(Clock::time_point now) const;
    SimInverter *at(int index) const;

    mutable std::mutex m_mutex; // guards everything below up to the serving-thread section
    std::vector<std::unique_ptr<SimInverter>> m_inverters;
    Timing m_timing;
    Logger m_logger;
    bool m_manualClock = false;
    mutable Clock::time_point m_lastClock;
    std::vector<Clock::time_point> m_deafUntil; // per inverter index
    PseudoTerminal m_pty;

    std::thread m_thread;
    int m_stopPipe[2] = {-1, -1};
    std::atomic<quint64> m_framesReceived{0};

    // Serving thread only.
    SimFrameParser m_parser;
    std::deque<Burst> m_out;
    std::deque<HeldFrame> m_held;
    Clock::time_point m_lastReceived; // on a paced line: when the last byte left the wire
    Clock::time_point m_rxLineEnd;    // the received bytes are on the wire until then
    Clock::time_point m_txLineEnd;    // the last reply byte sent had left the wire by then
    Clock::time_point m_lineFreeAt;
    Clock::time_point m_nextNoise;
    bool m_writeBlocked = false;
    quint32 m_noiseSeed = 0x2545F491u;
    LineMaster *m_lineMaster = nullptr;
    Clock::time_point m_lineMasterNext;
};
