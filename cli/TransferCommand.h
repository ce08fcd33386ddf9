#pragma once

#include "cli/InverterTransfer.h"

#include <QString>

class CliOutput;
class CliSession;
class IniFile;

// upload and download: the whole parameter set of one inverter into or out of its slot's
// section of a setup file, with a progress line on a terminal and a summary that names every
// parameter that failed.
class TransferCommand
{
public:
    TransferCommand(CliSession &session, CliOutput &out) : m_session(session), m_out(out) {}

    // Reads the inverter and writes its section into the file; other sections are kept.
    int upload(int address, const QString &model, const QString &file);
    // Writes the file's section of the address to the inverter found there.
    int download(int address, const QString &model, const QString &file);

    // The parts backup and restore share. uploadInverter reads the parameters of the slot's
    // driver; downloadSection checks that the inverter at the address is the section's model,
    // loads the section into its driver and writes it. Both print the summary; downloadSection
    // is true when every parameter went through.
    InverterTransfer::Result uploadInverter(int address, const QString &file);
    bool downloadSection(int address, const QString &model, const IniFile &ini);

    // Reads a setup file that must exist; false with the reason printed.
    bool loadExisting(IniFile &ini);

    // The driver class a section's "TypeName" selects, as loading a setup file does.
    static QString sectionModel(const IniFile &ini, int address);
    static bool sectionEnabled(const IniFile &ini, int address);

private:
    void summary(bool upload, int address, const QString &model, const QString &file,
                 const InverterTransfer::Result &result);

    CliSession &m_session;
    CliOutput &m_out;
};
