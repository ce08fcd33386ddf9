#pragma once

#include <atomic>
#include <cstdint>

// The silence kept between frames on a serial line (t3.5), shared by the receive thread,
// which notes when bytes arrive, and the transmit thread, which holds each request until the
// line has been quiet for the gap since the last frame ended, either way. Times are
// CLOCK_MONOTONIC nanoseconds. A gap of 0 keeps nothing (the standard timing).
class FrameGap
{
public:
    // t3.5 for a character time: 3.5 characters, and never below 1750 us (the fixed value
    // the Modbus line rules give above 19200 bit/s).
    static int gapUs(int characterUs);
    // What is left to wait at `now` of a gap that runs from `lastEnd`; 0 when it has passed.
    static int64_t remainingNs(int64_t lastEndNs, int64_t gapNs, int64_t nowNs);
    static int64_t nowNs();

    void setGapUs(int microseconds) { m_gapNs.store(int64_t(microseconds) * 1000); }
    int64_t gapNs() const { return m_gapNs.load(); }
    // Bytes arrived at `at`; a frame on the line ends no earlier.
    void noteReceived(int64_t atNs);
    // A frame was handed to the driver at `at` and takes `lineNs` on the line.
    void noteSent(int64_t atNs, int64_t lineNs);
    int64_t remainingNs(int64_t nowNs) const;
    // When the last frame sent leaves the line, and when bytes last arrived; 0 before.
    int64_t sentEndNs() const { return m_sentEndNs.load(); }
    int64_t receivedNs() const { return m_receivedNs.load(); }

private:
    void noteEnd(int64_t endNs);

    std::atomic<int64_t> m_gapNs{0};
    std::atomic<int64_t> m_lastEndNs{0};
    std::atomic<int64_t> m_sentEndNs{0};
    std::atomic<int64_t> m_receivedNs{0};
};
