#include "cli/CliSession.h"

#include "cli/CliOptions.h"

#include "bus/BusHost.h"
#include "bus/TDM.h"
#include "serial/MessageNumbers.h"
#include "serial/TComm32.h"
#include "serial/TcpLink.h"
#include "serial/WindowMessage.h"
#include "sim/SimulatedPlant.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <utility>

CliSession::CliSession(QObject *parent) : QObject(parent) {}

CliSession::~CliSession()
{
    // The host goes first: it is connected to the port, which the plant serves.
    m_host.reset();
    m_port.reset();
    m_plant.reset();
}

bool CliSession::open(const Settings &settings, QString *error)
{
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    QString portName = settings.port;
    if (settings.simulate) {
        m_plant = std::make_unique<SimulatedPlant>();
        QString why;
        portName = m_plant->start(&why);
        if (portName.isEmpty())
            return fail(QStringLiteral("the simulated inverters did not start: %1").arg(why));
    }
    m_devicePath = TComm32::devicePath(portName);

    m_port = std::make_unique<TComm32>();
    m_port->setCommPort(portName);
    m_port->setBaudRate(settings.line.baudRate);
    m_port->setParity(settings.line.parity);
    m_port->setStopBits(settings.line.stopBits);
    m_port->setByteSize(settings.line.byteSize);
    m_port->setReceiveOnly(settings.receiveOnly);
    m_host = std::make_unique<BusHost>(m_port.get());
    connect(&m_host->engine(), &TransactionEngine::portLost, this, [this](const QString &port) {
        m_lostPort = port;
        wake();
    });
    connect(&m_host->engine(), &TransactionEngine::portReturned, this, [] { wake(); });
    // The engine takes the timing up when the port starts.
    ExchangeTiming timing;
    timing.fast = settings.fastTiming;
    if (settings.fastTiming && settings.timeoutMs > 0)
        timing.replyTimeoutMs = settings.timeoutMs;
    timing.echo = settings.echo;
    timing.resyncMs = settings.resyncMs;
    m_port->setExchangeTiming(timing);
    if (!settings.fastTiming && settings.timeoutMs > 0) {
        // No reply ends an exchange on the first tick past the limit, about timeoutMs after
        // the request.
        const int interval = std::max(10, settings.timeoutMs / 10);
        m_host->engine().setTimerInterval(interval);
        m_host->engine().setTimeOutLimit(std::max(0, settings.timeoutMs - interval));
    }

    // The driver's failure goes into the tool's one error line, not into a box of its own.
    m_port->setReportsStartFailures(false);
    if (!m_port->StartComm())
        return fail(m_port->startFailure().commandLineText());
    if (TcpLink *gateway = m_port->tcpLink()) {
        if (!waitForGateway(*gateway, error))
            return false;
    }
    m_port->setReportsStartFailures(true);
    return true;
}

bool CliSession::waitForGateway(TcpLink &gateway, QString *error)
{
    // Nothing is sent before the connection stands, so a gateway that cannot be reached is
    // named before any command starts.
    QEventLoop loop;
    QString why;
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&gateway, &TcpLink::connected, &loop, &QEventLoop::quit);
    connect(&gateway, &TcpLink::connectionFailed, &loop, [&](const QString &text) {
        why = text;
        loop.quit();
    });
    guard.start(TcpLink::ConnectTimeoutMs + 500);
    loop.exec();
    if (gateway.isConnected())
        return true;
    if (error)
        *error = why.isEmpty() ? QStringLiteral("no connection to gateway %1")
                                     .arg(TcpLink::endpointText(gateway.endpoint()))
                               : why;
    return false;
}

bool CliSession::isOpen() const
{
    return m_port && m_port->isOpen();
}

TDM &CliSession::registry()
{
    return m_host->registry();
}

int CliSession::exchangeGuardMs() const
{
    const TransactionEngine &engine = m_host->engine();
    if (engine.timing() == TransactionEngine::Timing::Fast)
        return engine.replyTimeoutMs() + engine.guardMs() + 5000;
    const int interval = std::max(1, m_host->engine().timerInterval());
    const int ticks = m_host->engine().timeOutLimit() / interval + 2;
    return ticks * interval + 5000;
}

namespace {
// The event loop of the innermost waitUntil; wake() quits it.
QEventLoop *waitingLoop = nullptr;
} // namespace

void CliSession::wake()
{
    if (waitingLoop)
        waitingLoop->quit();
}

bool CliSession::waitUntil(const std::function<bool()> &done, int guardMs)
{
    const QDeadlineTimer deadline(guardMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        guard.start(int(std::max<qint64>(1, deadline.remainingTime())));
        QEventLoop *outer = std::exchange(waitingLoop, &loop);
        loop.exec();
        waitingLoop = outer;
    }
    return true;
}

void CliSession::pause(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(std::max(0, milliseconds), &loop, &QEventLoop::quit);
    loop.exec();
}

