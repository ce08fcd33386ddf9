#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <vector>

// Cuts the byte stream a listener hears on the line into frames of the two protocols of this
// bus, without ever sending: Modbus RTU requests and replies (functions 1..6, 15, 16 and
// exception replies) and slash frames. A frame is recognised by its form and its check bytes
// (CRC-16 or the 8-bit sum); the line's silences only settle what the form leaves open.
//
// Noise between frames and frames that run together (no silence between them, as at 115200
// bit/s with the shortest gaps) are taken apart: bytes that cannot begin a checked frame are
// given out as noise one run at a time, and the search goes on from the next byte. Where two
// forms fit (a slash read request and a read reply share their first bytes), the reply to the
// request cut last is preferred, and a silence after the shorter form decides for it. Bytes
// that may still become a frame wait for more bytes or for the silence.
class StreamFrameCutter
{
public:
    struct Frame
    {
        enum class Protocol : uint8_t { Modbus, Slash, Noise };
        Protocol protocol = Protocol::Noise;
        QByteArray bytes;
        qint64 startUs = 0; // when the first byte began on the line (microseconds, caller's clock)
        qint64 endUs = 0;   // when the last byte had arrived
    };

    // Characters are 11 bits long (start, 8 data, parity or second stop, stop).
    explicit StreamFrameCutter(int baudRate = 9600);

    int characterUs() const { return m_characterUs; }
    // The silence that ends a frame whatever its bytes. On the wire that is t3.5, but a
    // listener knows the times of its bytes only as they were delivered, late and not evenly
    // (a loaded machine or a gateway holds bytes back for tens, at times hundreds of
    // milliseconds), and a frame cut at a false silence would be lost. So only a second of
    // quiet counts here; every shorter gap is left to the frame rules, which lose nothing.
    qint64 silenceUs() const { return m_silenceUs; }

    // Bytes heard, the last of them at lastByteUs. Returns the frames they complete.
    QList<Frame> feed(const QByteArray &bytes, qint64 lastByteUs);
    // The line has been silent up to nowUs: what waits is cut as far as it goes, the rest is
    // noise. Nothing when the silence is still shorter than silenceUs().
    QList<Frame> flush(qint64 nowUs);
    bool hasPending() const { return !m_buffer.isEmpty(); }

private:
    enum class Cut { Frame, NeedMore, NotHere };
    struct Expectation
    {
        Frame::Protocol protocol = Frame::Protocol::Noise;
        QByteArray request;
    };

    QList<Frame> extract(bool silence);
    Cut cutModbus(bool silence, int *length) const;
    Cut cutSlash(bool silence, int *length) const;
    bool expectsReplyOf(Frame::Protocol protocol, int address, int code) const;
    // True when the first length bytes have a silence between them: they are no one frame.
    bool spansSilence(int length) const;
    void emitNoise(QList<Frame> &out);
    void take(QList<Frame> &out, Frame::Protocol protocol, int length);

    int m_characterUs;
    qint64 m_silenceUs;
    QByteArray m_buffer;
    std::vector<qint64> m_times; // arrival time of each byte in m_buffer
    QByteArray m_noise;
    qint64 m_noiseStartUs = 0;
    qint64 m_noiseEndUs = 0;
    qint64 m_lastByteUs = 0;
    Expectation m_expect;
};
