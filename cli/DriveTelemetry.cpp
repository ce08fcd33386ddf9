#include "cli/DriveTelemetry.h"

#include "monitor/MonitorLimits.h"

#include <cmath>

QString DriveTelemetry::metricName(Metric metric)
{
    switch (metric) {
    case Frequency:
        return QStringLiteral("Output/Frequency");
    case Voltage:
        return QStringLiteral("Output/Voltage");
    case Current:
        return QStringLiteral("Output/Current");
    case Running:
        return QStringLiteral("Status/Running");
    case Reverse:
        return QStringLiteral("Status/Reverse");
    case Model:
        return QStringLiteral("Properties/Model");
    case Address:
        return QStringLiteral("Properties/Address");
    case Good:
        return QStringLiteral("Link/Good");
    case Timeouts:
        return QStringLiteral("Link/Timeouts");
    case Errors:
        return QStringLiteral("Link/Errors");
    default:
        return {};
    }
}

double DriveTelemetry::range(Metric metric)
{
    const MonitorLimits limits;
    const auto span = [&](MonitorLimits::Quantity q) {
        return double(limits.maximum(q) - limits.minimum(q));
    };
    switch (metric) {
    case Frequency:
        return span(MonitorLimits::Frequency);
    case Voltage:
        return span(MonitorLimits::Voltage);
    case Current:
        return span(MonitorLimits::Current);
    default:
        return 0;
    }
}

QList<DriveTelemetry::Metric> DriveTelemetry::changesFrom(const DriveTelemetry &published,
                                                          double deadbandPercent) const
{
    QList<Metric> changed;
    const auto analog = [&](Metric metric, float now, float before) {
        const double moved = std::fabs(double(now) - double(before));
        if (now != before && moved > deadbandPercent / 100.0 * range(metric))
            changed.append(metric);
    };
    analog(Frequency, frequency, published.frequency);
    analog(Voltage, voltage, published.voltage);
    analog(Current, current, published.current);
    const auto exact = [&](Metric metric, bool differs) {
        if (differs)
            changed.append(metric);
    };
    exact(Running, running != published.running);
    exact(Reverse, reverse != published.reverse);
    exact(Model, model != published.model);
    exact(Address, address != published.address);
    exact(Good, good != published.good);
    exact(Timeouts, timeouts != published.timeouts);
    exact(Errors, errors != published.errors);
    return changed;
}

void DriveTelemetry::adopt(const DriveTelemetry &other, const QList<Metric> &metrics)
{
    for (Metric metric : metrics) {
        switch (metric) {
        case Frequency:
            frequency = other.frequency;
            break;
        case Voltage:
            voltage = other.voltage;
            break;
        case Current:
            current = other.current;
            break;
        case Running:
            running = other.running;
            break;
        case Reverse:
            reverse = other.reverse;
            break;
        case Model:
            model = other.model;
            break;
        case Address:
            address = other.address;
            break;
        case Good:
            good = other.good;
            break;
        case Timeouts:
            timeouts = other.timeouts;
            break;
        case Errors:
            errors = other.errors;
            break;
        default:
            break;
        }
    }
}

QList<DriveTelemetry::Metric> DriveTelemetry::allMetrics()
{
    QList<Metric> all;
    for (int m = 0; m < MetricCount; ++m)
        all.append(Metric(m));
    return all;
}