QString CliSession::linkLostText() const
{
    return QStringLiteral("connection to %1 lost").arg(m_lostPort);
}

QList<CliSession::Detection> CliSession::detect(const QList<int> &addresses)
{
    QList<Detection> found;
    InverterDetector &detector = m_host->detector();
    const auto connection = connect(&detector, &InverterDetector::slotDetected, this,
                                    [this, &found](int slot, int state) {
                                        found.append({slot, state, registry().GetTypeName(slot)});
                                        wake();
                                    });
    int queued = 0;
    for (int address : addresses) {
        if (detector.queueSlot(address))
            ++queued;
    }
    // Each probe chain ends by reply or time-out: three exchanges at most per address.
    waitUntil([&] { return found.size() >= queued || linkLost(); }, queued * 3 * exchangeGuardMs());
    disconnect(connection);
    // Interleaved chains end in any order; the caller gets them in the order it asked.
    std::stable_sort(found.begin(), found.end(),
                     [&addresses](const Detection &a, const Detection &b) {
                         return addresses.indexOf(a.address) < addresses.indexOf(b.address);
                     });
    return found;
}

int CliSession::confirmModel(int address, const QString &expected, QString *error)
{
    QString why;
    if (!ensureInverter(address, QString(), &why)) {
        if (error)
            *error = why;
        return 1;
    }
    const QString found = registry().GetTypeName(address);
    if (!expected.isEmpty() && found != expected) {
        if (error)
            *error = QStringLiteral("address %1 holds a %2, not a %3").arg(address).arg(found,
                                                                                  expected);
        return 2;
    }
    return 0;
}

bool CliSession::ensureInverter(int address, const QString &model, QString *error)
{
    TDM &dm = registry();
    if (!model.isEmpty()) {
        if (dm.GetTypeName(address) == model)
            return true;
        if (model == QLatin1String("KX100"))
            return dm.CreateKX100(address);
        if (model == QLatin1String("KX200"))
            return dm.CreateKX200(address);
        return dm.CreateKX300(address);
    }
    const QList<Detection> result = detect({address});
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (linkLost())
        return fail(linkLostText());
    if (result.isEmpty())
        return fail(QStringLiteral("detection of address %1 did not end").arg(address));
    if (result.first().state == 0)
        return fail(QStringLiteral("no inverter answers at address %1").arg(address));
    if (result.first().state != 1)
        return fail(QStringLiteral("the inverter at address %1 answers wrongly (%2 probe)")
                        .arg(address)
                        .arg(result.first().model));
    return true;
}

std::optional<TransactionRecord> CliSession::exchange(int slot, int32_t value, const Builder &build)
{
    TransactionRecord record;
    InitTransaction(record, this, Msg::MonitorPollResult, value, slot);
    m_finished.reset();
    if (!build(registry(), record))
        return std::nullopt;
    const QByteArray request(reinterpret_cast<const char *>(record.TxFrame), record.TxLength);
    // Only the completion of this request ends the wait.
    const auto answered = [&] {
        return m_finished && m_finished->TxLength == record.TxLength &&
               QByteArray::fromRawData(reinterpret_cast<const char *>(m_finished->TxFrame),
                                       m_finished->TxLength) == request;
    };
    if (!waitUntil(answered, exchangeGuardMs())) {
        record.Result = TransactionResult::TimeOut;
        return record;
    }
    return m_finished;
}

void CliSession::customEvent(QEvent *event)
{
    if (event->type() != WindowMessage::eventType())
        return;
    auto *message = static_cast<WindowMessage *>(event);
    if (message->message() != Msg::MonitorPollResult || !message->record())
        return;
    registry().ProcessReply(*message->record());
    m_finished = *message->record();
    wake();
}

QString CliSession::resultText(int result)
{
    switch (result) {
    case TransactionResult::Ok:
        return QStringLiteral("OK");
    case TransactionResult::TimeOut:
        return QStringLiteral("RS232 time out");
    case TransactionResult::InverterError:
        return QStringLiteral("Inverter error");
    default:
        return QStringLiteral("RS232 communication error");
    }
}

QString CliSession::stateText(int state)
{
    switch (state) {
    case InverterStateCode::Present:
        return QStringLiteral("present");
    case InverterStateCode::NoInverter:
        return QStringLiteral("no inverter");
    default:
        return QStringLiteral("fault");
    }
}

CliSession::Settings CliSession::Settings::of(const CliOptions &options)
{
    Settings settings;
    settings.port = options.port;
    settings.line = options.line;
    settings.simulate = options.simulate;
    settings.timeoutMs = options.timeoutMs;
    settings.fastTiming = options.fastTiming;
    settings.echo = options.echo;
    settings.resyncMs = options.resyncMs;
    settings.receiveOnly = options.command == CliOptions::Command::Listen;
    return settings;
}
