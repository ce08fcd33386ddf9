#include "monitor/TrendBuffer.h"

#include <QDateTime>

#include <algorithm>

TrendBuffer::TrendBuffer(int maxSamples, qint64 maxAgeMs)
    : m_maxSamples(std::max(1, maxSamples)), m_maxAgeMs(maxAgeMs)
{
}

void TrendBuffer::append(Quantity quantity, double value, qint64 msecs)
{
    if (quantity < Frequency || quantity > Current)
        return;
    if (!m_samples.empty())
        msecs = std::max(msecs, m_samples.back().msecs);
    m_latest[quantity] = float(value);
    TrendSample sample;
    sample.msecs = msecs;
    std::copy(std::begin(m_latest), std::end(m_latest), sample.values);
    sample.fresh = uint8_t(1u << quantity);
    m_samples.push_back(sample);
    while (int(m_samples.size()) > m_maxSamples || m_samples.front().msecs < msecs - m_maxAgeMs)
        m_samples.pop_front();
}

void TrendBuffer::clear()
{
    m_samples.clear();
    std::fill(std::begin(m_latest), std::end(m_latest), NAN);
}

int TrendBuffer::lowerBound(qint64 msecs) const
{
    const auto it = std::lower_bound(m_samples.begin(), m_samples.end(), msecs,
                                     [](const TrendSample &s, qint64 t) { return s.msecs < t; });
    return int(it - m_samples.begin());
}

int TrendBuffer::nearest(qint64 msecs) const
{
    if (m_samples.empty())
        return -1;
    const int after = lowerBound(msecs);
    if (after >= size())
        return size() - 1;
    if (after == 0)
        return 0;
    return msecs - at(after - 1).msecs <= at(after).msecs - msecs ? after - 1 : after;
}

QString TrendBuffer::csvHeader()
{
    return QStringLiteral("time,F_Hz,V_V,I_A");
}

QString TrendBuffer::csvRow(qint64 msecs, const float values[3])
{
    const QString time =
        QDateTime::fromMSecsSinceEpoch(msecs).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
    const int decimals[3] = {2, 1, 1};
    QString row = time;
    for (int q = 0; q < 3; ++q) {
        row += QLatin1Char(',');
        if (!std::isnan(values[q]))
            row += QString::number(double(values[q]), 'f', decimals[q]);
    }
    return row;
}

bool TrendBuffer::writeCsv(QIODevice &device, int from) const
{
    QByteArray text = csvHeader().toUtf8() + '\n';
    for (int i = std::max(0, from); i < size(); ++i) {
        text += csvRow(at(i).msecs, at(i).values).toUtf8() + '\n';
        if (text.size() > 64 * 1024) {
            if (device.write(text) != text.size())
                return false;
            text.clear();
        }
    }
    return device.write(text) == text.size();
}
