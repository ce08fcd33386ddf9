#include "bus/TrafficDecoder.h"

#include "bus/ModbusFrame.h"
#include "bus/SlashFrame.h"
#include "bus/TInverterKX100.h"
#include "bus/TInverterKX200.h"
#include "bus/TInverterKX300.h"
#include "params/ParameterRowTable.h"
#include "params/ParameterValue.h"
#include "serial/MessageNumbers.h"

#include <QHash>

#include <algorithm>
#include <cstring>

namespace {

using Model = TrafficEntry::Model;
using Outcome = TrafficEntry::Outcome;

// A letter byte of a slash frame; a byte outside this range is an address.
bool isLetter(uint8_t byte)
{
    return byte >= 0x40 && byte <= 0x7F;
}

// Upper-case hexadecimal digits, at least `digits` of them.
QString hex(int value, int digits)
{
    return QString::number(value, 16).rightJustified(digits, QLatin1Char('0')).toUpper();
}

int word(const QByteArray &bytes, int at)
{
    return (uint8_t(bytes[at]) << 8) | uint8_t(bytes[at + 1]);
}

// Register -> parameter code of the model's parameter windows, built once.
const QHash<int, QString> &codesOf(Model model)
{
    static const auto build = [](const QStringList &tables) {
        QHash<int, QString> codes;
        for (const QString &name : tables) {
            for (const ParameterRow &row : ParameterRowTable::embedded(name).rows()) {
                QString code = row.code;
                while (code.endsWith(QLatin1Char('*')))
                    code.chop(1);
                codes.insert(row.registerNumber, code);
            }
        }
        return codes;
    };
    static const QHash<int, QString> kx100 = build({QStringLiteral("kx100")});
    static const QHash<int, QString> kx200 = build({QStringLiteral("kx200")});
    static const QHash<int, QString> kx300 = [] {
        QStringList groups;
        for (const QString &name : ParameterRowTable::embeddedNames())
            if (name.startsWith(QLatin1String("kx300_")))
                groups << name;
        return build(groups);
    }();
    static const QHash<int, QString> none;
    switch (model) {
    case Model::KX100:
        return kx100;
    case Model::KX200:
        return kx200;
    case Model::KX300:
        return kx300;
    case Model::Unknown:
        break;
    }
    return none;
}

bool isOperationRegister(Model model, int registerNumber)
{
    return (model == Model::KX100 && registerNumber == TInverterKX100::OperationRegister) ||
           (model == Model::KX200 && registerNumber == TInverterKX200::StatusRegister) ||
           (model == Model::KX300 && registerNumber == TInverterKX300::OperationRegister);
}

} // namespace

const QByteArray TrafficDecoder::LineErrorNotice = QByteArrayLiteral("Even");

TrafficEntry TrafficDecoder::exchange(const TransactionRecord &record, qint64 responseMs,
                                      TrafficEntry::Model model, qint64 time)
{
    TrafficEntry entry;
    entry.time = time;
    entry.kind = TrafficEntry::Kind::Exchange;
    entry.address = int8_t(record.Slot >= 0 && record.Slot < 32 ? record.Slot : -1);
    entry.responseMs = int32_t(std::clamp<qint64>(responseMs, 0, INT32_MAX));
    const int tx = std::clamp(record.TxLength, 0, TransactionRecord::FrameSize);
    entry.request = QByteArray(reinterpret_cast<const char *>(record.TxFrame), tx);
    if (record.RxLength >= 0) {
        const int rx = std::min(record.RxLength, TransactionRecord::FrameSize);
        entry.reply = QByteArray(reinterpret_cast<const char *>(record.RxFrame), rx);
    }
    // Only KX200 speaks the slash frame, so its frames name their model themselves.
    entry.model = model == Model::Unknown && entry.request.startsWith(char(SlashFrame::Start))
                      ? Model::KX200
                      : model;
    entry.result = record.RxLength < 0 ? int8_t(TransactionResult::TimeOut) : int8_t(0);
    entry.echo = record.Echoed;
    entry.probe = record.NotifyMessage == Msg::DetectKX200Result ||
                  record.NotifyMessage == Msg::DetectKX100Result ||
                  record.NotifyMessage == Msg::DetectKX300Result;
    classify(entry);
    return entry;
}

