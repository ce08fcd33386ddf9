#include "monitor/TrendStore.h"

#include <QDateTime>

TrendStore &TrendStore::instance()
{
    static TrendStore store;
    return store;
}

void TrendStore::append(int slot, TrendBuffer::Quantity quantity, double value, qint64 msecs)
{
    if (slot < 0 || slot >= SlotCount)
        return;
    if (!m_buffers[slot])
        m_buffers[slot] = std::make_unique<TrendBuffer>();
    m_buffers[slot]->append(quantity, value,
                            msecs >= 0 ? msecs : QDateTime::currentMSecsSinceEpoch());
    emit sampleAdded(slot);
}

const TrendBuffer *TrendStore::buffer(int slot) const
{
    return slot >= 0 && slot < SlotCount ? m_buffers[slot].get() : nullptr;
}

void TrendStore::clear(int slot)
{
    if (slot >= 0 && slot < SlotCount && m_buffers[slot])
        m_buffers[slot]->clear();
}
