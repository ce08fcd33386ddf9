#pragma once

#include "params/ParameterRow.h"

#include <QString>

#include <cstdint>

// How the value field of a parameter row shows a working-copy value and turns operator input
// back into one, in register units.
//
// Register values travel as 16-bit words, and the drivers deliver them either unsigned or
// sign-extended. An editable field reads a stored word by its own bounds: with a negative
// lower bound a word 0x8000..0xFFFF is negative, with an upper bound above 0x7FFF a negative
// word is unsigned. Read-only fields and displays without bounds show the value as read and
// never change it, so a download writes back exactly what was loaded.
class ParameterField
{
public:
    // What a field shows for a stored value, and what the working copy holds afterwards.
    struct Shown
    {
        int itemIndex = -1; // list fields: the selected item, -1 for an empty list field
        QString text;       // numeric fields: the text shown
        int32_t value = 0;  // the working-copy entry after showing
        bool outside = false; // numeric fields: the value lies outside the field's bounds
    };

    // The outcome of a change of a numeric field's text.
    struct Edited
    {
        int32_t value = 0;      // the new working-copy entry
        bool corrected = false; // the field has to show correctedText instead of the input
        QString correctedText;
    };

    // Shows a stored value: a list selects the item of that index (none when the value is
    // no item index; the value stays); a numeric field shows the value as read, in its
    // bounds' sign, and flags it when it lies outside them: a drive's value is never pulled
    // into the bounds behind the operator's back.
    static Shown show(const ParameterRow &row, int32_t stored);

    // A numeric field's new text: empty counts as 0, text that is no number of the field's
    // kind as the minimum; a value outside the bounds is replaced by the nearest bound, which
    // the field then shows. Decimal commas are taken as points.
    static Edited edit(const ParameterRow &row, const QString &text);

    // True for fields that keep their values inside their bounds: editable numeric fields
    // that have bounds.
    static bool clamps(const ParameterRow &row);

    // The stored value read as a 16-bit word in the signedness the field's bounds call for.
    // Values that do not fit a 16-bit word are returned unchanged.
    static int64_t interpret(const ParameterRow &row, int32_t stored);
};
