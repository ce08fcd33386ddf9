#include "sim/SimFrameParser.h"

#include "sim/SimChecksum.h"

namespace {
constexpr quint8 kSlash = 0x2F;
constexpr quint8 kHighestModbusAddress = 247;

quint8 at(const QByteArray &bytes, qsizetype i)
{
    return static_cast<quint8>(bytes[i]);
}

bool isLetter(quint8 byte)
{
    return byte >= 0x40 && byte <= 0x7F;
}
} // namespace

QList<SimFrame> SimFrameParser::feed(const QByteArray &bytes)
{
    m_buffer.append(bytes);
    QList<SimFrame> frames = extract(false);
    // Nothing the program sends is this long: keep the newest bytes only.
    if (m_buffer.size() > MaxPending)
        dropFront(m_buffer.size() - MaxPending);
    return frames;
}

QList<SimFrame> SimFrameParser::flush()
{
    return extract(true);
}

QByteArray SimFrameParser::takeDiscarded()
{
    QByteArray out;
    out.swap(m_discarded);
    return out;
}

void SimFrameParser::dropFront(qsizetype count)
{
    m_discarded.append(m_buffer.left(count));
    m_buffer.remove(0, count);
}

QList<SimFrame> SimFrameParser::extract(bool silence)
{
    QList<SimFrame> frames;
    while (!m_buffer.isEmpty()) {
        SimFrame frame;
        switch (inspect(frame)) {
        case Verdict::Frame:
            m_buffer.remove(0, frame.bytes.size());
            frames.append(frame);
            break;
        case Verdict::NeedMore:
            if (!silence)
                return frames;
            // The line went quiet: a Modbus request of an unknown function is recognised by
            // its CRC over everything received.
            if (at(m_buffer, 0) != kSlash && m_buffer.size() >= 4 &&
                SimChecksum::crcValid(m_buffer)) {
                frame.protocol = SimFrame::Protocol::Modbus;
                frame.bytes = m_buffer;
                frame.address = at(m_buffer, 0);
                frame.broadcast = frame.address == 0;
                if (frame.broadcast)
                    frame.address = -1;
                m_buffer.clear();
                frames.append(frame);
                return frames;
            }
            dropFront(1);
            break;
        case Verdict::Drop:
            dropFront(1);
            break;
        }
    }
    return frames;
}

SimFrameParser::Verdict SimFrameParser::inspect(SimFrame &frame) const
{
    const QByteArray &b = m_buffer;
    const qsizetype n = b.size();
    const quint8 first = at(b, 0);

    if (first == kSlash) {
        frame.protocol = SimFrame::Protocol::Slash;
        if (n < 2)
            return Verdict::NeedMore;
        const quint8 second = at(b, 1);
        qsizetype length = 0;
        if (isLetter(second)) {
            // Form without address: only the broadcast write exists.
            if (second != 'W')
                return Verdict::Drop;
            length = 7;
            frame.broadcast = true;
        } else if (second < 0x40) {
            if (n < 3)
                return Verdict::NeedMore;
            const quint8 letter = at(b, 2);
            if (letter == 'R')
                length = 6;
            else if (letter == 'W')
                length = 8;
            else
                return Verdict::Drop;
            frame.address = second;
        } else {
            return Verdict::Drop;
        }
        if (n < length)
            return Verdict::NeedMore;
        frame.bytes = b.left(length);
        frame.checkOk = SimChecksum::sumValid(frame.bytes);
        // A broadcast with a bad sum has nobody to complain to it.
        if (!frame.checkOk && frame.broadcast)
            return Verdict::Drop;
        return Verdict::Frame;
    }

    frame.protocol = SimFrame::Protocol::Modbus;
    if (first > kHighestModbusAddress)
        return Verdict::Drop;
    if (n < 2)
        return Verdict::NeedMore;
    const quint8 function = at(b, 1);
    if (function == 0 || function >= 0x80)
        return Verdict::Drop;
    qsizetype length = 0;
    if (function == 0x03) {
        length = 8;
    } else if (function == 0x10) {
        if (n < 7)
            return Verdict::NeedMore;
        length = 9 + at(b, 6);
    } else {
        return Verdict::NeedMore;
    }
    if (n < length)
        return Verdict::NeedMore;
    frame.bytes = b.left(length);
    if (!SimChecksum::crcValid(frame.bytes))
        return Verdict::Drop;
    frame.broadcast = first == 0;
    frame.address = frame.broadcast ? -1 : first;
    return Verdict::Frame;
}
