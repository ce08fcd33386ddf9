#pragma once

#include "params/ParameterDiff.h"

#include <QString>

class CliOutput;
class CliSession;

// diff: lists the parameters that differ between a drive and its section of a setup file, or
// between two setup files slot by slot, in display units. Settings are compared (the values a
// download writes), not the readouts. A parameter that could not be read, or that a section
// lacks, is listed as such and never taken as equal.
class DiffCommand
{
public:
    explicit DiffCommand(CliOutput &out) : m_out(out) {}

    // Reads the drive at the address and compares it with the file's section of the address.
    int drive(CliSession &session, int address, const QString &model, const QString &file);
    // Compares two files slot by slot; no bus is used.
    int files(const QString &first, const QString &second);

private:
    void entry(const QString &where, const QJsonObject &context, const ParameterDiff::Entry &e,
               const QString &leftName, const QString &rightName);

    CliOutput &m_out;
};
