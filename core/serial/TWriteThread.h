#pragma once

#include "serial/WakeEvent.h"

#include <QByteArray>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QThread>

#include <cstdint>
#include <deque>
#include <memory>

class FrameGap;
class SerialDevice;

// The transmit thread of the serial port. Blocks queued with enqueue() go out one after the
// other, each whole, in the order they were queued. When the device has no RS-485 mode of its
// own, RTS is raised for each block and dropped once the last bit has left; when the adapter
// cannot tell, the block's line time after the driver's queue has drained. Every wait also
// watches the stop event; a write failure is reported and ends the thread.
// The signals are emitted on this thread; receivers connect with queued connections.
class TWriteThread : public QThread
{
    Q_OBJECT

public:
    TWriteThread(std::shared_ptr<SerialDevice> device, std::shared_ptr<WakeEvent> stop,
                 QObject *parent = nullptr);

    // True once the thread runs; false when it has not started within the time given.
    bool waitUntilRunning(int milliseconds);

    // Each block waits until the line has been silent for the gap's time since the last frame
    // ended (a gap of 0 sends at once).
    void setFrameGap(std::shared_ptr<FrameGap> gap) { m_frameGap = std::move(gap); }

    // Queues a block for sending; never blocks. False once the thread has ended.
    bool enqueue(const QByteArray &block);

signals:
    void failed(const QString &text);
    void hangupRequested();

protected:
    void run() override;

private:
    enum class Outcome { Done, Stopped, Failed };

    // Runs until the stop event is set or a failure has been reported.
    void sendLoop();
    bool takeBlock(QByteArray &block);
    Outcome HandleWriteData(const QByteArray &block);
    Outcome writeAll(const QByteArray &block);
    // Waits until the driver and the UART have sent everything; false when stopped first.
    bool waitUntilSent(qsizetype bytes);
    // Waits the given time unless the stop event comes first (false).
    bool pause(int64_t microseconds);
    // Waits until the CLOCK_MONOTONIC time given (ns), unless the stop event comes first.
    bool sleepUntil(int64_t untilNs);
    // Waits out the frame gap to the nanosecond, unless the stop event comes first (false).
    bool waitForGap();
    void fail(const QString &text, bool hangup);

    std::shared_ptr<SerialDevice> m_device;
    std::shared_ptr<WakeEvent> m_stop;
    std::shared_ptr<FrameGap> m_frameGap;
    WakeEvent m_queued;
    QSemaphore m_running;
    QMutex m_mutex;
    std::deque<QByteArray> m_queue; // guarded by m_mutex
    bool m_ended = false;           // guarded by m_mutex
    bool m_hangup = false;
};
