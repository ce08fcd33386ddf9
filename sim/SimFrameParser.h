#pragma once

#include "sim/SimFrame.h"

#include <QByteArray>
#include <QList>

// Cuts the byte stream from the master into request frames. A frame is recognised by its
// form: a slash frame starts with '/', its letter gives its length (read 6, write 8, write
// without address 7); a Modbus frame's function gives its length (read 8, write 9 + byte
// count). Complete frames are delivered at once; bytes that cannot start a frame, or a
// Modbus frame whose CRC fails, are dropped one byte at a time until a frame lines up again,
// so noise in front of a request costs nothing but the noise. What is still incomplete when
// the line falls silent is resolved by flush(): a Modbus frame of an unknown function is
// delivered if its CRC holds (the inverter then rejects the function), everything else is
// dropped.
class SimFrameParser
{
public:
    // Largest number of bytes kept while waiting for the rest of a frame.
    static constexpr qsizetype MaxPending = 512;

    QList<SimFrame> feed(const QByteArray &bytes);
    QList<SimFrame> flush();
    bool hasPending() const { return !m_buffer.isEmpty(); }
    // Bytes dropped as noise since the last call.
    QByteArray takeDiscarded();

private:
    enum class Verdict { Frame, NeedMore, Drop };
    Verdict inspect(SimFrame &frame) const;
    QList<SimFrame> extract(bool silence);
    void dropFront(qsizetype count);

    QByteArray m_buffer;
    QByteArray m_discarded;
};
