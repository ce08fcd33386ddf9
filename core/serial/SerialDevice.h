#pragma once

#include "serial/LineSettings.h"

#include <QString>

#include <termios.h>

// One open serial device: exclusive open, raw line setup for a half-duplex RS-485 adapter,
// RTS switching and the driver's line error counters. The worker threads share it with the
// port object; whoever lets go of it last closes it. The modem-line and counter queries are
// virtual so that tests can stand in for an adapter that a pseudo-terminal cannot play.
class SerialDevice
{
public:
    enum class OpenResult { Ok, OpenFailed, NotComm };

    // Counters the driver keeps of characters received with a line error.
    struct LineErrorCounts
    {
        int frame = 0;
        int overrun = 0;
        int parity = 0;
        bool operator==(const LineErrorCounts &) const = default;
    };

    // What the UART's transmitter reports once the driver's output queue is empty.
    enum class Transmitter { Empty, Sending, Unknown };

    SerialDevice() = default;
    virtual ~SerialDevice();
    SerialDevice(const SerialDevice &) = delete;
    SerialDevice &operator=(const SerialDevice &) = delete;

    // Opens a terminal device for reading and writing, non-blocking, and locks it against
    // every other opener. OpenFailed: no such device, no access, or someone else holds it.
    // NotComm: the name is not a terminal device. openError() then tells which errno it was.
    OpenResult open(const QString &path);
    // The errno of the last failed open (ENOTTY for NotComm); 0 after a successful one.
    int openError() const { return m_openError; }
    // Discards pending input and output, releases the lock and closes; nothing when closed.
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

    // Raw mode with the given speed, parity, stop bits and data bits, no flow control, DTR on,
    // and the transmitter direction of an RS-485 adapter: the driver's own RS-485 mode when it
    // has one, else RTS switched by the writer. Settings a device does not support (a
    // pseudo-terminal has no modem lines) are left as they are. False when the driver refuses
    // the line speed: the device then runs at a speed nobody chose, and must not be used.
    bool applyLineSettings(const LineSettings &settings);

    // The terminal attributes for the settings: raw 8-bit transfer, receiver on, modem status
    // lines and flow control off, the nearest standard speed.
    static termios lineAttributes(const termios &current, const LineSettings &settings);

    // True when the writer must raise RTS before sending and drop it when the line is empty.
    virtual bool switchesRts() const { return m_switchRts; }
    virtual void setRts(bool on) const;
    // Bytes still waiting in the driver's output queue; -1 when the driver cannot tell.
    virtual int outputQueueLength() const;
    // Whether the UART still shifts bits out. Unknown for adapters that cannot say (most USB
    // serial adapters): they may still be sending a whole frame from a buffer of their own.
    virtual Transmitter transmitterState() const;
    // The line speed in force after applyLineSettings: the requested one, or the nearest
    // standard speed when the driver takes no other.
    int baudRate() const { return m_baudRate; }
    // Time one character takes on the line with the applied settings.
    int characterTimeUs() const { return m_characterTimeUs; }
    // False when the driver keeps no counters (pseudo-terminals, some adapters).
    virtual bool readLineErrorCounts(LineErrorCounts &counts) const;

    void discardInput() const;
    void discardOutput() const;

    // True when the speed a driver reports in force carries the requested one: UARTs keep
    // in step within 2 %, so a divisor's rounding is accepted and a fallback speed is not.
    static bool rateAccepted(int requested, int inForce);
    // The standard line speed closest to the requested one (ties go to the slower speed).
    static int nearestStandardRate(int baudRate);
    static speed_t speedConstant(int standardRate);

private:
    int m_fd = -1;
    int m_openError = 0;
    bool m_switchRts = false;
    int m_baudRate = 9600;
    int m_characterTimeUs = 1042; // 10 bits at 9600 bit/s
};
