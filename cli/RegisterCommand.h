#pragma once

#include <QString>

class CliOutput;
class CliSession;

// read and write: one exchange with one register through the driver of the address's model.
// Register numbers that the driver takes as command codes (run, stop, direction, operation
// word) are refused, so that a register write can never start or stop a motor.
class RegisterCommand
{
public:
    RegisterCommand(CliSession &session, CliOutput &out) : m_session(session), m_out(out) {}

    int read(int address, int registerNumber, const QString &model);
    // Moves the inverter at oldAddress to newAddress with the address setting's broadcast
    // write, after detection has found it at oldAddress and nothing at newAddress; detection
    // at newAddress then confirms the move. Every inverter on the line takes a broadcast, so
    // the drive must be the only one connected.
    int setAddress(int oldAddress, int newAddress);
    // Refuses the model's bus-address register unless forced.
    int write(int address, int registerNumber, int value, const QString &model,
              bool force = false);

    // What the model's driver does instead of writing the register; empty for a plain register.
    static QString commandCodeName(const QString &model, int registerNumber);

private:
    // Usage (2) with the reason printed when a write of the value to the register of a model
    // is refused: a command code, the bus address without force, a value its table row does
    // not take; 0 when it may go.
    int refuseWrite(const QString &type, int registerNumber, int value, bool force);
    int finish(int address, int registerNumber, const QString &what, int result, int value);

    CliSession &m_session;
    CliOutput &m_out;
};
