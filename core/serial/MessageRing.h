#pragma once

#include <array>
#include <cstddef>

// A fixed ring of queued entries, as the engine's request queue and the detection queue keep
// them: equal read and write indexes mean empty, so a ring of Size entries holds at most
// Size - 1. Queuing allocates nothing.
template <typename Entry, int Size> class MessageRing
{
public:
    static constexpr int Capacity = Size - 1;

    // False, and nothing queued, when the ring is full.
    bool push(const Entry &entry)
    {
        const int nextWrite = (m_writeIndex + 1) % Size;
        if (nextWrite == m_readIndex)
            return false;
        m_entries[m_writeIndex] = entry;
        m_writeIndex = nextWrite;
        return true;
    }

    // Takes the oldest entry; false when the ring is empty.
    bool pop(Entry &entry)
    {
        if (m_readIndex == m_writeIndex)
            return false;
        entry = m_entries[m_readIndex];
        m_entries[m_readIndex] = Entry{}; // nothing stale stays behind
        m_readIndex = (m_readIndex + 1) % Size;
        return true;
    }

    // The entry `index` places after the oldest (0: the oldest); index below size().
    const Entry &at(int index) const { return m_entries[(m_readIndex + index) % Size]; }

    // Takes the entry `index` places after the oldest; the others keep their order. False
    // when there is no such entry.
    bool takeAt(int index, Entry &entry)
    {
        if (index < 0 || index >= size())
            return false;
        entry = at(index);
        for (int i = index; i > 0; --i)
            m_entries[(m_readIndex + i) % Size] = m_entries[(m_readIndex + i - 1) % Size];
        m_entries[m_readIndex] = Entry{};
        m_readIndex = (m_readIndex + 1) % Size;
        return true;
    }

    // The oldest entry, or null when the ring is empty.
    const Entry *front() const { return isEmpty() ? nullptr : &m_entries[m_readIndex]; }

    int size() const { return (m_writeIndex - m_readIndex + Size) % Size; }
    bool isEmpty() const { return m_readIndex == m_writeIndex; }

private:
    std::array<Entry, Size> m_entries{};
    int m_readIndex = 0;
    int m_writeIndex = 0;
};
