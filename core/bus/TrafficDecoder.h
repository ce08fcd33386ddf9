#pragma once

#include "bus/TrafficEntry.h"
#include "serial/TransactionRecord.h"

#include <QByteArray>
#include <QString>

// Turns the engine's finished exchanges and stray chunks into traffic log entries and tells
// what an entry means in the operator's words: "чтение CD003 = 2000", "запись 0x0900 = 0",
// "исключение 02", "нет ответа (чтение CD003)", "ошибка CRC (чтение CD003)", "чужой адрес 5".
//
// The reply is judged with the same frame checks the model's driver applies, so the result
// code of an entry is the one the requester gets. A reply that fails its check never shows a
// value: its meaning names the failure and, in brackets, only what the request asked.
class TrafficDecoder
{
public:
    // The serial driver's notice of a framing, overrun or parity error.
    static const QByteArray LineErrorNotice;

    // An entry of a finished exchange. The model is the one of the slot's driver that built
    // the request; Unknown falls back on the frame: a request starting with '/' is KX200,
    // anything else Modbus with registers shown by number.
    static TrafficEntry exchange(const TransactionRecord &record, qint64 responseMs,
                                 TrafficEntry::Model model, qint64 time);
    // An entry of a chunk no exchange took: a line error notice or stray bytes.
    static TrafficEntry stray(const QByteArray &bytes, qint64 time);
    // An entry of the port's note.
    static TrafficEntry note(const QString &text, qint64 time);

    static QString meaning(const TrafficEntry &entry);

    // How a register of the model is named: the parameter code the model's window shows
    // ("CD003", "CD45", "B1-01"), else "0x" and four hexadecimal digits.
    static QString registerName(TrafficEntry::Model model, int registerNumber);

    // What the request of an exchange asks: "чтение CD003", "запись 0x0900 = 0" (the value
    // only withValue), "команда пуск = 1", with " (всем)" after a broadcast.
    static QString requestText(const TrafficEntry &entry, bool withValue);

private:
    static bool isSlash(const TrafficEntry &entry);
    static QString exchangeMeaning(const TrafficEntry &entry);
    static TransactionRecord recordOf(const TrafficEntry &entry);
    static void classify(TrafficEntry &entry);
    static QString replyText(const TrafficEntry &entry);
    static QString commandText(TrafficEntry::Model model, int registerNumber, int value);
};
