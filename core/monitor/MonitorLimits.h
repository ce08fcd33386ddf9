#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The six display limits of a monitor window (whole numbers) and the arithmetic that depends
// on them: meter positions, the slider/reference conversion and the value written as the
// frequency reference. A maximum is always greater than its minimum, so no range is empty.
class MonitorLimits
{
public:
    enum Quantity { Frequency, Voltage, Current };

    int maximum(Quantity quantity) const { return m_max[quantity]; }
    int minimum(Quantity quantity) const { return m_min[quantity]; }

    // The eight limit edits by tag: 0 and 2 the maximum frequency, 1 and 3 the minimum
    // frequency, 4/5 voltage, 6/7 current; even tags are maxima.
    static constexpr int EditCount = 8;
    static Quantity quantityOfTag(int tag);
    static bool isMaximumTag(int tag) { return tag % 2 == 0; }
    int limitOfTag(int tag) const;
    // Takes a value typed into the edit of the tag: a maximum only above the quantity's
    // minimum, a minimum only below its maximum. False (nothing changes) when refused or for
    // a tag outside 0..7.
    bool apply(int tag, int value);

    // A limit edit's text as a whole number (sign allowed, 32 bits); empty when it is none.
    static std::optional<int> parseWholeNumber(const QString &text);

    // Meter position of a readout: trunc((value - min) * 100 / (max - min)), held to 0..100.
    int meterPosition(Quantity quantity, double value) const;
    // Slider position for a reference in hertz, held to 0..100.
    int sliderPosition(int64_t hertz) const;
    // The reference a slider position stands for, rounded to whole hertz and held to the
    // frequency limits.
    int referenceForSlider(int position) const;
    // A reference held to the frequency limits.
    int boundReference(int64_t hertz) const;
    // The frequency reference in hundredths of a hertz as the drivers take it, for a
    // reference already within the limits; saturates at the 32-bit range.
    static int32_t hundredths(int hertz);

private:
    int m_max[3] = {60, 400, 10};
    int m_min[3] = {0, 0, 0};
};