TrafficEntry TrafficDecoder::stray(const QByteArray &bytes, qint64 time)
{
    TrafficEntry entry;
    entry.time = time;
    entry.kind =
        bytes == LineErrorNotice ? TrafficEntry::Kind::LineError : TrafficEntry::Kind::Stray;
    entry.outcome = Outcome::Stray;
    entry.reply = bytes;
    return entry;
}

TrafficEntry TrafficDecoder::note(const QString &text, qint64 time)
{
    TrafficEntry entry;
    entry.time = time;
    entry.kind = TrafficEntry::Kind::Note;
    entry.note = text;
    return entry;
}

bool TrafficDecoder::isSlash(const TrafficEntry &entry)
{
    return entry.model == Model::KX200;
}

TransactionRecord TrafficDecoder::recordOf(const TrafficEntry &entry)
{
    TransactionRecord record;
    record.Slot = entry.address;
    record.TxLength =
        int32_t(std::min<qsizetype>(entry.request.size(), TransactionRecord::FrameSize));
    std::memcpy(record.TxFrame, entry.request.constData(), size_t(record.TxLength));
    if (entry.outcome != Outcome::TimeOut) {
        record.RxLength =
            int32_t(std::min<qsizetype>(entry.reply.size(), TransactionRecord::FrameSize));
        std::memcpy(record.RxFrame, entry.reply.constData(), size_t(record.RxLength));
    }
    return record;
}

void TrafficDecoder::classify(TrafficEntry &entry)
{
    if (entry.result == TransactionResult::TimeOut) {
        entry.outcome = Outcome::TimeOut;
        return;
    }
    if (entry.reply == LineErrorNotice) {
        // The notice took the place of the reply: the requester's check fails on it.
        entry.outcome = Outcome::LineError;
        entry.result = TransactionResult::CommError;
        return;
    }
    const TransactionRecord record = recordOf(entry);
    const QByteArray &rx = entry.reply;
    const QByteArray &tx = entry.request;
    if (isSlash(entry)) {
        entry.result = int8_t(SlashFrame::checkReply(record));
        if (entry.result == TransactionResult::CommError) {
            // 'N' or 'n' with a correct sum is the inverter's negative acknowledgement.
            const int n = int(rx.size());
            const bool sumOk =
                n >= 3 && SlashFrame::sum(record.RxFrame, n - 1) == record.RxFrame[n - 1];
            const uint8_t letter =
                n >= 3 ? (isLetter(uint8_t(rx[1])) ? uint8_t(rx[1]) : uint8_t(rx[2])) : 0;
            entry.outcome = sumOk && (letter == 'N' || letter == 'n') ? Outcome::NegativeAck
                                                                      : Outcome::CheckError;
            return;
        }
        if (entry.result == TransactionResult::InverterError) {
            entry.outcome = Outcome::Refused;
            return;
        }
        // The broadcast address write carries no address: any replying address is welcome.
        const bool broadcast = tx.size() >= 2 && isLetter(uint8_t(tx[1]));
        const int own = tx.size() >= 2 && !broadcast ? uint8_t(tx[1]) : -1;
        // Another drive's reply is told by its address byte before anything else.
        if (!broadcast && rx.size() >= 2 && !isLetter(uint8_t(rx[1])) && uint8_t(rx[1]) != own) {
            entry.outcome = Outcome::OtherAddress;
            return;
        }
        const auto reply = SlashFrame::takeApart(record, own);
        entry.outcome = reply ? Outcome::Good : Outcome::Incomplete;
        return;
    }
    entry.result = int8_t(ModbusFrame::checkReply(record));
    if (entry.result == TransactionResult::CommError) {
        entry.outcome = Outcome::CheckError;
        return;
    }
    if (entry.result == TransactionResult::InverterError) {
        entry.outcome = Outcome::Refused;
        return;
    }
    const bool broadcast = !tx.isEmpty() && uint8_t(tx[0]) == ModbusFrame::BroadcastAddress;
    if (!broadcast && !tx.isEmpty() && rx[0] != tx[0])
        entry.outcome = Outcome::OtherAddress;
    else if (!ModbusFrame::takeApart(record))
        entry.outcome = Outcome::Incomplete;
    else
        entry.outcome = Outcome::Good;
}

