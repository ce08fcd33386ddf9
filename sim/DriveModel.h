#pragma once

// The motor side of a simulated inverter. While running, the output frequency ramps toward
// the reference at a finite rate; stopping ramps it down to zero, and a change of direction
// ramps through zero. Voltage follows frequency (V/f with a small boost), current follows the
// load, rises while accelerating and carries a slight ripple so that readouts stay alive.
// Time only moves through advance(); the owner decides whether that is the wall clock or a
// test's hand.
class DriveModel
{
public:
    struct Ratings
    {
        double ratedVoltage = 380.0; // volts at and above the base frequency
        double ratedCurrent = 5.0;   // amperes at full load
        double baseFrequency = 50.0; // hertz
        double maxFrequency = 400.0; // references are clamped to this
        double rampRate = 10.0;      // hertz per second, up and down
    };

    DriveModel();
    explicit DriveModel(const Ratings &ratings);

    const Ratings &ratings() const { return m_ratings; }

    // Reference in hertz; negative or non-finite values count as 0.
    void setReference(double hertz);
    double reference() const { return m_reference; }

    void setRunning(bool running) { m_running = running; }
    bool running() const { return m_running; }
    void setReverse(bool reverse) { m_reverse = reverse; }
    bool reverse() const { return m_reverse; }

    // Load as a fraction of full load, 0 .. 1.5.
    void setLoad(double fraction);
    double load() const { return m_load; }

    // Moves the model on by the given time; zero, negative or non-finite steps do nothing.
    void advance(double seconds);

    // Output frequency in hertz, always >= 0.
    double outputFrequency() const;
    // Output frequency with the direction of rotation: negative while turning in reverse.
    double signedFrequency() const { return m_frequency; }
    double outputVoltage() const;
    double outputCurrent() const;
    // True while the output is live (running, or still ramping down).
    bool energised() const;

private:
    Ratings m_ratings;
    double m_reference = 0.0;
    double m_frequency = 0.0; // signed
    double m_load = 0.5;
    double m_phase = 0.0; // seconds, for the ripple
    bool m_running = false;
    bool m_reverse = false;
    bool m_accelerating = false;
};
