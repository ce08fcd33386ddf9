#include "bus/ListenDecoder.h"

#include "bus/ModbusFrame.h"
#include "bus/SlashFrame.h"
#include "bus/TInverterKX100.h"
#include "bus/TInverterKX300.h"
#include "bus/TrafficDecoder.h"
#include "params/ParameterValue.h"
#include "serial/TransactionRecord.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

using Model = TrafficEntry::Model;
using Kind = ExchangePairer::Exchange::Kind;

void copyFrame(const QByteArray &bytes, uint8_t *frame, int32_t &length)
{
    length = int32_t(std::min<qsizetype>(bytes.size(), TransactionRecord::FrameSize));
    std::memcpy(frame, bytes.constData(), size_t(length));
}

TransactionRecord recordOf(const TrafficEntry &entry)
{
    TransactionRecord record;
    record.Slot = entry.address;
    copyFrame(entry.request, record.TxFrame, record.TxLength);
    copyFrame(entry.reply, record.RxFrame, record.RxLength);
    return record;
}

// The readouts a KX100 shows on its monitor: output frequency, current and voltage.
constexpr int KX100Readouts[] = {36, 39, 40};

// Whether a Modbus model has anything at the register: a parameter row, a control word or a
// readout.
bool knows(Model model, int registerNumber)
{
    if (model == Model::KX100 && std::find(std::begin(KX100Readouts), std::end(KX100Readouts),
                                           registerNumber) != std::end(KX100Readouts))
        return true;
    if (model == Model::KX100 && (registerNumber == TInverterKX100::OperationRegister ||
                                  registerNumber == TInverterKX100::FrequencyRegister ||
                                  registerNumber == TInverterKX100::CommitRegister))
        return true;
    if (model == Model::KX300 && (registerNumber == TInverterKX300::OperationRegister ||
                                  registerNumber == TInverterKX300::FrequencyRegister ||
                                  registerNumber == TInverterKX300::CommitRegister))
        return true;
    return ParameterValue::rowOfRegister(TrafficEntry::modelName(model), registerNumber);
}

// The unit of a numeric row, as far as its caption names the quantity.
QString unitOf(const ParameterRow &row)
{
    const QString caption = row.caption.toLower();
    if (caption.contains(QStringLiteral("напряжени")))
        return QStringLiteral(" В");
    if (caption.contains(QStringLiteral("частот")))
        return QStringLiteral(" Гц");
    if (caption.startsWith(QStringLiteral("ток")) || caption.contains(QStringLiteral(" ток")))
        return QStringLiteral(" А");
    return QString();
}

} // namespace

void ListenDecoder::setModel(int address, TrafficEntry::Model model)
{
    m_given.insert(address, model);
}

void ListenDecoder::clearModels()
{
    m_given.clear();
    m_inferred.clear();
    m_registers.clear();
    m_excluded.clear();
}

TrafficEntry::Model ListenDecoder::modelOf(int address) const
{
    return m_given.value(address, m_inferred.value(address, Model::Unknown));
}

void ListenDecoder::learn(const ExchangePairer::Exchange &exchange)
{
    if (!exchange.request || exchange.address < 0 || m_given.contains(exchange.address))
        return;
    const QByteArray &rq = exchange.request->bytes;
    if (exchange.protocol == StreamFrameCutter::Frame::Protocol::Slash) {
        m_inferred.insert(exchange.address, Model::KX200); // only KX200 speaks it
        return;
    }
    if (exchange.address == ModbusFrame::BroadcastAddress || rq.size() < 4)
        return;
    QSet<int> &seen = m_registers[exchange.address];
    const int registerNumber = (uint8_t(rq[2]) << 8) | uint8_t(rq[3]);
    seen.insert(registerNumber);
    // A write the drive took with a value the model's field cannot hold rules that model out.
    QSet<Model> &excluded = m_excluded[exchange.address];
    if (exchange.kind == Kind::Answered && uint8_t(rq[1]) == ModbusFrame::WriteFunction &&
        rq.size() >= 9 && exchange.reply->bytes.size() >= 2 &&
        uint8_t(exchange.reply->bytes[1]) == ModbusFrame::WriteFunction) {
        const uint16_t word = uint16_t((uint8_t(rq[7]) << 8) | uint8_t(rq[8]));
        for (Model model : {Model::KX100, Model::KX300}) {
            const QString name = TrafficEntry::modelName(model);
            const ParameterRow *row = ParameterValue::rowOfRegister(name, registerNumber);
            if (row && ParameterValue::check(
                           *row, ParameterValue::registerWord(name, registerNumber, word))
                               .verdict != ParameterValue::Verdict::Ok)
                excluded.insert(model);
        }
    }
    // One model knowing every register used decides; two, or none, leave the frames raw.
    Model found = Model::Unknown;
    int fitting = 0;
    for (Model model : {Model::KX100, Model::KX300}) {
        if (excluded.contains(model))
            continue;
        if (std::all_of(seen.begin(), seen.end(), [&](int r) { return knows(model, r); })) {
            found = model;
            ++fitting;
        }
    }
    m_inferred.insert(exchange.address, fitting == 1 ? found : Model::Unknown);
}

