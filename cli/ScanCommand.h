#pragma once

#include <QList>

class CliOutput;
class CliSession;

// scan: detects the addresses (one after the other in the standard timing, interleaved in the
// fast one) and prints one line per address in their order: the address, the model or "none",
// and "present", "no inverter" or "fault". Fails when an inverter answers wrongly.
class ScanCommand
{
public:
    ScanCommand(CliSession &session, CliOutput &out) : m_session(session), m_out(out) {}

    int run(const QList<int> &addresses);

private:
    CliSession &m_session;
    CliOutput &m_out;
};
