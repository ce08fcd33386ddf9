#pragma once

#include "monitor/TrendBuffer.h"

#include <QObject>

#include <array>
#include <memory>

// The trend samples of every drive, by slot. Monitor windows add the values of their poll
// replies; trend windows read them. A slot gets its buffer with its first sample, so drives
// that are never monitored cost nothing.
class TrendStore : public QObject
{
    Q_OBJECT

public:
    static constexpr int SlotCount = 32;

    // The store of the program.
    static TrendStore &instance();

    // Adds a poll reply's value for the slot at the current time (or the given one).
    void append(int slot, TrendBuffer::Quantity quantity, double value, qint64 msecs = -1);
    // The slot's buffer; null before its first sample or for a slot outside 0..31.
    const TrendBuffer *buffer(int slot) const;
    void clear(int slot);

signals:
    void sampleAdded(int slot);

private:
    std::array<std::unique_ptr<TrendBuffer>, SlotCount> m_buffers;
};
