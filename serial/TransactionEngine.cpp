#include "serial/TransactionEngine.h"

#include "serial/CommLink.h"
#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"

#include <algorithm>
#include <cstring>

namespace {
// The status bar panel holds at most this many characters.
constexpr int MaxFrameText = 255;
} // namespace

TransactionEngine::TransactionEngine(CommLink *port, QObject *parent)
    : QObject(parent), m_port(port)
{
    m_timer.setObjectName(QStringLiteral("RS232Timer"));
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &TransactionEngine::RS232OnTime);
    InitTransaction(m_current, nullptr, 0, 0, 0);
    if (m_port)
        connect(m_port, &CommLink::OnReceiveData, this, &TransactionEngine::ReceiveData);
}

bool TransactionEngine::handleMessage(WindowMessage *message)
{
    switch (message->message()) {
    case Msg::Submit:
        if (message->record())
            submit(*message->record());
        return true;
    case Msg::NextTransaction:
        startNextIfIdle();
        return true;
    case Msg::RestartPort:
        restartPort();
        return true;
    default:
        return false;
    }
}

void TransactionEngine::customEvent(QEvent *event)
{
    if (event->type() == WindowMessage::eventType())
        handleMessage(static_cast<WindowMessage *>(event));
}

void TransactionEngine::submit(const TransactionRecord &record)
{
    if (!EnqueueRequest(record)) {
        // A full ring must not swallow a request silently: the requester learns of it as a
        // time-out, which every requester already handles.
        TransactionRecord refused = record;
        refused.RxLength = -1;
        refused.Result = TransactionResult::TimeOut;
        PostMessage(refused.NotifyWindow, refused.NotifyMessage, 0, 0,
                    std::make_shared<TransactionRecord>(refused));
        emit queueOverflow(record.Slot);
        return;
    }
    if (!m_timer.isActive())
        startNextIfIdle();
}

void TransactionEngine::startNextIfIdle()
{
    if (m_timer.isActive())
        return;
    TransactionRecord next;
    if (DequeueRequest(next))
        StartTransaction(next);
}

bool TransactionEngine::EnqueueRequest(const TransactionRecord &record)
{
    return m_ring.push(record);
}

bool TransactionEngine::DequeueRequest(TransactionRecord &record)
{
    return m_ring.pop(record);
}

int TransactionEngine::pendingCount() const
{
    return m_ring.size();
}

void TransactionEngine::StartTransaction(const TransactionRecord &record)
{
    emit busyChanged(true);

    // Value is not carried over: it has served its purpose in the request frame.
    m_current.TxLength = std::clamp(record.TxLength, -1, TransactionRecord::FrameSize);
    m_current.RxLength = std::clamp(record.RxLength, -1, TransactionRecord::FrameSize);
    if (m_current.TxLength > 0)
        std::memcpy(m_current.TxFrame, record.TxFrame, size_t(m_current.TxLength));
    if (m_current.RxLength > 0)
        std::memcpy(m_current.RxFrame, record.RxFrame, size_t(m_current.RxLength));
    m_current.Slot = record.Slot;
    m_current.NotifyWindow = record.NotifyWindow;
    m_current.NotifyMessage = record.NotifyMessage;
    m_current.Result = record.Result;
    m_current.SlotGeneration = record.SlotGeneration;

    ShowFrame(true);
    if (m_port && m_current.TxLength > 0)
        m_port->WriteCommData(m_current.TxFrame, uint16_t(m_current.TxLength));
    m_sentAt.start();
    m_tickCount = 0;
    m_timer.start();
}

void TransactionEngine::RS232OnTime()
{
    if (!m_timer.isActive())
        return;
    ++m_tickCount;
    if (qint64(m_tickCount) * m_timer.interval() > m_timeOutLimit)
        FinishTransaction();
}

void TransactionEngine::ReceiveData(const QByteArray &buffer)
{
    if (m_timer.isActive()) {
        // The first chunk completes the exchange; a chunk longer than the record is cut.
        const int length = std::min<int>(int(buffer.size()), TransactionRecord::FrameSize);
        std::memcpy(m_current.RxFrame, buffer.constData(), size_t(length));
        m_current.RxLength = length;
        ShowFrame(false);
        FinishTransaction();
    } else {
        // Nobody waits for these bytes: restarting the port discards whatever else is pending.
        emit strayReceived(buffer);
        restartPort();
    }
}

void TransactionEngine::restartPort()
{
    if (!m_port)
        return;
    m_port->StopComm();
    m_port->StartComm();
}

void TransactionEngine::FinishTransaction()
{
    m_timer.stop();
    emit busyChanged(false);
    if (m_current.RxLength < 0)
        m_current.Result = TransactionResult::TimeOut;
    emit exchangeFinished(m_current, m_sentAt.isValid() ? m_sentAt.elapsed() : 0);
    PostMessage(m_current.NotifyWindow, m_current.NotifyMessage, 0, 0,
                std::make_shared<TransactionRecord>(m_current));
    PostMessage(this, Msg::NextTransaction);
}

void TransactionEngine::ShowFrame(bool request)
{
    const uint8_t *frame = request ? m_current.TxFrame : m_current.RxFrame;
    const int length = request ? m_current.TxLength : m_current.RxLength;
    emit frameShown(frameText(request, frame, length));
}

QString TransactionEngine::frameText(bool request, const uint8_t *frame, int length)
{
    QString text = request ? QStringLiteral("RS233(Send):") : QStringLiteral("RS232(Recieve):");
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < length && text.size() + 3 <= MaxFrameText; ++i) {
        text += QLatin1Char(digits[frame[i] >> 4]);
        text += QLatin1Char(digits[frame[i] & 0x0F]);
        text += QLatin1Char(' ');
    }
    return text;
}
