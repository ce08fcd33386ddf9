#include "bus/BusListener.h"

#include "bus/BusReplyRule.h"
#include "bus/TrafficDecoder.h"
#include "serial/CommLink.h"
#include "serial/FrameGap.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace {

// The shortest quiet that ends a batch, and so the longest sleep of the reading thread while
// bytes flow: twice the shortest t3.5.
constexpr int BatchQuietUs = 3500;

} // namespace

BusListener::BusListener(QObject *parent)
    : QObject(parent), m_clock([] {
          return qint64(std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count());
      })
{
    m_quietTimer.setSingleShot(true);
    m_quietTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_quietTimer, &QTimer::timeout, this, [this] { quiet(m_clock()); });
}

void BusListener::setReplyTimeoutMs(int milliseconds)
{
    m_replyTimeoutUs = qint64(milliseconds) * 1000;
    m_pairer = ExchangePairer(m_replyTimeoutUs);
}

void BusListener::attach(CommLink *link, int baudRate)
{
    detach();
    m_cutter = StreamFrameCutter(baudRate);
    m_pairer = ExchangePairer(m_replyTimeoutUs);
    m_link = link;
    if (!link)
        return;
    // A burst ends after two characters of silence (1 ms at least), well inside the t3.5 that
    // ends a frame: the cutter sees the line's gaps, and frames that run together are its to
    // take apart.
    const int gapMs = std::max(1, (2 * m_cutter.characterUs() + 999) / 1000);
    m_burstGapUs = qint64(gapMs) * 1000;
    link->setBurstEnd(std::make_shared<BusReplyRule>(), gapMs);
    m_connection = connect(link, &CommLink::OnReceiveData, this, &BusListener::onChunk);
    // Where the line can, its reads come stamped, a batch per burst ended by t3.5 of silence,
    // 3.5 ms at least: the bytes of a busy line wake the reading thread once per that
    // interval, and this one once per burst. A read's stamp is at most that late, which is
    // all the precision a reply time loses; the frames are cut by their form.
    m_batchConnection = connect(link, &CommLink::OnReceiveBatch, this,
                                qOverload<const ReceivedBatch &>(&BusListener::receive));
    link->setBatchDelivery(std::max(BatchQuietUs, FrameGap::gapUs(m_cutter.characterUs())));
}

void BusListener::detach()
{
    if (m_link) {
        m_link->setBatchDelivery(0);
        disconnect(m_batchConnection);
        disconnect(m_connection);
        m_link = nullptr;
    }
    m_quietTimer.stop();
    tell(m_cutter.flush(std::numeric_limits<qint64>::max() / 2));
    tell(m_pairer.finish());
}

void BusListener::onChunk(const QByteArray &chunk)
{
    receive(chunk, m_clock() - m_burstGapUs);
}

void BusListener::receive(const QByteArray &chunk, qint64 lastByteUs)
{
    if (chunk == TrafficDecoder::LineErrorNotice) {
        // The burst's bytes were lost to a framing, overrun or parity error.
        tell(m_cutter.flush(lastByteUs + m_cutter.silenceUs()));
        emit heard(TrafficDecoder::stray(chunk, lastByteUs / 1000));
    } else {
        tell(m_cutter.feed(chunk, lastByteUs));
    }
    armQuietTimer();
}

void BusListener::receive(const ReceivedBatch &batch)
{
    for (qsizetype i = 0; i < batch.pieces().size(); ++i)
        tell(m_cutter.feed(batch.piece(i), batch.pieces()[i].atUs));
    armQuietTimer();
}

void BusListener::quiet(qint64 nowUs)
{
    tell(m_cutter.flush(nowUs));
    tell(m_pairer.expire(nowUs));
    armQuietTimer();
}

void BusListener::armQuietTimer()
{
    if (!m_link)
        return;
    if (m_cutter.hasPending())
        m_quietTimer.start(int(m_cutter.silenceUs() / 1000) + 1);
    else if (m_pairer.isWaiting())
        m_quietTimer.start(int(m_replyTimeoutUs / 1000) + 1);
}

void BusListener::tell(const QList<StreamFrameCutter::Frame> &frames)
{
    for (const StreamFrameCutter::Frame &frame : frames)
        tell(m_pairer.take(frame));
}

void BusListener::tell(const QList<ExchangePairer::Exchange> &exchanges)
{
    for (const ExchangePairer::Exchange &exchange : exchanges) {
        if (exchange.hasRequest())
            ++m_exchanges;
        emit heard(m_decoder.entry(exchange));
    }
}
