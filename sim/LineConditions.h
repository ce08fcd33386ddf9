#pragma once

#include "sim/PseudoTerminal.h"
#include "sim/SimulatedBus.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <random>
#include <thread>

// The line between the program and a simulated bus, as field lines are: a relay between a
// pseudo-terminal of its own (the program's side, the "front") and the bus's device, that can
//  - echo: return every byte the program sends, before any reply (an RS-485 adapter without
//    echo suppression);
//  - latency: hand the program what the line brings (replies, echo, noise) in batches every
//    latencyMs, as the latency timer of a USB-serial adapter does; what the program sends
//    goes out at once;
//  - noise: put random bursts of 1..8 bytes (noisePerSecond bytes a second on average, from
//    a seeded generator) on the program's side, only in silences between frames: a burst
//    starts after a quiet gap and the bus's bytes that follow it are held until another
//    quiet gap has passed, so no frame is ever cut by noise. The drives do not hear it.
// It keeps a descriptor of its own front device open, so the program may close and reopen
// the port. Stopping it closes the front: the program's open device hangs up, as at an
// unplugged adapter. It serves on a thread of its own, blocked in ppoll() with the next due
// time as its deadline.
class LineConditions
{
public:
    struct Settings
    {
        bool echo = false;
        int latencyMs = 0;
        double noisePerSecond = 0.0;
        quint32 seed = 1;
        SimulatedBus::Timing timing; // the line speed that sizes frames and gaps

        bool any() const { return echo || latencyMs > 0 || noisePerSecond > 0.0; }
    };

    LineConditions() = default;
    ~LineConditions();
    LineConditions(const LineConditions &) = delete;
    LineConditions &operator=(const LineConditions &) = delete;

    void setSettings(const Settings &settings);
    void setLogger(SimulatedBus::Logger logger);

    // Opens a new front pseudo-terminal and relays it to busDevice; false with *error set.
    bool start(const QString &busDevice, QString *error);
    void stop();
    bool isRunning() const { return m_thread.joinable(); }
    // The device the program opens; empty while stopped.
    QString frontPath() const { return m_front.slavePath(); }
    // Noise bytes put on the line since construction.
    quint64 noiseBytes() const { return m_noiseBytes.load(); }

    // The quiet that must surround a noise burst: twice t3.5 at the line speed, at least 5 ms.
    static std::chrono::microseconds quietGap(const SimulatedBus::Timing &timing);

private:
    using Clock = std::chrono::steady_clock;

    struct Chunk
    {
        QByteArray bytes;
        Clock::time_point arrived; // zero: not batched
        Clock::time_point notBefore;
    };

    void serve();
    // When the chunk may go: at the next latency tick after it arrived, not before notBefore.
    Clock::time_point dueOf(const Chunk &chunk) const;
    void deliver(std::deque<Chunk> &queue, int fd, Clock::time_point now);
    void relayFrom(int fd, bool fromProgram, Clock::time_point now);
    void maybeSendNoise(Clock::time_point now);
    Clock::duration nextNoiseWait();
    void noteLineBusy(qsizetype bytes, Clock::time_point now);
    void log(const QString &line);

    Settings m_settings;
    SimulatedBus::Logger m_logger;
    PseudoTerminal m_front;
    int m_frontHold = -1; // our own descriptor of the front device
    int m_bus = -1;
    int m_stopPipe[2] = {-1, -1};
    std::thread m_thread;
    std::atomic<quint64> m_noiseBytes{0};

    // Serving thread only.
    std::deque<Chunk> m_toProgram;
    std::deque<Chunk> m_toBus;
    Clock::time_point m_startedAt;
    Clock::time_point m_lineBusyUntil; // the last byte seen has crossed the wire by then
    Clock::time_point m_holdUntil;     // the bus's bytes wait out the quiet after a burst
    Clock::time_point m_nextNoise;
    std::mt19937 m_random;
};
