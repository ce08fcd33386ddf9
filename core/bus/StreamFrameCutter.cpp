#include "bus/StreamFrameCutter.h"

#include "bus/ModbusFrame.h"
#include "bus/SlashFrame.h"

#include <algorithm>

namespace {

using Protocol = StreamFrameCutter::Frame::Protocol;

constexpr int MaxModbusAddress = 247;
constexpr qsizetype MaxNoiseRun = 256; // a longer run of noise is given out in pieces
constexpr int MaxFrame = 256;          // Modbus RTU's longest frame

bool isLetter(uint8_t byte)
{
    return byte >= 0x40 && byte <= 0x7F;
}

const uint8_t *data(const QByteArray &bytes)
{
    return reinterpret_cast<const uint8_t *>(bytes.constData());
}

bool crcHolds(const QByteArray &bytes, int length)
{
    const uint16_t crc = ModbusFrame::crc16(data(bytes), length - 2);
    return uint8_t(bytes[length - 2]) == uint8_t(crc & 0xFF) &&
           uint8_t(bytes[length - 1]) == uint8_t(crc >> 8);
}

bool sumHolds(const QByteArray &bytes, int length)
{
    return SlashFrame::sum(data(bytes), length - 1) == uint8_t(bytes[length - 1]);
}

} // namespace

StreamFrameCutter::StreamFrameCutter(int baudRate)
    : m_characterUs(int(11'000'000LL / std::max(baudRate, 1))),
      m_silenceUs(std::max<qint64>(qint64(m_characterUs) * 7 / 2, 1'000'000))
{
}

QList<StreamFrameCutter::Frame> StreamFrameCutter::feed(const QByteArray &bytes, qint64 lastByteUs)
{
    QList<Frame> out;
    if (bytes.isEmpty())
        return out;
    // A silence before these bytes ends whatever waits.
    // Bytes cannot have begun before the previous ones ended.
    qint64 firstUs = lastByteUs - qint64(bytes.size() - 1) * m_characterUs;
    if (m_lastByteUs != 0)
        firstUs = std::max(firstUs, m_lastByteUs + m_characterUs);
    if (!m_buffer.isEmpty() && firstUs - m_lastByteUs >= m_silenceUs)
        out += extract(true);
    m_buffer += bytes;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        m_times.push_back(firstUs + qint64(i) * m_characterUs);
    m_lastByteUs = m_times.back();
    out += extract(false);
    return out;
}

QList<StreamFrameCutter::Frame> StreamFrameCutter::flush(qint64 nowUs)
{
    QList<Frame> out;
    if (nowUs - m_lastByteUs < m_silenceUs)
        return out;
    if (!m_buffer.isEmpty())
        out = extract(true);
    if (!m_noise.isEmpty())
        emitNoise(out);
    return out;
}

bool StreamFrameCutter::expectsReplyOf(Protocol protocol, int address, int code) const
{
    const QByteArray &rq = m_expect.request;
    if (m_expect.protocol != protocol || rq.size() < 3)
        return false;
    if (protocol == Protocol::Modbus)
        return uint8_t(rq[0]) == address && uint8_t(rq[1]) == code;
    // A slash request names its address at byte 1 and its letter at byte 2.
    return !isLetter(uint8_t(rq[1])) && uint8_t(rq[1]) == address && uint8_t(rq[2]) == code;
}

StreamFrameCutter::Cut StreamFrameCutter::cutModbus(bool silence, int *length) const
{
    const QByteArray &b = m_buffer;
    const int n = int(b.size());
    if (n < 2)
        return silence ? Cut::NotHere : Cut::NeedMore;
    const int address = uint8_t(b[0]);
    const int function = uint8_t(b[1]);
    if (address > MaxModbusAddress)
        return Cut::NotHere;
    // Candidate lengths in the order they are tried; 0 stands for a length whose count byte
    // has not arrived yet.
    int candidates[2] = {-1, -1};
    const bool replyFirst = expectsReplyOf(Protocol::Modbus, address, function);
    if (function >= 1 && function <= 4) {
        const int reply = n >= 3 ? 5 + uint8_t(b[2]) : 0;
        const bool plausible =
            n < 3 || (uint8_t(b[2]) >= 1 && (function <= 2 || uint8_t(b[2]) % 2 == 0));
        candidates[0] = replyFirst && plausible ? reply : 8;
        candidates[1] = replyFirst || !plausible ? (plausible ? 8 : -1) : reply;
    } else if (function == 5 || function == 6) {
        candidates[0] = 8;
    } else if (function == 15 || function == 16) {
        const int request = n >= 7 ? 9 + uint8_t(b[6]) : 0;
        candidates[0] = replyFirst ? 8 : request;
        candidates[1] = replyFirst ? request : 8;
    } else if (function > 0x80 && function < 0x90) {
        candidates[0] = 5;
    } else {
        // A function of another form: only a silence tells where it ends, so its bytes wait
        // for one (up to the longest frame).
        if (!silence)
            return n < MaxFrame ? Cut::NeedMore : Cut::NotHere;
        if (n >= 4 && n <= MaxFrame && crcHolds(b, n)) {
            *length = n;
            return Cut::Frame;
        }
        return Cut::NotHere;
    }
    for (int candidate : candidates) {
        if (candidate < 0)
            continue;
        if (candidate == 0 || n < candidate) {
            if (silence)
                continue;
            return Cut::NeedMore;
        }
        if (!spansSilence(candidate) && crcHolds(b, candidate)) {
            *length = candidate;
            return Cut::Frame;
        }
    }
    return Cut::NotHere;
}

