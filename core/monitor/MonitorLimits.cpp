#include "monitor/MonitorLimits.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// Truncates toward zero and holds the result to 0..100; NaN gives 0.
int percentOf(double numerator, double range)
{
    const double percent = std::trunc(numerator * 100.0 / range);
    if (!(percent > 0.0))
        return 0;
    return percent >= 100.0 ? 100 : int(percent);
}
} // namespace

MonitorLimits::Quantity MonitorLimits::quantityOfTag(int tag)
{
    if (tag <= 3)
        return Frequency;
    return tag <= 5 ? Voltage : Current;
}

int MonitorLimits::limitOfTag(int tag) const
{
    const Quantity q = quantityOfTag(tag);
    return isMaximumTag(tag) ? m_max[q] : m_min[q];
}

bool MonitorLimits::apply(int tag, int value)
{
    if (tag < 0 || tag >= EditCount)
        return false;
    const Quantity q = quantityOfTag(tag);
    if (isMaximumTag(tag)) {
        if (value <= m_min[q])
            return false;
        m_max[q] = value;
    } else {
        if (value >= m_max[q])
            return false;
        m_min[q] = value;
    }
    return true;
}

std::optional<int> MonitorLimits::parseWholeNumber(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

int MonitorLimits::meterPosition(Quantity quantity, double value) const
{
    const double low = m_min[quantity];
    return percentOf(value - low, double(m_max[quantity]) - low);
}

int MonitorLimits::sliderPosition(int64_t hertz) const
{
    const double low = m_min[Frequency];
    return percentOf(double(hertz) - low, double(m_max[Frequency]) - low);
}

int MonitorLimits::referenceForSlider(int position) const
{
    const double low = m_min[Frequency];
    const double high = m_max[Frequency];
    const double hertz = std::round((high - low) * position * 0.01 + low);
    return int(std::clamp(hertz, low, high));
}

int MonitorLimits::boundReference(int64_t hertz) const
{
    return int(std::clamp<int64_t>(hertz, m_min[Frequency], m_max[Frequency]));
}

int32_t MonitorLimits::hundredths(int hertz)
{
    const int64_t value = int64_t(hertz) * 100;
    return int32_t(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}
