#pragma once

#include "bus/TrafficEntry.h"
#include "bus/TrafficLogModel.h"
#include "bus/TrafficStatistics.h"

#include <QObject>

#include <functional>

class TDM;
class TransactionEngine;
struct TransactionRecord;

// Watches every exchange of the transaction engine and every chunk no exchange took, and
// keeps them as traffic log entries and per-address statistics. The model of an exchange is
// the one of the slot's driver that built the request, asked of the registry at once, before
// the requester's completion can change the slot.
class TrafficRecorder : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<qint64()>; // milliseconds since the epoch

    TrafficRecorder(TransactionEngine *engine, TDM *registry, QObject *parent = nullptr);

    TrafficLogModel &log() { return m_log; }
    TrafficStatistics &statistics() { return m_statistics; }

    // Off, only the statistics and the entryRecorded signal see the traffic (the command-line
    // tool keeps no table).
    bool keepsLog() const { return m_keepsLog; }
    void setKeepsLog(bool keep) { m_keepsLog = keep; }
    // Tests and the benchmark set the time.
    void setClock(Clock clock) { m_clock = std::move(clock); }

    void recordExchange(const TransactionRecord &record, qint64 responseMs);
    void recordStray(const QByteArray &bytes);
    void recordNote(const QString &text);
    // An exchange of another master heard while listening, decoded by the listener.
    void recordHeard(const TrafficEntry &entry) { add(entry); }

signals:
    void entryRecorded(const TrafficEntry &entry);

private:
    void add(const TrafficEntry &entry);
    TrafficEntry::Model modelOf(const TransactionRecord &record) const;

    TDM *m_registry;
    TrafficLogModel m_log;
    TrafficStatistics m_statistics;
    Clock m_clock;
    bool m_keepsLog = true;
};