TrafficEntry ListenDecoder::entry(const ExchangePairer::Exchange &exchange)
{
    learn(exchange);
    TrafficEntry entry;
    const int address = exchange.address;
    entry.address = int8_t(address >= 0 && address <= 127 ? address : -1);
    if (exchange.kind == Kind::Noise || exchange.kind == Kind::Orphan) {
        entry = TrafficDecoder::stray(exchange.reply->bytes, exchange.reply->startUs / 1000);
        if (exchange.kind == Kind::Orphan) {
            entry.address = int8_t(address >= 0 && address <= 127 ? address : -1);
            entry.model = address >= 0 ? modelOf(address) : Model::Unknown;
            entry.meaning = QStringLiteral("ответ без запроса (%1 байт)").arg(entry.reply.size());
        }
        return entry;
    }
    TransactionRecord record;
    record.Slot = entry.address;
    copyFrame(exchange.request->bytes, record.TxFrame, record.TxLength);
    qint64 responseUs = 0;
    if (exchange.reply) {
        copyFrame(exchange.reply->bytes, record.RxFrame, record.RxLength);
        responseUs = exchange.reply->endUs - exchange.request->endUs;
    } else {
        record.RxLength = -1;
    }
    const Model model = exchange.protocol == StreamFrameCutter::Frame::Protocol::Slash
                            ? Model::KX200
                            : modelOf(address);
    entry = TrafficDecoder::exchange(record, exchange.reply ? responseUs / 1000 : -1, model,
                                     exchange.request->startUs / 1000);
    if (!exchange.reply)
        entry.responseMs = -1;
    if (exchange.kind == Kind::Broadcast) {
        // Nobody answers a broadcast: its meaning is what it asked, and it is no time-out.
        entry.outcome = TrafficEntry::Outcome::Good;
        entry.result = 0;
    }
    entry.meaning = meaning(entry);
    return entry;
}

QString ListenDecoder::valueText(const ParameterRow &row, uint16_t word, const QString &model)
{
    const int32_t value = ParameterValue::registerWord(model, row.registerNumber, word);
    if (row.isList()) {
        const QString item =
            value >= 0 && value < row.items.size() ? row.items[value].trimmed() : QString();
        return item.isEmpty() ? QString::number(value) : item;
    }
    return row.formatValue(value) + unitOf(row);
}

QString ListenDecoder::meaning(const TrafficEntry &entry)
{
    TrafficEntry plain = entry;
    plain.meaning.clear();
    const bool broadcastOnly = entry.kind == TrafficEntry::Kind::Exchange &&
                               entry.reply.isEmpty() &&
                               entry.outcome == TrafficEntry::Outcome::Good;
    const QString words =
        broadcastOnly ? TrafficDecoder::requestText(plain, true) : TrafficDecoder::meaning(plain);
    if (entry.kind != TrafficEntry::Kind::Exchange || entry.model == Model::Unknown ||
        entry.outcome != TrafficEntry::Outcome::Good || words.startsWith(QStringLiteral("команда")))
        return words;
    const QString model = TrafficEntry::modelName(entry.model);
    const QByteArray &rq = entry.request;
    bool read = false;
    int registerNumber = -1;
    uint16_t word = 0;
    if (broadcastOnly) {
        // The value of a broadcast comes from the request alone.
        if (entry.model != Model::KX200 && rq.size() >= 9 &&
            uint8_t(rq[1]) == ModbusFrame::WriteFunction) {
            registerNumber = (uint8_t(rq[2]) << 8) | uint8_t(rq[3]);
            word = uint16_t((uint8_t(rq[7]) << 8) | uint8_t(rq[8]));
        } else if (entry.model == Model::KX200 && rq.size() >= 6) {
            registerNumber = (uint8_t(rq[2]) << 8) | uint8_t(rq[3]);
            word = uint16_t((uint8_t(rq[4]) << 8) | uint8_t(rq[5]));
        }
    } else if (entry.model == Model::KX200) {
        const int own = rq.size() >= 2 && !(uint8_t(rq[1]) >= 0x40 && uint8_t(rq[1]) <= 0x7F)
                            ? uint8_t(rq[1])
                            : -1;
        if (const auto reply = SlashFrame::takeApart(recordOf(entry), own)) {
            const uint8_t letter = uint8_t(QChar(reply->letter).toUpper().unicode());
            if (letter != SlashFrame::ReadLetter && letter != SlashFrame::WriteLetter)
                return words;
            read = letter == SlashFrame::ReadLetter;
            registerNumber = reply->registerNumber;
            word = reply->data;
        }
    } else if (const auto reply = ModbusFrame::takeApart(recordOf(entry))) {
        read = reply->isRead;
        registerNumber = reply->registerNumber;
        word = reply->value;
    }
    const ParameterRow *row =
        registerNumber >= 0 ? ParameterValue::rowOfRegister(model, registerNumber) : nullptr;
    if (!row)
        return words;
    QString text = (read ? QStringLiteral("чтение ") : QStringLiteral("запись ")) +
                   TrafficDecoder::registerName(entry.model, registerNumber) +
                   QStringLiteral(" = ") + valueText(*row, word, model);
    if (words.endsWith(QStringLiteral(" (всем)")))
        text += QStringLiteral(" (всем)");
    return text;
}