QString TrafficDecoder::registerName(TrafficEntry::Model model, int registerNumber)
{
    const QString code = codesOf(model).value(registerNumber);
    if (!code.isEmpty())
        return code;
    return QStringLiteral("0x") + hex(registerNumber, 4);
}

QString TrafficDecoder::commandText(TrafficEntry::Model model, int registerNumber, int value)
{
    Q_UNUSED(registerNumber);
    QStringList words;
    switch (model) {
    case Model::KX100:
        words << ((value & 1) ? QStringLiteral("пуск") : QStringLiteral("стоп"));
        if (value & 2)
            words << QStringLiteral("реверс");
        break;
    case Model::KX300:
        if (value & 1)
            words << QStringLiteral("пуск");
        else if (value & 2)
            words << QStringLiteral("пуск") << QStringLiteral("реверс");
        else
            words << QStringLiteral("стоп");
        break;
    case Model::KX200:
        if (value & TInverterKX200::StopBit)
            words << QStringLiteral("стоп");
        if (value & TInverterKX200::RunBit)
            words << QStringLiteral("пуск");
        if (value & TInverterKX200::ReverseBit)
            words << QStringLiteral("реверс");
        if (value & TInverterKX200::AuxBit)
            words << QStringLiteral("доп. команда");
        if (words.isEmpty())
            words << QStringLiteral("нет команды");
        break;
    case Model::Unknown:
        break;
    }
    return QStringLiteral("команда %1 = %2").arg(words.join(QStringLiteral(", "))).arg(value);
}

QString TrafficDecoder::requestText(const TrafficEntry &entry, bool withValue)
{
    const QByteArray &tx = entry.request;
    QString text;
    bool broadcast = false;
    int function = 0;
    int registerNumber = -1;
    int value = -1;
    if (isSlash(entry)) {
        broadcast = tx.size() >= 2 && isLetter(uint8_t(tx[1]));
        const int at = broadcast ? 1 : 2; // the letter
        if (tx.size() >= at + 3) {
            function = uint8_t(tx[at]);
            registerNumber = word(tx, at + 1);
        }
        if (tx.size() >= at + 6)
            value = word(tx, at + 3);
        function = function == SlashFrame::ReadLetter    ? ModbusFrame::ReadFunction
                   : function == SlashFrame::WriteLetter ? ModbusFrame::WriteFunction
                                                         : -1;
    } else if (tx.size() >= 4) {
        broadcast = uint8_t(tx[0]) == ModbusFrame::BroadcastAddress;
        function = uint8_t(tx[1]);
        registerNumber = word(tx, 2);
        if (function == ModbusFrame::WriteFunction && tx.size() >= 9)
            value = word(tx, 7);
    }
    if (registerNumber < 0 || function < 0) {
        text = QStringLiteral("запрос");
    } else if (function == ModbusFrame::ReadFunction) {
        text = QStringLiteral("чтение ") + registerName(entry.model, registerNumber);
    } else if (function == ModbusFrame::WriteFunction) {
        if (isOperationRegister(entry.model, registerNumber))
            text = withValue && value >= 0 ? commandText(entry.model, registerNumber, value)
                                           : QStringLiteral("команда");
        else
            text = QStringLiteral("запись ") + registerName(entry.model, registerNumber) +
                   (withValue && value >= 0 ? QStringLiteral(" = %1").arg(value) : QString());
    } else {
        text = QStringLiteral("функция ") + hex(function, 2);
    }
    if (broadcast)
        text += QStringLiteral(" (всем)");
    return text;
}

