#include "bus/ExchangePairer.h"

#include "bus/ModbusFrame.h"
#include "bus/SlashFrame.h"

namespace {

using Protocol = StreamFrameCutter::Frame::Protocol;

bool isLetter(uint8_t byte)
{
    return byte >= 0x40 && byte <= 0x7F;
}

const uint8_t *data(const QByteArray &bytes)
{
    return reinterpret_cast<const uint8_t *>(bytes.constData());
}

} // namespace

int ExchangePairer::addressOf(const Frame &frame)
{
    const QByteArray &b = frame.bytes;
    if (frame.protocol == Protocol::Modbus && !b.isEmpty())
        return uint8_t(b[0]);
    if (frame.protocol == Protocol::Slash && b.size() >= 2 && !isLetter(uint8_t(b[1])))
        return uint8_t(b[1]);
    return -1;
}

bool ExchangePairer::isBroadcast(const Frame &request)
{
    if (request.protocol == Protocol::Modbus)
        return !request.bytes.isEmpty() &&
               uint8_t(request.bytes[0]) == ModbusFrame::BroadcastAddress;
    return request.protocol == Protocol::Slash && addressOf(request) < 0;
}

bool ExchangePairer::isRequestForm(const Frame &frame)
{
    const QByteArray &b = frame.bytes;
    const int n = int(b.size());
    if (frame.protocol == Protocol::Modbus && n >= 4) {
        const int f = uint8_t(b[1]);
        return ((f >= 1 && f <= 6) && n == 8) || ((f == 15 || f == 16) && n >= 10);
    }
    if (frame.protocol == Protocol::Slash && n >= 3) {
        if (n == SlashFrame::ReadLength)
            return uint8_t(b[2]) == SlashFrame::ReadLetter;
        const uint8_t letter = isLetter(uint8_t(b[1])) ? uint8_t(b[1]) : uint8_t(b[2]);
        return letter == SlashFrame::WriteLetter;
    }
    return false;
}

bool ExchangePairer::answers(const Frame &request, const Frame &reply)
{
    if (request.protocol != reply.protocol)
        return false;
    const QByteArray &rq = request.bytes;
    const QByteArray &rp = reply.bytes;
    if (request.protocol == Protocol::Slash) {
        const ReplyMatch match =
            SlashFrame::matchReply(data(rq), int(rq.size()), data(rp), int(rp.size()));
        return match.verdict == ReplyMatch::Verdict::Complete && match.length == rp.size();
    }
    if (request.protocol != Protocol::Modbus || rq.size() < 8 || rp.size() < 5)
        return false;
    const int f = uint8_t(rq[1]);
    const bool broadcast = uint8_t(rq[0]) == ModbusFrame::BroadcastAddress;
    // A broadcast address write is answered, if at all, from the address written.
    if (!broadcast && rp[0] != rq[0])
        return false;
    if (uint8_t(rp[1]) == (f | 0x80))
        return rp.size() == 5;
    if (uint8_t(rp[1]) != f)
        return false;
    if (f >= 1 && f <= 4) {
        const int quantity = (uint8_t(rq[4]) << 8) | uint8_t(rq[5]);
        const int bytes = f <= 2 ? (quantity + 7) / 8 : 2 * quantity;
        return uint8_t(rp[2]) == bytes && rp.size() == 5 + bytes;
    }
    // Single writes echo the request; multiple writes name its register and quantity.
    return rp.size() == 8 && rp.mid(2, 4) == rq.mid(2, 4);
}

ExchangePairer::Exchange ExchangePairer::unanswered()
{
    Exchange exchange;
    exchange.kind =
        isBroadcast(*m_waiting) ? Exchange::Kind::Broadcast : Exchange::Kind::Unanswered;
    exchange.protocol = m_waiting->protocol;
    exchange.address = addressOf(*m_waiting);
    exchange.request = m_waiting;
    m_waiting.reset();
    return exchange;
}

QList<ExchangePairer::Exchange> ExchangePairer::take(const Frame &frame)
{
    QList<Exchange> out;
    if (frame.protocol == Protocol::Noise) {
        Exchange noise;
        noise.reply = frame;
        out.append(noise);
        return out;
    }
    if (m_waiting && frame.startUs - m_waiting->endUs > m_timeoutUs)
        out.append(unanswered());
    if (m_waiting && answers(*m_waiting, frame)) {
        Exchange exchange;
        exchange.kind = Exchange::Kind::Answered;
        exchange.protocol = frame.protocol;
        exchange.address = addressOf(*m_waiting);
        exchange.request = m_waiting;
        exchange.reply = frame;
        m_waiting.reset();
        out.append(exchange);
        return out;
    }
    if (isRequestForm(frame)) {
        if (m_waiting)
            out.append(unanswered());
        m_waiting = frame;
        return out;
    }
    Exchange orphan;
    orphan.kind = Exchange::Kind::Orphan;
    orphan.protocol = frame.protocol;
    orphan.address = addressOf(frame);
    orphan.reply = frame;
    out.append(orphan);
    return out;
}

QList<ExchangePairer::Exchange> ExchangePairer::expire(qint64 nowUs)
{
    QList<Exchange> out;
    if (m_waiting && nowUs - m_waiting->endUs > m_timeoutUs)
        out.append(unanswered());
    return out;
}

QList<ExchangePairer::Exchange> ExchangePairer::finish()
{
    QList<Exchange> out;
    if (m_waiting)
        out.append(unanswered());
    return out;
}
