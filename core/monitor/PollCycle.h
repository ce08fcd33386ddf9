#pragma once

// The monitor's round of readouts: output frequency, output voltage, output current, one
// request per timer tick at most. The step runs 0 -> 1 (requested) -> 2 (answered) -> 3 -> 4
// -> 5 -> 6 -> 7 -> 8 -> 0 ...; step mod 3 is 0 when a request is due, 1 while it is
// outstanding and 2 once it has been answered.
class PollCycle
{
public:
    enum class Request { None, OutputFreq, OutputVoltage, OutputCurrent };

    int step() const { return m_step; }
    bool awaitingReply() const { return m_step % 3 == 1; }

    // Back to the start of the round, no request outstanding.
    void reset() { m_step = 0; }
    // The readout to request at this step; the step moves on to "outstanding".
    Request next();
    // A timer tick: true when the last request has been answered, after moving to the step of
    // the next readout; false (nothing changes) otherwise.
    bool tick();
    // The outstanding request was answered; false when none was outstanding.
    bool answered();

private:
    int m_step = 0;
};
