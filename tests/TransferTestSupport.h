#pragma once

#include "FakeCommLink.h"

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QTimer>

#include <cstdint>

// A line with one inverter behind it that answers from a register store: Modbus reads and
// writes (with the CRC computed here) or slash frames (with the sum computed here). Registers
// named in `silent` never answer, those in `refused` answer with an error.
class RegisterLine : public FakeCommLink
{
public:
    enum class Protocol { Modbus, Slash };

    RegisterLine(Protocol protocol, int slave) : m_protocol(protocol), m_slave(slave) {}

    QMap<int, uint16_t> registers;
    QSet<int> silent;
    QSet<int> refused;
    // Registers in request order, and the values of the writes among them.
    QList<int> requested;
    QList<QPair<int, uint16_t>> writes;

    static uint16_t crc16(const QByteArray &bytes)
    {
        uint16_t crc = 0xFFFF;
        for (char byte : bytes) {
            crc ^= uint8_t(byte);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
        }
        return crc;
    }
    static QByteArray withCrc(QByteArray bytes)
    {
        const uint16_t crc = crc16(bytes);
        return bytes.append(char(crc & 0xFF)).append(char(crc >> 8));
    }
    static QByteArray withSum(QByteArray bytes)
    {
        uint8_t sum = 0;
        for (char byte : bytes)
            sum = uint8_t(sum + uint8_t(byte));
        return bytes.append(char(sum));
    }
    static QByteArray word(int value)
    {
        return QByteArray().append(char((value >> 8) & 0xFF)).append(char(value & 0xFF));
    }

    bool WriteCommData(const uint8_t *buffer, uint16_t length) override
    {
        const QByteArray frame(reinterpret_cast<const char *>(buffer), length);
        written.append(frame);
        const QByteArray reply =
            m_protocol == Protocol::Modbus ? modbusReply(frame) : slashReply(frame);
        if (!reply.isEmpty()) {
            pending.append(reply);
            QTimer::singleShot(0, this, [this] { deliverPending(); });
        }
        return true;
    }

private:
    QByteArray modbusReply(const QByteArray &f)
    {
        if (f.size() < 8 || uint8_t(f[0]) != m_slave || withCrc(f.left(f.size() - 2)) != f)
            return {};
        const int reg = (uint8_t(f[2]) << 8) | uint8_t(f[3]);
        const int quantity = (uint8_t(f[4]) << 8) | uint8_t(f[5]);
        const uint8_t function = uint8_t(f[1]);
        // The engine's reads of several registers re-synchronise it; they are not requests
        // of the transfer.
        const bool engineRead = function == 0x03 && quantity > 1;
        if (!engineRead)
            requested.append(reg);
        if (silent.contains(reg))
            return {};
        if (refused.contains(reg))
            return withCrc(f.left(1).append(char(function | 0x80)).append(char(2)));
        if (function == 0x03) {
            QByteArray reply = f.left(2).append(char(2 * quantity));
            for (int n = 0; n < quantity; ++n)
                reply.append(word(registers.value(reg + n)));
            return withCrc(reply);
        }
        if (function == 0x10 && f.size() == 11) {
            const uint16_t value = uint16_t((uint8_t(f[7]) << 8) | uint8_t(f[8]));
            writes.append({reg, value});
            registers[reg] = value;
            return withCrc(f.left(6));
        }
        return {};
    }

    QByteArray slashReply(const QByteArray &f)
    {
        if (f.size() < 6 || f[0] != '/' || uint8_t(f[1]) != m_slave ||
            withSum(f.left(f.size() - 1)) != f)
            return {};
        const int reg = (uint8_t(f[3]) << 8) | uint8_t(f[4]);
        requested.append(reg);
        if (silent.contains(reg))
            return {};
        const QByteArray head = f.left(2);
        if (refused.contains(reg))
            return withSum(head + "r" + word(reg) + word(0));
        if (f[2] == 'R' && f.size() == 6)
            return withSum(head + "R" + word(reg) + word(registers.value(reg)));
        if (f[2] == 'W' && f.size() == 8) {
            const uint16_t value = uint16_t((uint8_t(f[5]) << 8) | uint8_t(f[6]));
            writes.append({reg, value});
            registers[reg] = value;
            return withSum(head + "W" + word(reg) + word(value));
        }
        return {};
    }

    Protocol m_protocol;
    int m_slave;
};