QString TrafficDecoder::replyText(const TrafficEntry &entry)
{
    const TransactionRecord record = recordOf(entry);
    if (isSlash(entry)) {
        const QByteArray &tx = entry.request;
        const bool broadcast = tx.size() >= 2 && isLetter(uint8_t(tx[1]));
        const int own = tx.size() >= 2 && !broadcast ? uint8_t(tx[1]) : -1;
        const auto reply = SlashFrame::takeApart(record, own);
        if (!reply)
            return QStringLiteral("неполный ответ");
        const QString addressless = entry.reply.size() >= 2 && isLetter(uint8_t(entry.reply[1]))
                                        ? QStringLiteral(" (ответ без адреса)")
                                        : QString();
        const uint8_t letter = uint8_t(QChar(reply->letter).toUpper().unicode());
        QString text;
        if (letter == SlashFrame::WriteLetter &&
            isOperationRegister(entry.model, reply->registerNumber))
            text = commandText(entry.model, reply->registerNumber, reply->data);
        else if (letter == SlashFrame::ReadLetter || letter == SlashFrame::WriteLetter)
            text = (letter == SlashFrame::ReadLetter ? QStringLiteral("чтение ")
                                                     : QStringLiteral("запись ")) +
                   registerName(entry.model, reply->registerNumber) +
                   QStringLiteral(" = %1").arg(reply->data);
        else
            text = QStringLiteral("ответ «%1»").arg(QChar(reply->letter));
        return text + addressless;
    }
    const auto reply = ModbusFrame::takeApart(record);
    if (!reply)
        return QStringLiteral("неполный ответ");
    // A word in the sign of the parameter row behind its register (a counter such as U1-13 is
    // unsigned, a KX300 register without a row is signed); an unknown drive's word as sent.
    const int value = entry.model == Model::Unknown
                          ? int(reply->value)
                          : int(ParameterValue::registerWord(TrafficEntry::modelName(entry.model),
                                                             reply->registerNumber,
                                                             uint16_t(reply->value)));
    QString text;
    if (!reply->isRead && isOperationRegister(entry.model, reply->registerNumber))
        text = commandText(entry.model, reply->registerNumber, value);
    else
        text = (reply->isRead ? QStringLiteral("чтение ") : QStringLiteral("запись ")) +
               registerName(entry.model, reply->registerNumber) +
               QStringLiteral(" = %1").arg(value);
    if (!entry.request.isEmpty() && uint8_t(entry.request[0]) == ModbusFrame::BroadcastAddress)
        text += QStringLiteral(" (всем)");
    return text;
}

QString TrafficDecoder::meaning(const TrafficEntry &entry)
{
    const QString text = exchangeMeaning(entry);
    return entry.echo ? text + QStringLiteral(" (эхо)") : text;
}

QString TrafficDecoder::exchangeMeaning(const TrafficEntry &entry)
{
    if (!entry.meaning.isEmpty())
        return entry.meaning;
    if (entry.kind == TrafficEntry::Kind::Note)
        return entry.note;
    if (entry.kind == TrafficEntry::Kind::LineError)
        return QStringLiteral("ошибка линии");
    if (entry.kind == TrafficEntry::Kind::Stray)
        return QStringLiteral("посторонние байты (%1)").arg(entry.reply.size());
    const auto failed = [&](const QString &what) {
        return what + QStringLiteral(" (") + requestText(entry, false) + QLatin1Char(')');
    };
    const QByteArray &rx = entry.reply;
    switch (entry.outcome) {
    case Outcome::Good:
        return replyText(entry);
    case Outcome::TimeOut:
        return failed(QStringLiteral("нет ответа"));
    case Outcome::CheckError:
        if (isSlash(entry))
            return failed(rx.size() < 3 ? QStringLiteral("короткий ответ")
                                        : QStringLiteral("ошибка суммы"));
        return failed(rx.size() < 4 ? QStringLiteral("короткий ответ")
                                    : QStringLiteral("ошибка CRC"));
    case Outcome::LineError:
        return failed(QStringLiteral("ошибка линии"));
    case Outcome::NegativeAck:
        return failed(QStringLiteral("отрицательная квитанция"));
    case Outcome::Refused:
        if (isSlash(entry)) {
            const uint8_t letter = isLetter(uint8_t(rx[1])) ? uint8_t(rx[1]) : uint8_t(rx[2]);
            return failed(QStringLiteral("ошибка ПЧ ") + hex(letter, 2));
        }
        return failed(QStringLiteral("исключение ") + hex(uint8_t(rx[2]), 2));
    case Outcome::OtherAddress: {
        int from = uint8_t(rx[0]);
        if (isSlash(entry))
            from = uint8_t(rx[1]);
        return failed(QStringLiteral("чужой адрес %1").arg(from));
    }
    case Outcome::Incomplete:
        return failed(QStringLiteral("неполный ответ"));
    case Outcome::Stray:
        break;
    }
    return QString();
}
