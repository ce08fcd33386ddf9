#pragma once

#include <QByteArray>

// The two check codes of the bus: CRC-16/MODBUS for Modbus RTU frames and the 8-bit sum of
// the slash frames. Kept apart from the program's own frame code on purpose, so that the
// simulated bus checks the program instead of agreeing with it.
class SimChecksum
{
public:
    // CRC-16/MODBUS: start 0xFFFF, reflected polynomial 0xA001, no final XOR.
    static quint16 crc16(const char *data, qsizetype length);
    // Appends the CRC of all bytes so far, low byte first.
    static void appendCrc(QByteArray &frame);
    // True when the frame ends in the CRC of the bytes before it (low byte first).
    static bool crcValid(const QByteArray &frame);

    // Sum of the bytes modulo 256.
    static quint8 sum8(const char *data, qsizetype length);
    // Appends the sum of all bytes so far.
    static void appendSum(QByteArray &frame);
    // True when the last byte is the sum of all bytes before it.
    static bool sumValid(const QByteArray &frame);
};
