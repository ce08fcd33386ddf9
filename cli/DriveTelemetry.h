#pragma once

#include <QList>
#include <QString>

#include <cstdint>

// What the publisher knows of one drive: its readouts, status flags, model, address and line
// statistics, as Sparkplug metrics. changesFrom() decides what a DDATA carries.
class DriveTelemetry
{
public:
    enum Metric {
        Frequency,
        Voltage,
        Current,
        Running,
        Reverse,
        Model,
        Address,
        Good,
        Timeouts,
        Errors,
        MetricCount
    };

    int address = 0;
    QString model;
    float frequency = 0; // Hz
    float voltage = 0;   // V
    float current = 0;   // A
    bool running = false;
    bool reverse = false;
    uint64_t good = 0;
    uint64_t timeouts = 0;
    uint64_t errors = 0;

    // "Output/Frequency", ..., "Link/Errors".
    static QString metricName(Metric metric);
    // The range a deadband percentage refers to (the monitor window's default meter range);
    // 0 for a metric without a deadband.
    static double range(Metric metric);
    // The metrics whose value differs from published: a readout only when it moved by more
    // than deadbandPercent of its range (any change with 0), everything else on any change.
    QList<Metric> changesFrom(const DriveTelemetry &published, double deadbandPercent) const;
    // Takes the given metrics' values from other.
    void adopt(const DriveTelemetry &other, const QList<Metric> &metrics);
    // Every metric, in order.
    static QList<Metric> allMetrics();
};
