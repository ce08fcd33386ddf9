#pragma once

#include "sim/DriveModel.h"
#include "sim/SimFault.h"
#include "sim/SimFrame.h"

#include <QByteArray>
#include <QString>

#include <optional>

// One simulated inverter on the bus: its bus address, its motor, the fault it is told to
// show and whether it answers broadcast address writes. A model class adds its protocol and
// its registers. Not thread-safe by itself: the bus serialises every access.
class SimInverter
{
public:
    SimInverter(int address, const DriveModel::Ratings &ratings);
    virtual ~SimInverter();
    SimInverter(const SimInverter &) = delete;
    SimInverter &operator=(const SimInverter &) = delete;

    virtual QString modelName() const = 0;
    virtual SimFrame::Protocol protocol() const = 0;
    // Lowest and highest bus address the model accepts.
    virtual int lowestAddress() const = 0;
    virtual int highestAddress() const = 0;

    // Handles a request addressed to this inverter (or broadcast) and returns the reply
    // bytes; an empty result means no reply.
    virtual QByteArray handleFrame(const SimFrame &frame) = 0;
    // The reply of an inverter that refuses the request.
    virtual QByteArray refusalReply(const SimFrame &frame) const = 0;
    // Number of check bytes at the end of a reply.
    virtual int checkLength() const = 0;

    // Register access for tests and tools, as the bus would see it; nullopt when the
    // inverter has no such register.
    virtual std::optional<quint16> registerValue(quint32 reg) const = 0;
    // Writes a register as a bus write would; false when the inverter refuses it.
    virtual bool setRegisterValue(quint32 reg, quint16 value) = 0;
    // The operation word as the inverter reports it when read.
    virtual quint16 operationWord() const = 0;

    int address() const { return m_address; }
    // False when the address is outside the model's range.
    bool setAddress(int address);
    bool validAddress(int address) const;

    bool answersBroadcast() const { return m_answersBroadcast; }
    void setAnswersBroadcast(bool answers) { m_answersBroadcast = answers; }

    SimFault fault() const { return m_fault; }
    void setFault(SimFault fault) { m_fault = fault; }
    // How long a late reply (SimFault::LateReply) waits before it goes on the line.
    static constexpr int DefaultLateMs = 1500;
    int lateMs() const { return m_lateMs; }
    void setLateMs(int milliseconds) { m_lateMs = milliseconds; }

    // Number of commit writes handled.
    int commitCount() const { return m_commits; }

    DriveModel &drive() { return m_drive; }
    const DriveModel &drive() const { return m_drive; }

protected:
    void countCommit() { ++m_commits; }

private:
    DriveModel m_drive;
    int m_address;
    int m_commits = 0;
    SimFault m_fault = SimFault::None;
    int m_lateMs = DefaultLateMs;
    bool m_answersBroadcast = true;
};
