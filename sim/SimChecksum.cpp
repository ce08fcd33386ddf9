#include "sim/SimChecksum.h"

quint16 SimChecksum::crc16(const char *data, qsizetype length)
{
    quint16 crc = 0xFFFF;
    for (qsizetype i = 0; i < length; ++i) {
        crc ^= static_cast<quint8>(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001)
                            : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

void SimChecksum::appendCrc(QByteArray &frame)
{
    const quint16 crc = crc16(frame.constData(), frame.size());
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
}

bool SimChecksum::crcValid(const QByteArray &frame)
{
    const qsizetype n = frame.size();
    if (n < 3)
        return false;
    const quint16 crc = crc16(frame.constData(), n - 2);
    return static_cast<quint8>(frame[n - 2]) == (crc & 0xFF) &&
           static_cast<quint8>(frame[n - 1]) == (crc >> 8);
}

quint8 SimChecksum::sum8(const char *data, qsizetype length)
{
    quint8 sum = 0;
    for (qsizetype i = 0; i < length; ++i)
        sum = static_cast<quint8>(sum + static_cast<quint8>(data[i]));
    return sum;
}

void SimChecksum::appendSum(QByteArray &frame)
{
    frame.append(static_cast<char>(sum8(frame.constData(), frame.size())));
}

bool SimChecksum::sumValid(const QByteArray &frame)
{
    const qsizetype n = frame.size();
    if (n < 2)
        return false;
    return static_cast<quint8>(frame[n - 1]) == sum8(frame.constData(), n - 1);
}
