#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// Pulls the simulator's link and puts it back, as an operator does with a USB adapter or a
// gateway's power: on a schedule (first pull after afterMs, back after pauseMs, again every
// everyMs from the previous pull) or when asked (the SIGUSR1 and SIGUSR2 handlers call
// unplug() and replug()). The timers are members, so tests drive it by calling the handlers.
class LinePlug : public QObject
{
    Q_OBJECT

public:
    struct Schedule
    {
        int afterMs = -1; // -1: no scheduled pull (everyMs alone pulls first after everyMs)
        int pauseMs = 1000;
        int everyMs = -1; // -1: once

        bool any() const { return afterMs >= 0 || everyMs > 0; }
    };
    // Each returns false with *error set when the link could not be pulled or put back.
    using Action = std::function<bool(QString *error)>;

    LinePlug(Action pull, Action putBack, QObject *parent = nullptr);

    void setSchedule(const Schedule &schedule) { m_schedule = schedule; }
    const Schedule &schedule() const { return m_schedule; }
    // Starts the schedule's first pull.
    void start();

    bool isPlugged() const { return m_plugged; }
    // Pull now; it stays out until replug() (or the next scheduled return).
    void unplug();
    // Put back now; a pending scheduled return is dropped.
    void replug();

    QTimer &pullTimer() { return m_pullTimer; }
    QTimer &returnTimer() { return m_returnTimer; }

signals:
    // Told on every change, with the reason when an action failed.
    void changed(bool plugged, const QString &error);

private:
    void scheduledPull();

    Action m_pull;
    Action m_putBack;
    Schedule m_schedule;
    QTimer m_pullTimer;
    QTimer m_returnTimer;
    bool m_plugged = true;
};
