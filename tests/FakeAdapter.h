#pragma once

#include "serial/SerialDevice.h"

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>

// A serial adapter played on a pseudo-terminal: the bytes go through the pseudo-terminal,
// while RTS, the output queue, the transmitter and the line error counters are scripted. The
// worker threads call it; every call is recorded with the time it was made.
class FakeAdapter : public SerialDevice
{
public:
    using Transmitter = SerialDevice::Transmitter;

    FakeAdapter() { m_clock.start(); }

    // Answers in turn; the last one repeats. Set before a worker thread starts.
    QList<int> queueLengths{0};
    QList<Transmitter> transmitter{Transmitter::Empty};
    // Characters received with a framing error so far; tests raise it.
    std::atomic<int> frameErrors{0};

    struct Event
    {
        QByteArray what;
        qint64 ns;
    };
    QList<Event> events() const
    {
        QMutexLocker lock(&m_mutex);
        return m_events;
    }
    QByteArrayList eventNames() const
    {
        QByteArrayList names;
        for (const Event &event : events())
            names << event.what;
        return names;
    }
    // How often the receive thread has looked at the counters.
    int counterReads() const { return m_counterReads; }

    bool switchesRts() const override { return true; }
    void setRts(bool on) const override { record(on ? "rts on" : "rts off"); }
    int outputQueueLength() const override
    {
        const int length = next(queueLengths, m_queueTurn);
        record("queue " + QByteArray::number(length));
        return length;
    }
    Transmitter transmitterState() const override
    {
        const Transmitter state = next(transmitter, m_transmitterTurn);
        record(state == Transmitter::Empty     ? "empty"
               : state == Transmitter::Sending ? "sending"
                                               : "unknown");
        return state;
    }
    bool readLineErrorCounts(LineErrorCounts &counts) const override
    {
        counts = LineErrorCounts{};
        counts.frame = frameErrors;
        ++m_counterReads;
        return true;
    }

private:
    template <typename T> T next(const QList<T> &answers, int &turn) const
    {
        QMutexLocker lock(&m_mutex);
        return answers.at(std::min(turn++, int(answers.size()) - 1));
    }
    void record(const QByteArray &what) const
    {
        QMutexLocker lock(&m_mutex);
        m_events.append({what, m_clock.nsecsElapsed()});
    }

    mutable QMutex m_mutex;
    mutable QList<Event> m_events;
    mutable int m_queueTurn = 0;
    mutable int m_transmitterTurn = 0;
    mutable std::atomic<int> m_counterReads{0};
    QElapsedTimer m_clock;
};
