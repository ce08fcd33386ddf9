#include "serial/FrameGap.h"

#include <algorithm>
#include <ctime>

int FrameGap::gapUs(int characterUs)
{
    return std::max(1750, characterUs * 7 / 2);
}

int64_t FrameGap::remainingNs(int64_t lastEndNs, int64_t gapNs, int64_t nowNs)
{
    if (gapNs <= 0 || lastEndNs <= 0)
        return 0;
    return std::max<int64_t>(0, lastEndNs + gapNs - nowNs);
}

int64_t FrameGap::nowNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void FrameGap::noteReceived(int64_t atNs)
{
    m_receivedNs.store(atNs);
    noteEnd(atNs);
}

void FrameGap::noteSent(int64_t atNs, int64_t lineNs)
{
    m_sentEndNs.store(atNs + std::max<int64_t>(0, lineNs));
    noteEnd(atNs + std::max<int64_t>(0, lineNs));
}

int64_t FrameGap::remainingNs(int64_t nowNs) const
{
    return remainingNs(m_lastEndNs.load(), m_gapNs.load(), nowNs);
}

void FrameGap::noteEnd(int64_t endNs)
{
    // Only ever later: the receive and transmit threads note ends concurrently.
    int64_t last = m_lastEndNs.load();
    while (endNs > last && !m_lastEndNs.compare_exchange_weak(last, endNs)) {
    }
}
