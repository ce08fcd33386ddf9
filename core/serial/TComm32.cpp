#include "serial/TComm32.h"

#include "serial/FrameGap.h"
#include "serial/ReplyRule.h"
#include "serial/SerialDevice.h"
#include "serial/TReadThread.h"
#include "serial/TWriteThread.h"
#include "serial/TcpLink.h"
#include "serial/WakeEvent.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>

#include <utility>

namespace {

// A created thread reports running at once; the wait is bounded so that a start that goes
// wrong never holds the window for long.
constexpr int ThreadStartTimeoutMs = 1000;

// Started means created: a thread that failed to be created neither runs nor has finished.
bool startThread(QThread &thread, QThread::Priority priority)
{
    thread.start(priority);
    return thread.isRunning() || thread.isFinished();
}

} // namespace

TComm32::TComm32(QObject *parent)
    : CommLink(parent), m_burstEnd(std::make_shared<BurstEnd>()),
      m_frameGap(std::make_shared<FrameGap>()),
      m_batchQuietUs(std::make_shared<std::atomic<int>>(0))
{
}

TComm32::~TComm32()
{
    // Owners call StopComm first; an owner that forgets must not leave the worker threads
    // running on a device whose port object is gone.
    StopComm();
}

QString TComm32::devicePath(const QString &commPort)
{
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]{0,2})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comName.match(commPort);
    if (!match.hasMatch())
        return commPort;
    return QStringLiteral("/dev/ttyS%1").arg(match.captured(1).toInt() - 1);
}

bool TComm32::isOpen() const
{
    return m_device != nullptr || (m_tcp && m_tcp->isOpen());
}

bool TComm32::startTcp()
{
    QString error;
    const std::optional<TcpLink::Endpoint> endpoint = TcpLink::parseName(m_commPort, &error);
    if (!endpoint)
        return failStart(QStringLiteral("Неверное имя шлюза %1").arg(error));
    m_tcp = new TcpLink(this);
    m_tcp->setReceiveOnly(receiveOnly());
    m_tcp->setEndpoint(*endpoint);
    connect(m_tcp, &CommLink::OnReceiveData, this, &TComm32::receiveChunk);
    // While the owner waits for the connection itself, the failure is its to tell. Each
    // request while the gateway stays away fails again; the loss is told once, until a
    // connection stands again.
    connect(m_tcp, &TcpLink::connectionFailed, this, [this](const QString &text) {
        if (!m_reportsStartFailures || m_gatewayLossReported)
            return;
        m_gatewayLossReported = true;
        report(text, OperatorNotice::Cause::LineLoss);
    });
    connect(m_tcp, &TcpLink::connected, this, [this] { m_gatewayLossReported = false; });
    connect(m_tcp, &CommLink::OnRequestHangup, this, &TComm32::requestHangup);
    const BurstEnd::State end = m_burstEnd->state();
    m_tcp->setBurstEnd(end.rule, end.gapMs);
    if (!m_tcp->StartComm())
        return false;
    emit started();
    return true;
}

bool TComm32::deviceExists() const
{
    // A gateway is tried again whenever asked: only the connection tells whether it is there.
    if (TcpLink::isTcpName(m_commPort))
        return true;
    return QFileInfo::exists(portName());
}

QString TComm32::deviceFile() const
{
    return TcpLink::isTcpName(m_commPort) ? QString() : portName();
}

int TComm32::characterTimeUs() const
{
    if (m_device)
        return m_device->characterTimeUs();
    const int rate = std::max(1, m_line.baudRate);
    const int dataBits = m_line.byteSize >= 5 && m_line.byteSize <= 8 ? m_line.byteSize : 8;
    const int bits =
        1 + dataBits + (m_line.parity == pNone ? 0 : 1) + (m_line.stopBits == sb1_0 ? 1 : 2);
    return int((int64_t(bits) * 1000000 + rate - 1) / rate);
}

void TComm32::discardInput()
{
    if (m_tcp)
        m_tcp->discardInput();
    if (m_device)
        m_device->discardInput();
}

void TComm32::setBurstEnd(std::shared_ptr<const ReplyRule> rule, int gapMs)
{
    if (m_tcp)
        m_tcp->setBurstEnd(rule, gapMs);
    m_burstEnd->set(std::move(rule), gapMs);
}

void TComm32::setEcho(EchoMode mode, bool lineEchoes)
{
    m_burstEnd->setEcho(mode, lineEchoes);
}

bool TComm32::setBatchDelivery(int quietUs)
{
    if (TcpLink::isTcpName(m_commPort)) {
        m_batchQuietUs->store(0);
        return false;
    }
    m_batchQuietUs->store(std::max(0, quietUs));
    return true;
}

