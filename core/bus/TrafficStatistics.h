#pragma once

#include "bus/TrafficEntry.h"

#include <QAbstractTableModel>
#include <QJsonObject>
#include <QList>

// Line statistics per bus address, one row per address seen, in address order. Every
// exchange counts once in exactly one of good, time-outs, check errors, refusals, other
// address and incomplete, so these add up to the exchanges. Response times are those of the
// exchanges that got a reply; a time-out's wait would only repeat the time-out.
//
// Detection probes are counted apart and nowhere else: asking an address for every model in
// turn, the models it does not hold stay silent, which says nothing about the drive there.
//
// Stray bytes and line error notices belong to no exchange; they are charged to the address
// of the exchange before them (usually the tail or the late reply of that drive), or to the
// row "--" when nothing was exchanged yet.
class TrafficStatistics : public QAbstractTableModel
{
    Q_OBJECT

public:
    struct Counts
    {
        int address = -1;
        qint64 exchanges = 0;
        qint64 probes = 0; // detection probes, outside every other count
        qint64 good = 0;
        qint64 timeOuts = 0;
        qint64 checkErrors = 0; // CRC or sum, too short, negative acknowledgement, line error
        qint64 refusals = 0;    // exception replies and error letters
        qint64 otherAddress = 0;
        qint64 incomplete = 0;
        qint64 strayBytes = 0;
        qint64 lineErrors = 0; // line error notices outside an exchange
        qint64 echoes = 0;     // exchanges whose request the line echoed
        qint64 replies = 0;    // exchanges with a reply, for the mean
        qint64 totalMs = 0;
        qint64 maxMs = 0;
        qint64 lastGood = 0; // ms since the epoch; 0 for never

        double meanMs() const { return replies ? double(totalMs) / double(replies) : 0.0; }
        bool timesOut() const { return timeOuts > 0; }
        bool answersCorruptly() const
        {
            return checkErrors + otherAddress + incomplete + lineErrors > 0;
        }
    };

    enum Column {
        AddressColumn,
        ExchangesColumn,
        ProbesColumn,
        GoodColumn,
        TimeOutsColumn,
        CheckErrorsColumn,
        RefusalsColumn,
        OtherAddressColumn,
        StrayBytesColumn,
        MeanColumn,
        MaxColumn,
        LastGoodColumn,
        ColumnCount
    };
    // 0 for an address without trouble, 1 for time-outs, 2 for corrupt answers.
    enum Role { AttentionRole = Qt::UserRole + 1 };

    explicit TrafficStatistics(QObject *parent = nullptr);

    void record(const TrafficEntry &entry);
    void reset();

    const QList<Counts> &rows() const { return m_rows; }
    // The counts of an address (-1 for the unattributed row); null when it was not seen.
    const Counts *find(int address) const;

    static QJsonObject toJson(const Counts &counts);
    // One text line per address under a heading, for a terminal.
    QStringList textLines() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    int rowOf(int address);

    QList<Counts> m_rows;
    int m_lastAddress = -1;
};
