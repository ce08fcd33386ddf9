#pragma once

#include <QJsonObject>
#include <QString>

// How late a serial adapter hands received bytes over, set as low as the driver allows when a
// port opens. A USB serial adapter collects bytes for up to its latency timer (16 ms by
// default) before it sends them to the host; where its driver exposes the timer in sysfs
// (.../tty/<name>/device/latency_timer) it is set to 1 ms, and the kernel's low-latency flag
// (TIOCSSERIAL) is set where the driver takes it. Nothing here is required: a port opens the
// same whatever was found, and the report says what was found, set, or why not.
class AdapterLatency
{
public:
    static constexpr int TargetTimerMs = 1;

    enum class Timer {
        NotUsb,       // the device is no USB adapter (or no tty sysfs knows of)
        NoTimer,      // a USB adapter whose driver has no latency timer
        Unreadable,   // the timer is there but could not be read
        Kept,         // already at the target
        Set,          // lowered to the target
        NoPermission, // not ours to change (the udev rule sets it for everyone)
        WriteFailed   // the driver refused the value
    };
    enum class Flag { Unsupported, AlreadySet, Set, NoPermission };

    struct Report
    {
        QString device; // the tty device, links resolved: "/dev/ttyUSB0"
        Timer timer = Timer::NotUsb;
        int foundMs = -1;   // the timer as found; -1 without one
        int inForceMs = -1; // the timer after the attempt; -1 without one
        Flag flag = Flag::Unsupported;

        // The traffic log's note: "Адаптер /dev/ttyUSB0: таймер задержки 16 мс → 1 мс; ...".
        QString text() const;
        // The same in the command-line tool's words.
        QString englishText() const;
        QJsonObject toJson() const;
        // How late received bytes may still be handed over, for the reply deadline.
        int deliveryDelayMs() const { return inForceMs > 0 ? inForceMs : 0; }
    };

    // Looks the device up under sysfsRoot (tests pass a temporary tree) and sets what it can;
    // fd is the open device, for the low-latency flag (-1: not tried).
    static Report apply(const QString &devicePath, int fd,
                        const QString &sysfsRoot = QStringLiteral("/sys"));
    static Flag applyLowLatencyFlag(int fd);
};