int TComm32::deliveryDelayMs() const
{
    return m_device ? m_latency.deliveryDelayMs() : 0;
}

bool TComm32::keepFrameGap(int gapUs)
{
    if (TcpLink::isTcpName(m_commPort)) {
        m_frameGap->setGapUs(0);
        return false;
    }
    m_frameGap->setGapUs(std::max(0, gapUs));
    return true;
}

int64_t TComm32::requestEndNs() const
{
    return m_tcp ? 0 : m_frameGap->sentEndNs();
}

int64_t TComm32::receivedNs() const
{
    return m_tcp ? 0 : m_frameGap->receivedNs();
}

int64_t TComm32::frameGapLeftNs() const
{
    return m_tcp ? 0 : m_frameGap->remainingNs(FrameGap::nowNs());
}

bool TComm32::StartComm()
{
    m_startFailure = PortOpenFailure();
    const QString path = devicePath(m_commPort);
    if (m_device || m_tcp)
        return failStart(QStringLiteral("Already have a comm file open(from TComm32::StartComm)."));
    if (TcpLink::isTcpName(m_commPort))
        return startTcp();

    auto device = std::make_shared<SerialDevice>();
    switch (device->open(path)) {
    case SerialDevice::OpenResult::OpenFailed:
        return failStart(QStringLiteral("Error opening comm port(from TComm32::StartComm)."),
                         PortOpenFailure::fromError(path, device->openError()));
    case SerialDevice::OpenResult::NotComm:
        return failStart(
            QStringLiteral("File handle is not a comm handle(from TComm32::StartComm)."),
            PortOpenFailure::fromError(path, device->openError()));
    case SerialDevice::OpenResult::Ok:
        break;
    }
    LineSettings line = m_line;
    line.receiveOnly = receiveOnly();
    if (!device->applyLineSettings(line)) {
        // Running at a speed nobody chose only shows up later as time-outs: the device is
        // closed again (with the last share of it) and the port stays closed.
        PortOpenFailure failure(PortOpenFailure::Reason::SpeedRefused, path);
        failure.setBaudRate(m_line.baudRate);
        return failStart(QString(), failure);
    }

    // Received bytes as early as the adapter's driver hands them over.
    m_latency = AdapterLatency::apply(path, device->fd(), m_sysfsRoot);

    auto stop = std::make_shared<WakeEvent>();
    if (!stop->isValid())
        return failStart(QStringLiteral("Unable to create event(from TComm32::StartCom)."));
    // From here the port counts as open even if a thread cannot be created; StopComm closes it.
    m_device = device;
    m_stop = stop;

    m_lossReported = false;
    m_burstEnd->setRequest(QByteArray());
    m_readThread = std::make_unique<TReadThread>(device, stop);
    m_readThread->setBurstEnd(m_burstEnd);
    m_readThread->setFrameGap(m_frameGap);
    m_readThread->setBatchQuiet(m_batchQuietUs);
    connect(m_readThread.get(), &TReadThread::batchReceived, this, &TComm32::receiveBatch,
            Qt::QueuedConnection);
    connect(m_readThread.get(), &TReadThread::deviceLost, this, &TComm32::reportDeviceLost,
            Qt::QueuedConnection);
    connect(m_readThread.get(), &TReadThread::dataReceived, this, &TComm32::receiveChunk,
            Qt::QueuedConnection);
    connect(m_readThread.get(), &TReadThread::failed, this, &TComm32::reportFailure,
            Qt::QueuedConnection);
    connect(m_readThread.get(), &TReadThread::hangupRequested, this, &TComm32::requestHangup,
            Qt::QueuedConnection);
    if (!startThread(*m_readThread, QThread::HighestPriority)) {
        m_readThread.reset();
        return failStart(QStringLiteral("Unable to create Read Thread(from TComm32::StartCom)"));
    }

    m_writeThread = std::make_unique<TWriteThread>(device, stop);
    m_writeThread->setFrameGap(m_frameGap);
    connect(m_writeThread.get(), &TWriteThread::failed, this, &TComm32::reportFailure,
            Qt::QueuedConnection);
    connect(m_writeThread.get(), &TWriteThread::hangupRequested, this, &TComm32::requestHangup,
            Qt::QueuedConnection);
    if (!startThread(*m_writeThread, QThread::HighPriority)) {
        m_writeThread.reset();
        return failStart(QStringLiteral("Unable to create write thread(from TComm32::StartCom)"));
    }

    // One deadline for both threads. A thread that is late stays set up like one that could
    // not be created: the port counts as open until the owner's StopComm.
    const QDeadlineTimer deadline(ThreadStartTimeoutMs);
    if (!m_readThread->waitUntilRunning(int(deadline.remainingTime())) ||
        !m_writeThread->waitUntilRunning(int(deadline.remainingTime())))
        return failStart(QString(), PortOpenFailure(PortOpenFailure::Reason::NoStart, path));
    // Told once, not at each restart of the port, unless something changed.
    if (const QString note = m_latency.text(); note != m_latencyNoted) {
        m_latencyNoted = note;
        emit lineNote(note);
    }
    emit started();
    return true;
}

