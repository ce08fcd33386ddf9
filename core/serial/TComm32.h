#pragma once

#include "serial/AdapterLatency.h"
#include "serial/CommLink.h"
#include "serial/LineSettings.h"
#include "serial/PortOpenFailure.h"
#include "setup/OperatorNotices.h"

#include <QString>

#include <atomic>
#include <memory>

class BurstEnd;
class FrameGap;
class SerialDevice;
class TcpLink;
class TReadThread;
class TWriteThread;
class WakeEvent;

// The serial port: opens one terminal device exclusively, sets the line up for a half-duplex
// RS-485 adapter and moves bytes through a receive thread and a transmit thread. Everything
// the threads produce (received chunks, failure reports, hang-up requests) reaches the owner
// on the thread that owns this object. Failures are reported as operator notices; a lost line
// (an unplugged adapter, a gateway gone) is reported once per loss.
class TComm32 : public CommLink
{
    Q_OBJECT

public:
    // How long StopComm waits for each worker thread to end.
    static constexpr int ThreadStopTimeoutMs = 10000;

    explicit TComm32(QObject *parent = nullptr);
    ~TComm32() override;

    // Line properties: read and written without side effects, applied by the next StartComm.
    QString commPort() const { return m_commPort; }
    void setCommPort(const QString &port) { m_commPort = port; }
    int baudRate() const { return m_line.baudRate; }
    void setBaudRate(int baudRate) { m_line.baudRate = baudRate; }
    TParity parity() const { return m_line.parity; }
    void setParity(TParity parity) { m_line.parity = parity; }
    TStopBits stopBits() const { return m_line.stopBits; }
    void setStopBits(TStopBits stopBits) { m_line.stopBits = stopBits; }
    int byteSize() const { return m_line.byteSize; }
    void setByteSize(int byteSize) { m_line.byteSize = byteSize; }

    // The exchange timing that travels with the line settings; the standard one by default.
    std::optional<ExchangeTiming> exchangeTiming() const override { return m_timing; }
    void setExchangeTiming(const ExchangeTiming &timing) { m_timing = timing; }

    // The device a port name opens: "COM1", "COM2", ... are /dev/ttyS0, /dev/ttyS1, ...;
    // any other name is a device path as it stands.
    static QString devicePath(const QString &commPort);

    // A failed open is reported in one box: the driver's own text, then the device and the
    // reason in the operator's words on a second line.
    bool StartComm() override;
    // Why the last StartComm failed (reason None after a successful one).
    const PortOpenFailure &startFailure() const { return m_startFailure; }
    // Off: StartComm shows no box and leaves its failure to the caller, through startFailure.
    void setReportsStartFailures(bool on) { m_reportsStartFailures = on; }
    void StopComm() override;
    bool WriteCommData(const uint8_t *buffer, uint16_t length) override;
    // True from a successful open until StopComm, also after a worker thread has failed.
    bool isOpen() const override;
    // The device path of CommPort.
    QString portName() const override { return devicePath(m_commPort); }
    bool deviceExists() const override;
    QString deviceFile() const override;
    // Of the open line, else of the line settings.
    int characterTimeUs() const override;
    void discardInput() override;
    void setBurstEnd(std::shared_ptr<const ReplyRule> rule, int gapMs) override;
    void setEcho(EchoMode mode, bool lineEchoes) override;
    // Serial lines only: a gateway's bytes keep coming as chunks.
    bool setBatchDelivery(int quietUs) override;
    // The adapter's latency timer in force on the open device.
    int deliveryDelayMs() const override;

    // What the last open of a serial device found and set of the adapter's latency (told
    // as a lineNote too); where sysfs is looked up, for tests.
    const AdapterLatency::Report &adapterLatency() const { return m_latency; }
    void setSysfsRoot(const QString &root) { m_sysfsRoot = root; }
    // A serial line times the gap in its transmit thread; a gateway's line is not its own.
    bool keepFrameGap(int gapUs) override;
    int64_t requestEndNs() const override;
    int64_t receivedNs() const override;
    int64_t frameGapLeftNs() const override;

    // The gateway link while a "tcp:" port is open; null otherwise.
    TcpLink *tcpLink() const { return m_tcp; }

private:
    bool startTcp();
    void receiveChunk(const QByteArray &chunk);
    void receiveBatch(const ReceivedBatch &batch);
    void reportFailure(const QString &text);
    void report(const QString &text, OperatorNotice::Cause cause);
    bool failStart(const QString &driverText, const PortOpenFailure &failure);
    bool failStart(const QString &driverText);
    void requestHangup();
    void reportDeviceLost();
    template <typename Thread> void finishThread(std::unique_ptr<Thread> &thread);

    QString m_commPort;
    LineSettings m_line;
    ExchangeTiming m_timing;
    std::unique_ptr<TReadThread> m_readThread;
    std::unique_ptr<TWriteThread> m_writeThread;
    std::shared_ptr<SerialDevice> m_device;
    std::shared_ptr<WakeEvent> m_stop;
    // A child of this port; a stopped link is deleted later, since the stop may come from
    // inside one of its own signals.
    TcpLink *m_tcp = nullptr;
    std::shared_ptr<BurstEnd> m_burstEnd;
    std::shared_ptr<FrameGap> m_frameGap;
    // The silence that ends a listening batch (microseconds); 0: chunks.
    std::shared_ptr<std::atomic<int>> m_batchQuietUs;
    bool m_lossReported = false;
    // The gateway's loss was reported and no connection has stood since.
    bool m_gatewayLossReported = false;
    PortOpenFailure m_startFailure;
    bool m_reportsStartFailures = true;
    AdapterLatency::Report m_latency;
    QString m_latencyNoted;
    QString m_sysfsRoot = QStringLiteral("/sys");
};
