#include "bus/BusHost.h"

#include "bus/BusReplyRule.h"

#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"

#include <algorithm>

BusHost::BusHost(CommLink *link, Role role, QObject *parent)
    : QObject(parent), m_engine(link), m_detector(&m_registry), m_commands(&m_registry),
      m_traffic(&m_engine, &m_registry)
{
    m_engine.setReplyRule(std::make_shared<BusReplyRule>());
    // Silence from a closed port says nothing about the drives: detection stops.
    connect(&m_engine, &TransactionEngine::portUnavailable, &m_detector, &InverterDetector::abandon,
            Qt::QueuedConnection);
    connect(&m_engine, &TransactionEngine::portLost, &m_detector, &InverterDetector::abandon,
            Qt::QueuedConnection);
    // A probe the request queue cannot take is not sent: detection sees it before it touches
    // the slot, instead of reading the refusal as silence.
    m_detector.setRoomCheck(
        [this] { return m_engine.pendingCount() < TransactionEngine::RingSize - 1; });
    // The fast timing lets one address's probes go while another waits for a late answer;
    // the standard timing keeps one address at a time.
    m_detector.setInterleaved(
        [this] { return m_engine.timing() == TransactionEngine::Timing::Fast; });
    // A silence is doubtful for at least the time a drive may stay deaf after a frame it could
    // not parse, and no shorter than the pause the operator set for that.
    m_detector.setDeafWindow(
        [this] { return std::max(m_engine.resyncMs(), InverterDetector::DefaultDeafWindowMs); });
    if (role == Role::MainWindow)
        SetMainWindow(this);
    SetDM(&m_registry);
}

BusHost::~BusHost()
{
    if (MainWindow() == this)
        SetMainWindow(nullptr);
    if (DM() == &m_registry)
        SetDM(nullptr);
}

bool BusHost::handleMessage(WindowMessage *message)
{
    switch (message->message()) {
    case Msg::Submit:
    case Msg::NextTransaction:
    case Msg::RestartPort:
        return m_engine.handleMessage(message);
    case Msg::QueueDetection:
    case Msg::NextDetection:
    case Msg::StopDetection:
    case Msg::DetectKX200Result:
    case Msg::DetectKX100Result:
    case Msg::DetectKX300Result:
        return m_detector.handleMessage(message);
    case Msg::OperatorCommand:
    case Msg::CommandResult:
        return m_commands.handleMessage(message);
    default:
        return false;
    }
}

void BusHost::customEvent(QEvent *event)
{
    if (event->type() != WindowMessage::eventType())
        return;
    auto *message = static_cast<WindowMessage *>(event);
    if (handleMessage(message))
        message->setResult(1);
}
