#include "bus/TrafficRecorder.h"

#include "bus/TDM.h"
#include "bus/TrafficDecoder.h"
#include "serial/TransactionEngine.h"

#include <QDateTime>

TrafficRecorder::TrafficRecorder(TransactionEngine *engine, TDM *registry, QObject *parent)
    : QObject(parent), m_registry(registry),
      m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    if (engine) {
        connect(engine, &TransactionEngine::exchangeFinished, this,
                &TrafficRecorder::recordExchange);
        connect(engine, &TransactionEngine::strayReceived, this, &TrafficRecorder::recordStray);
        connect(engine, &TransactionEngine::lineNote, this, &TrafficRecorder::recordNote);
    }
}

TrafficEntry::Model TrafficRecorder::modelOf(const TransactionRecord &record) const
{
    if (!m_registry || !TDM::isValidSlot(record.Slot))
        return TrafficEntry::Model::Unknown;
    // A slot emptied or refilled since the request was built no longer names its model.
    if (record.SlotGeneration != 0 &&
        record.SlotGeneration != m_registry->slotGeneration(record.Slot))
        return TrafficEntry::Model::Unknown;
    return TrafficEntry::modelNamed(m_registry->GetTypeName(record.Slot));
}

void TrafficRecorder::recordExchange(const TransactionRecord &record, qint64 responseMs)
{
    add(TrafficDecoder::exchange(record, responseMs, modelOf(record), m_clock()));
}

void TrafficRecorder::recordStray(const QByteArray &bytes)
{
    add(TrafficDecoder::stray(bytes, m_clock()));
}

void TrafficRecorder::recordNote(const QString &text)
{
    add(TrafficDecoder::note(text, m_clock()));
}

void TrafficRecorder::add(const TrafficEntry &entry)
{
    m_statistics.record(entry);
    if (m_keepsLog)
        m_log.append(entry);
    emit entryRecorded(entry);
}
