#include "sim/DriveModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
constexpr double kBoostShare = 0.02;   // of rated voltage, at zero frequency
constexpr double kMagnetising = 0.3;   // share of rated current without load
constexpr double kAccelerating = 0.25; // extra share of rated current while speeding up
constexpr double kRipple = 0.01;       // relative current ripple
constexpr double kRipplePeriod = 1.7;  // seconds
constexpr double kStandstill = 1e-9;   // hertz
} // namespace

DriveModel::DriveModel() = default;

DriveModel::DriveModel(const Ratings &ratings) : m_ratings(ratings) {}

void DriveModel::setReference(double hertz)
{
    if (!std::isfinite(hertz) || hertz < 0.0)
        hertz = 0.0;
    m_reference = std::min(hertz, m_ratings.maxFrequency);
}

void DriveModel::setLoad(double fraction)
{
    if (!std::isfinite(fraction))
        fraction = 0.0;
    m_load = std::clamp(fraction, 0.0, 1.5);
}

void DriveModel::advance(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0.0)
        return;
    const double target = m_running ? (m_reverse ? -m_reference : m_reference) : 0.0;
    const double step = m_ratings.rampRate * seconds;
    const double before = std::abs(m_frequency);
    if (std::abs(target - m_frequency) <= step)
        m_frequency = target;
    else
        m_frequency += (target > m_frequency) ? step : -step;
    // Still speeding up at the end of the step: the target has not been reached yet.
    m_accelerating = std::abs(m_frequency) > before && m_frequency != target;
    m_phase = std::fmod(m_phase + seconds, kRipplePeriod);
}

double DriveModel::outputFrequency() const
{
    return std::abs(m_frequency);
}

bool DriveModel::energised() const
{
    return m_running || std::abs(m_frequency) > kStandstill;
}

double DriveModel::outputVoltage() const
{
    if (!energised())
        return 0.0;
    const double ratio = std::min(1.0, outputFrequency() / m_ratings.baseFrequency);
    const double boost = kBoostShare * m_ratings.ratedVoltage;
    return boost + (m_ratings.ratedVoltage - boost) * ratio;
}

double DriveModel::outputCurrent() const
{
    if (!energised())
        return 0.0;
    const double ratio = std::min(1.0, outputFrequency() / m_ratings.baseFrequency);
    double share = (kMagnetising + (1.0 - kMagnetising) * m_load) *
                   (kMagnetising + (1.0 - kMagnetising) * ratio);
    if (m_accelerating)
        share += kAccelerating;
    const double ripple =
        1.0 + kRipple * std::sin(2.0 * std::numbers::pi * m_phase / kRipplePeriod);
    return m_ratings.ratedCurrent * share * ripple;
}
