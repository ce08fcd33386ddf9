#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Faults a simulated inverter can be told to show.
//  Silent        hears nothing and answers nothing.
//  CorruptCheck  handles the request, but the check bytes of its reply are wrong.
//  Refuse        handles nothing and answers with an exception (Modbus exception code 4,
//                KX200 lower-case error letter).
//  SplitReply    handles the request; its reply is cut in two by a pause longer than the
//                250 ms that ends a received chunk.
//  StrayBytes    answers normally and, while the line is idle, now and then sends noise.
//  LineError     handles the request, but its reply is destroyed on the line. A pseudo
//                terminal cannot carry a framing or parity error, so the reply's first byte is
//                replaced by the bytes FF 00 00, which a receiver marking parity errors would
//                report for a broken character; the program sees a reply that fails its check.
//  LateReply     handles the request and answers correctly, but only after a delay (the
//                inverter's late time, 1500 ms unless set), as a drive that is slow to answer.
//  Deaf          after a frame it cannot parse (another protocol's frame, a broken check, noise)
//                ignores everything for a while (the inverter's late time; 500 ms by default
//                on the command line), then answers normally again.
enum class SimFault {
    None,
    Silent,
    CorruptCheck,
    Refuse,
    SplitReply,
    StrayBytes,
    LineError,
    LateReply,
    Deaf
};

// Names used on the command line and in logs: none, silent, corrupt, refuse, split, stray,
// line, late, deaf.
QString simFaultName(SimFault fault);
std::optional<SimFault> simFaultFromName(const QString &name);
QStringList simFaultNames();
