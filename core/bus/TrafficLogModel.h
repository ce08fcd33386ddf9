#pragma once

#include "bus/TrafficEntry.h"

#include <QAbstractTableModel>
#include <QTimer>

#include <deque>

// The traffic log as a table: a ring of the last entries (100 000 unless told otherwise)
// with the count of the oldest ones dropped to keep within it.
//
// Appending never blocks the bus: an entry goes into a pending batch, and the batch is
// inserted into the table in one step when the flush timer fires (every 50 ms at most), so a
// view pays for one insertion per batch, not per exchange. While paused the batch is held
// back (the view stands still) but keeps taking entries, bounded by the same ring size, and
// each batch still tells of its count.
class TrafficLogModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        TimeColumn,
        AddressColumn,
        ModelColumn,
        RequestColumn,
        ReplyColumn,
        MeaningColumn,
        ResultColumn,
        ResponseColumn,
        ColumnCount
    };
    enum Role { AddressRole = Qt::UserRole + 1, ErrorRole, OutcomeRole };

    static constexpr int DefaultCapacity = 100000;

    explicit TrafficLogModel(QObject *parent = nullptr);

    int capacity() const { return m_capacity; }
    // Takes effect at the next append or flush.
    void setCapacity(int entries);
    int flushInterval() const { return m_flushTimer.interval(); }
    void setFlushInterval(int milliseconds) { m_flushTimer.setInterval(milliseconds); }

    void append(const TrafficEntry &entry);
    // Inserts the pending batch now (the flush timer's handler; tests call it directly).
    void flush();

    bool isPaused() const { return m_paused; }
    void setPaused(bool paused);
    // Empties the table and the pending batch and forgets the dropped count.
    void clear();

    // Entries appended since the last clear, shown or not.
    qint64 appendedCount() const { return m_appended; }
    // Entries dropped to keep within the capacity since the last clear.
    qint64 droppedCount() const { return m_dropped; }
    int pendingCount() const { return int(m_pending.size()); }
    const TrafficEntry &entry(int row) const { return m_entries[size_t(row)]; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    // The appended, dropped or pending counts have changed.
    void countsChanged();

private:
    std::deque<TrafficEntry> m_entries;
    std::deque<TrafficEntry> m_pending;
    QTimer m_flushTimer;
    int m_capacity = DefaultCapacity;
    bool m_paused = false;
    qint64 m_appended = 0;
    qint64 m_dropped = 0;
};
