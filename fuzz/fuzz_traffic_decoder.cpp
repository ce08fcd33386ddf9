// The traffic decoder and what is built on its entries: the meaning of an exchange, the trace
// line, the CSV and text exports, the per-address statistics and their JSON. Any request and
// reply bytes, lengths, models and response times.

#include "FuzzInput.h"
#include "bus/TrafficDecoder.h"
#include "bus/TrafficExport.h"
#include "bus/TrafficLine.h"
#include "bus/TrafficStatistics.h"

#include <QJsonObject>

#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzInput::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    QList<TrafficEntry> entries;
    TrafficStatistics statistics;
    while (!in.atEnd()) {
        const uint8_t kind = in.byte();
        const qint64 time = qint64(in.number()) * 1000;
        if (kind & 0x80) {
            const QByteArray bytes = in.bytes(in.byte());
            entries << TrafficDecoder::stray(kind & 0x40 ? TrafficDecoder::LineErrorNotice : bytes,
                                             time);
        } else {
            TransactionRecord record;
            // Lengths of -1 (nothing) up to the whole frame, as the engine stores them.
            const QByteArray tx = in.bytes(in.byte() % (TransactionRecord::FrameSize + 1));
            const uint8_t rxCode = in.byte();
            const QByteArray rx = in.bytes(rxCode % (TransactionRecord::FrameSize + 1));
            std::memcpy(record.TxFrame, tx.constData(), size_t(tx.size()));
            std::memcpy(record.RxFrame, rx.constData(), size_t(rx.size()));
            record.TxLength = tx.isEmpty() ? -1 : int(tx.size());
            record.RxLength = rxCode == 0xFF ? -1 : int(rx.size());
            record.Result = kind % 4;
            const auto model = TrafficEntry::Model(in.byte() % 4);
            // Response times up to the largest the engine can report.
            const qint64 responseMs = qint64(in.number() & 0x7FFFFFFF);
            entries << TrafficDecoder::exchange(record, responseMs, model, time);
        }
        const TrafficEntry &entry = entries.last();
        FUZZ_CHECK(!TrafficDecoder::meaning(entry).isNull());
        FUZZ_CHECK(!TrafficLine::text(entry).isEmpty());
        TrafficLine::csv(entry);
        statistics.record(entry);
    }
    for (const TrafficStatistics::Counts &counts : statistics.rows()) {
        const QJsonObject json = TrafficStatistics::toJson(counts);
        FUZZ_CHECK(!json.isEmpty());
    }
    statistics.textLines();
    for (int row = 0; row < statistics.rowCount(); ++row) {
        for (int column = 0; column < statistics.columnCount(); ++column)
            statistics.index(row, column).data();
    }
    TrafficExport::contents(entries, TrafficExport::Format::Csv);
    TrafficExport::contents(entries, TrafficExport::Format::Text);
    return 0;
}
