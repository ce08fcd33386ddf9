#pragma once

#include <QIODevice>
#include <QString>

#include <cmath>
#include <cstdint>
#include <deque>

// One point of a drive's trend: the time of a poll reply and the output frequency (Hz),
// voltage (V) and current (A) known then. A quantity not read yet is NaN; `fresh` marks the
// quantities the reply itself brought (bit 0 frequency, 1 voltage, 2 current).
struct TrendSample
{
    qint64 msecs = 0; // milliseconds since the epoch, UTC
    float values[3] = {NAN, NAN, NAN};
    uint8_t fresh = 0;
};

// The samples of one drive, oldest first, bounded by age (MaxAge behind the newest sample)
// and by count (MaxSamples), so a drive polled for days keeps a fixed amount of memory.
// Appending and dropping the oldest sample take constant time.
class TrendBuffer
{
public:
    enum Quantity { Frequency = 0, Voltage = 1, Current = 2 };
    static constexpr qint64 MaxAgeMs = 24LL * 3600 * 1000;
    // 24 h of samples at four replies a second, far above the monitor's one a second.
    static constexpr int MaxSamples = 24 * 3600 * 4;

    explicit TrendBuffer(int maxSamples = MaxSamples, qint64 maxAgeMs = MaxAgeMs);

    // A reply for one quantity at the given time: a new sample with that value and the last
    // known values of the other two. A time earlier than the newest sample is taken as the
    // newest sample's time, so the samples stay in time order.
    void append(Quantity quantity, double value, qint64 msecs);
    void clear();

    int size() const { return int(m_samples.size()); }
    bool isEmpty() const { return m_samples.empty(); }
    const TrendSample &at(int i) const { return m_samples[size_t(i)]; }
    const TrendSample &last() const { return m_samples.back(); }
    int maxSamples() const { return m_maxSamples; }
    // Index of the first sample at or after msecs (size() when none).
    int lowerBound(qint64 msecs) const;
    // Index of the sample closest in time to msecs; -1 when the buffer is empty.
    int nearest(qint64 msecs) const;

    // CSV: a header line "time,F_Hz,V_V,I_A" and one line per sample with the local time in
    // ISO form with milliseconds; a quantity not known yet is an empty field.
    static QString csvHeader();
    static QString csvRow(qint64 msecs, const float values[3]);
    // Writes the header and every sample from index `from` on; false when a write fails.
    bool writeCsv(QIODevice &device, int from = 0) const;

private:
    std::deque<TrendSample> m_samples;
    float m_latest[3] = {NAN, NAN, NAN};
    int m_maxSamples;
    qint64 m_maxAgeMs;
};