bool TComm32::failStart(const QString &driverText, const PortOpenFailure &failure)
{
    m_startFailure = failure;
    if (!m_reportsStartFailures)
        return false;
    // The driver's text stays the box's first line; the operator's words follow it.
    QStringList lines;
    if (!driverText.isEmpty())
        lines << driverText;
    lines << failure.operatorText();
    reportFailure(lines.join(QLatin1Char('\n')));
    return false;
}

bool TComm32::failStart(const QString &driverText)
{
    // Failures with nothing to add for the operator: the caller that words failures itself
    // gets the driver's text as the reason.
    m_startFailure = PortOpenFailure(PortOpenFailure::Reason::Other, devicePath(m_commPort));
    m_startFailure.setSystemText(driverText);
    if (m_reportsStartFailures)
        reportFailure(driverText);
    return false;
}

void TComm32::StopComm()
{
    if (m_tcp) {
        // A lost gateway hangs up from inside its socket's error signal, and the owner stops
        // the port from its hang-up handler: the link is stopped now and deleted once control
        // is back in the event loop.
        TcpLink *link = std::exchange(m_tcp, nullptr);
        disconnect(link, nullptr, this, nullptr);
        link->StopComm();
        link->deleteLater();
    }
    if (!m_device)
        return;
    // Both threads see the stop event in every wait and end at once; discarding the queues
    // first keeps the device from holding anything up.
    m_stop->set();
    m_device->discardInput();
    finishThread(m_readThread);
    m_device->discardOutput();
    finishThread(m_writeThread);
    // A thread that did not end keeps its share of the device and the event, so its
    // descriptors stay valid until it is gone; the device is closed with the last share.
    m_device.reset();
    m_stop.reset();
}

template <typename Thread> void TComm32::finishThread(std::unique_ptr<Thread> &thread)
{
    if (!thread)
        return;
    if (thread->wait(QDeadlineTimer(ThreadStopTimeoutMs))) {
        thread.reset();
        return;
    }
    // Never block the owner on a stuck thread: let it go and delete itself once it ends.
    Thread *straggler = thread.release();
    disconnect(straggler, nullptr, this, nullptr);
    connect(straggler, &QThread::finished, straggler, &QObject::deleteLater);
    if (straggler->isFinished())
        delete straggler;
}

bool TComm32::WriteCommData(const uint8_t *buffer, uint16_t length)
{
    if (refuseWrite())
        return false;
    if (m_tcp)
        return m_tcp->WriteCommData(buffer, length);
    if (!m_writeThread) {
        reportFailure(QStringLiteral("Write thread not created(from TComm32::WriteCommData)."));
        return false;
    }
    if (length == 0)
        return true;
    if (!buffer)
        return false;
    // The receive thread frames what follows as the reply to this request.
    m_burstEnd->setRequest(QByteArray(reinterpret_cast<const char *>(buffer), length));
    // A transmit thread that ended after a failure has reported it; nothing is queued.
    return m_writeThread->enqueue(QByteArray(reinterpret_cast<const char *>(buffer), length));
}

void TComm32::receiveChunk(const QByteArray &chunk)
{
    emit OnReceiveData(chunk);
}

void TComm32::receiveBatch(const ReceivedBatch &batch)
{
    emit OnReceiveBatch(batch);
}

void TComm32::reportFailure(const QString &text)
{
    report(text, OperatorNotice::Cause::Other);
}

void TComm32::report(const QString &text, OperatorNotice::Cause cause)
{
    OperatorNotice notice;
    notice.text = text;
    notice.port = portName();
    notice.cause = cause;
    ReportNotice(notice);
}

void TComm32::reportDeviceLost()
{
    // Told once per open, however many workers notice it.
    if (m_lossReported)
        return;
    m_lossReported = true;
    report(QStringLiteral("нет связи с портом %1").arg(portName()),
           OperatorNotice::Cause::LineLoss);
}

void TComm32::requestHangup()
{
    emit OnRequestHangup(this);
}
