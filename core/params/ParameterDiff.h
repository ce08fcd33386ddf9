#pragma once

#include "params/ParameterTransfer.h"

#include <QList>
#include <QString>

#include <cstdint>

class IniFile;

// Compares two sets of parameter values of one window or one model: values from a working
// copy, from a drive that has just been read, or from a setup-file section. Values are compared
// in register units (as 16-bit words read with the signedness of the field) and shown in
// display units with the field's scale and list texts. A value the field cannot show (no item
// of the list, outside the bounds) is shown raw and flagged. A value that could not be read,
// or that the section lacks, never counts as equal.
class ParameterDiff
{
public:
    // One side's value of one parameter.
    struct Value
    {
        enum class State { Known, Missing, Failed };
        State state = State::Missing;
        int32_t raw = 0;

        static Value known(int32_t raw) { return {State::Known, raw}; }
        static Value failed() { return {State::Failed, 0}; }
    };

    enum class Status { Equal, Different, Missing, Failed };

    struct Entry
    {
        int entry = 0; // working-copy index within the plan
        QString code;
        QString key;
        QString caption;
        Status status = Status::Equal;
        Value left;
        Value right;
        QString leftText; // display units; "missing" or "read failed" when not known
        QString rightText;
        bool leftUnshowable = false; // shown raw: no item of the list, or outside the bounds
        bool rightUnshowable = false;
    };

    // A slot of two setup files, or a drive and a setup file.
    struct Slot
    {
        int slot = 0;
        QString leftModel; // empty: no inverter on that side
        QString rightModel;
        QList<Entry> entries; // the entries that are not equal, in plan order
        int compared = 0;     // parameters compared
        QString note;         // why the slot was not compared parameter by parameter

        bool modelsDiffer() const { return leftModel != rightModel; }
        bool equal() const { return note.isEmpty() && entries.isEmpty(); }
    };

    // Compares the plan's entries; left and right hold one value per entry. With
    // settingsOnly, readouts (the entries a download passes over) are left out.
    static QList<Entry> compare(const ParameterTransfer::Plan &plan, const QList<Value> &left,
                                const QList<Value> &right, bool differingOnly = true,
                                bool settingsOnly = false);
    static Entry compareOne(const ParameterRow &row, const Value &left, const Value &right);

    // The values of a setup-file section for the plan's entries: a key that is absent, empty or
    // not an integer is Missing.
    static QList<Value> fromSection(const IniFile &ini, const QString &section,
                                    const ParameterTransfer::Plan &plan);
    static QList<Value> fromWorkingCopy(const QList<int32_t> &values);

    // The model a slot's section holds, as loading the file decides it ("KX300" for any
    // other type name); empty when the section does not mark an inverter present.
    static QString sectionModel(const IniFile &ini, int slot);
    // Slot by slot comparison of two setup files: the settings of every model (no readouts).
    static Slot compareFiles(const IniFile &left, const IniFile &right, int slot);

    // The text of a value in display units; *unshowable when the field cannot show it.
    static QString displayText(const ParameterRow &row, int32_t raw, bool *unshowable = nullptr);
    static QString statusName(Status status);
};
