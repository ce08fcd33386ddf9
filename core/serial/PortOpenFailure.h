#pragma once

#include <QString>

// Why a serial port did not open, in words an operator can act on: the device, the reason
// and what to do about it. The port driver fills it in; the program shows it beside the
// driver's own failure text and the command-line tool prints it as its one error line.
class PortOpenFailure
{
public:
    enum class Reason {
        None,         // the port opened
        Missing,      // no such device (unplugged adapter, wrong name, stale link)
        Busy,         // another program holds the device
        NoAccess,     // the user may not open the device
        NotTerminal,  // the name is not a serial device
        SpeedRefused, // the device's driver takes no such line speed
        NoStart,      // the worker threads did not report running in time
        Other,        // anything else; the system's text for the error is given
    };

    PortOpenFailure() = default;
    PortOpenFailure(Reason reason, const QString &device) : m_reason(reason), m_device(device) {}

    // The failure of an open() of the device, from its errno; the group to join is looked up
    // when access was refused.
    static PortOpenFailure fromError(const QString &device, int error);
    static Reason reasonForError(int error);
    // The group owning the device node the path leads to (symbolic links followed), which a
    // user joins to get access; empty when unknown or when it is root's.
    static QString deviceGroup(const QString &path);

    Reason reason() const { return m_reason; }
    QString device() const { return m_device; }
    QString group() const { return m_group; }
    void setGroup(const QString &group) { m_group = group; }
    int baudRate() const { return m_baudRate; }
    void setBaudRate(int baudRate) { m_baudRate = baudRate; }
    void setSystemText(const QString &text) { m_systemText = text; }

    // One Russian sentence or two for the operator's box.
    QString operatorText() const;
    // The command-line tool's error line (without the program name).
    QString commandLineText() const;

private:
    Reason m_reason = Reason::None;
    QString m_device;
    QString m_group;
    QString m_systemText;
    int m_baudRate = 0;
};
