#pragma once

#include <QByteArray>

// One request taken off the line by the simulated bus.
struct SimFrame
{
    enum class Protocol { Modbus, Slash };

    Protocol protocol = Protocol::Modbus;
    QByteArray bytes;
    // False only for a slash frame of a known form whose sum is wrong; such a frame is still
    // handed to the addressed KX200, which answers it with 'N'. Modbus frames with a bad CRC
    // are never delivered.
    bool checkOk = true;
    // Sent to every inverter of the protocol: Modbus slave address 0, or the slash form
    // without an address byte.
    bool broadcast = false;
    // The addressed bus address; -1 for a broadcast.
    int address = -1;
};
