#include "monitor/PollCycle.h"

PollCycle::Request PollCycle::next()
{
    const int s = m_step;
    m_step = (m_step + 1) % 9;
    switch (s) {
    case 0:
        return Request::OutputFreq;
    case 3:
        return Request::OutputVoltage;
    case 6:
        return Request::OutputCurrent;
    default:
        return Request::None;
    }
}

bool PollCycle::tick()
{
    if (m_step % 3 != 2)
        return false;
    m_step = (m_step + 1) % 9;
    return true;
}

bool PollCycle::answered()
{
    if (!awaitingReply())
        return false;
    ++m_step;
    return true;
}
