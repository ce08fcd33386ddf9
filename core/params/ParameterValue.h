#pragma once

#include "params/ParameterRow.h"

#include <QString>

#include <cstdint>
#include <optional>

// The one check of a parameter value before it reaches a drive or a file, for every row of
// every model: the 16-bit register and its sign first, then the field (bounds, list).
//
// A row is signed when its bounds go below zero; bounded rows, lists and the counters, times
// and bit masks flagged unsigned are unsigned words. A signed row carries -32768..32767, an
// unsigned one 0..65535. Displays without bounds keep their model's reading. Backups of KX300
// drives written before the rows kept their sign hold unsigned words above 32767 sign-extended
// (-32768..-1): signExtended takes those as the same word.
class ParameterValue
{
public:
    enum class Verdict {
        Ok,
        FieldInvalid,      // fits the register, but not the field: sent only when forced
        RegisterImpossible // the register cannot carry it: never sent
    };
    struct Check
    {
        Verdict verdict = Verdict::Ok;
        int32_t value = 0; // the value in the row's signedness (valid unless impossible)
        QString why;       // empty when Ok
    };

    enum class Sign { Signed, Unsigned, Model };
    static Sign signOf(const ParameterRow &row);

    // The value as the row's register carries it; none when it cannot.
    static std::optional<int32_t> normalize(const ParameterRow &row, int64_t value,
                                            bool signExtended = false);
    // Register first, then the field. A row's own factory default is always taken.
    static Check check(const ParameterRow &row, int64_t value, bool signExtended = false);

    // A word read from a drive, in the signedness of the row behind the model's parameter
    // entry or register; KX300 reads unknown registers signed, the others unsigned.
    static int32_t fromWord(const QString &model, int paramIndex, uint16_t word);
    static int32_t registerWord(const QString &model, int registerNumber, uint16_t word);

    // The row of a model's editors by setup-file key or by parameter-table entry; null for
    // none.
    static const ParameterRow *rowOfKey(const QString &model, const QString &key);
    static const ParameterRow *rowOfIndex(const QString &model, int paramIndex);
    static const ParameterRow *rowOfRegister(const QString &model, int registerNumber);
};
