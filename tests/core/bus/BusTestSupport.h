#pragma once

#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>

#include <cstdint>

// Helpers of the registry, detection and command tests: reply frames with their check bytes
// computed here (independently of the drivers), and a window that records its messages.
namespace BusTestSupport {

// Hex text with the CRC-16/MODBUS of the bytes appended, low byte first.
inline QByteArray withCrc(const QByteArray &hex)
{
    QByteArray bytes = QByteArray::fromHex(hex);
    uint16_t crc = 0xFFFF;
    for (char byte : bytes) {
        crc ^= uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    bytes.append(char(crc & 0xFF)).append(char(crc >> 8));
    return bytes.toHex(' ').toUpper();
}

// Hex text with the 8-bit sum of the bytes appended.
inline QByteArray withSum(const QByteArray &hex)
{
    QByteArray bytes = QByteArray::fromHex(hex);
    uint8_t sum = 0;
    for (char byte : bytes)
        sum = uint8_t(sum + uint8_t(byte));
    bytes.append(char(sum));
    return bytes.toHex(' ').toUpper();
}

// Identification requests of the three models for a slot.
inline QByteArray kx200Probe(int slot)
{
    return withSum("2F" + QByteArray::number(slot, 16).rightJustified(2, '0') + "52 08 02");
}
inline QByteArray kx100Probe(int slot)
{
    return withCrc(QByteArray::number(slot, 16).rightJustified(2, '0') + "03 01 6A 00 01");
}
inline QByteArray kx300Probe(int slot)
{
    return withCrc(QByteArray::number(slot, 16).rightJustified(2, '0') + "03 04 1C 00 01");
}

// A window that records every message posted or sent to it.
class MessageRecorder : public QObject
{
public:
    struct Received
    {
        uint32_t message;
        qintptr wParam;
        qintptr lParam;
        TransactionPtr record; // a copy of the carried record, if any
    };
    QList<Received> received;

    // (slot, state) of every inverter state notification, in arrival order.
    QList<QPair<int, int>> states() const
    {
        QList<QPair<int, int>> result;
        for (const Received &r : received)
            if (r.message == Msg::InverterState)
                result.append({int(r.lParam >> 16), int(r.lParam & 0xFFFF)});
        return result;
    }

protected:
    void customEvent(QEvent *event) override
    {
        if (event->type() != WindowMessage::eventType())
            return;
        auto *m = static_cast<WindowMessage *>(event);
        received.append(
            {m->message(), m->wParam(), m->lParam(),
             m->record() ? std::make_shared<TransactionRecord>(*m->record()) : TransactionPtr()});
    }
};

using StateList = QList<QPair<int, int>>;

} // namespace BusTestSupport
