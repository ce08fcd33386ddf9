#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The serial devices present on this machine, offered to the operator besides "COM1" and
// "COM2". A listed entry is a device path that the serial port opens as it stands.
class SerialPortList
{
public:
    // Whether a device node is backed by a serial port that answers. The on-board UART nodes
    // (ttyS*) exist whether or not hardware is behind them, so they are asked one by one.
    using Probe = std::function<bool(const QString &path)>;

    // The devices under devRoot, in this order: the stable names in serial/by-id (by name),
    // then ttyUSB*, ttyACM* and, where the probe answers, ttyS* (each by number). A by-id
    // name that leads nowhere is left out, and so is every entry that leads to a device
    // already listed or named in `covered` (the devices that "COM1" and "COM2" open).
    static QStringList devices(const QString &devRoot, const Probe &probe,
                               const QStringList &covered = {});

    // The devices of this machine: devices("/dev", answersAsUart, the devices of "COM1"
    // and "COM2").
    static QStringList available();

    // True when the node is a UART the driver knows (its serial info names a port type) or
    // is held by another opener (a port in use is a port).
    static bool answersAsUart(const QString &path);
};