StreamFrameCutter::Cut StreamFrameCutter::cutSlash(bool silence, int *length) const
{
    const QByteArray &b = m_buffer;
    const int n = int(b.size());
    const auto need = [&] { return silence ? Cut::NotHere : Cut::NeedMore; };
    if (n < 3)
        return need();
    int candidates[2] = {-1, -1};
    if (isLetter(uint8_t(b[1]))) {
        // Broadcast write, or a reply without its address.
        candidates[0] = SlashFrame::BroadcastLength;
    } else {
        const uint8_t letter = uint8_t(b[2]);
        if (!isLetter(letter))
            return Cut::NotHere;
        if (letter == SlashFrame::ReadLetter) {
            const bool replyFirst = expectsReplyOf(Protocol::Slash, uint8_t(b[1]), letter);
            candidates[0] = replyFirst ? SlashFrame::WriteLength : SlashFrame::ReadLength;
            candidates[1] = replyFirst ? SlashFrame::ReadLength : SlashFrame::WriteLength;
        } else {
            candidates[0] = SlashFrame::WriteLength; // write request, reply or refusal
        }
    }
    for (int candidate : candidates) {
        if (candidate < 0)
            continue;
        if (n < candidate) {
            if (silence)
                continue;
            return Cut::NeedMore;
        }
        if (!spansSilence(candidate) && sumHolds(b, candidate)) {
            *length = candidate;
            return Cut::Frame;
        }
    }
    return Cut::NotHere;
}

bool StreamFrameCutter::spansSilence(int length) const
{
    for (int i = 1; i < length; ++i) {
        if (m_times[size_t(i)] - m_times[size_t(i - 1)] >= m_silenceUs)
            return true;
    }
    return false;
}

QList<StreamFrameCutter::Frame> StreamFrameCutter::extract(bool silence)
{
    QList<Frame> out;
    while (!m_buffer.isEmpty()) {
        int length = 0;
        Cut modbus = cutModbus(silence, &length);
        if (modbus == Cut::Frame) {
            take(out, Protocol::Modbus, length);
            continue;
        }
        Cut slash = Cut::NotHere;
        if (uint8_t(m_buffer[0]) == SlashFrame::Start) {
            slash = cutSlash(silence, &length);
            if (slash == Cut::Frame) {
                take(out, Protocol::Slash, length);
                continue;
            }
        }
        if (modbus == Cut::NeedMore || slash == Cut::NeedMore)
            break;
        // Nothing checked can begin here: one byte of noise.
        if (m_noise.isEmpty())
            m_noiseStartUs = m_times.front();
        m_noise += m_buffer[0];
        m_noiseEndUs = m_times.front();
        m_buffer.remove(0, 1);
        m_times.erase(m_times.begin());
        if (m_noise.size() >= MaxNoiseRun)
            emitNoise(out);
    }
    return out;
}

void StreamFrameCutter::emitNoise(QList<Frame> &out)
{
    Frame noise;
    noise.protocol = Protocol::Noise;
    noise.bytes = m_noise;
    noise.startUs = m_noiseStartUs - m_characterUs;
    noise.endUs = m_noiseEndUs;
    out.append(noise);
    m_noise.clear();
}

void StreamFrameCutter::take(QList<Frame> &out, Protocol protocol, int length)
{
    if (!m_noise.isEmpty())
        emitNoise(out);
    Frame frame;
    frame.protocol = protocol;
    frame.bytes = m_buffer.left(length);
    frame.startUs = m_times.front() - m_characterUs;
    frame.endUs = m_times[size_t(length - 1)];
    m_buffer.remove(0, length);
    m_times.erase(m_times.begin(), m_times.begin() + length);
    // A frame in a request's form waits for its reply; anything else settles the wait.
    const QByteArray &b = frame.bytes;
    bool reply = true;
    if (protocol == Protocol::Modbus) {
        const int f = uint8_t(b[1]);
        const bool answering = expectsReplyOf(protocol, uint8_t(b[0]), f);
        reply = f > 0x80 || (f <= 4 && length != 8) || (f >= 15 && f <= 16 && length == 8) ||
                ((f == 5 || f == 6) && answering);
    } else {
        const bool addressless = isLetter(uint8_t(b[1]));
        const uint8_t letter = addressless ? uint8_t(b[1]) : uint8_t(b[2]);
        const bool answering = !addressless && expectsReplyOf(protocol, uint8_t(b[1]), letter);
        if (length == SlashFrame::ReadLength)
            reply = false;
        else if (letter == SlashFrame::WriteLetter)
            reply = addressless
                        ? m_expect.protocol == Protocol::Slash && m_expect.request.size() >= 3 &&
                              uint8_t(m_expect.request[2]) == letter
                        : answering;
    }
    if (reply)
        m_expect = {};
    else
        m_expect = {protocol, b};
    out.append(frame);
}
