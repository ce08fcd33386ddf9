#pragma once

#include "cli/InverterTransfer.h"
#include "params/ParameterSection.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

class CliOutput;
class CliSession;
#include "setup/IniFile.h"

class TInverterBase;

// upload and download: the whole parameter set of one inverter into or out of its slot's
// section of a setup file, with a progress line on a terminal and a summary that names every
// parameter that failed.
class TransferCommand
{
public:
    TransferCommand(CliSession &session, CliOutput &out) : m_session(session), m_out(out) {}

    // The key after a section's parameter keys that marks it incomplete: it names the keys
    // whose reads failed, which the section then lacks. Opening the file ignores it.
    static const QString IncompleteKey;

    // What a section can send to a drive, checked value by value: a value that is missing,
    // not an integer, beyond its register, no item of its list or outside its field's bounds
    // is refused (the model's factory value is always accepted: some drives leave the
    // factory with a value their field does not offer). The bus address is left to the
    // caller.
    struct SectionValues
    {
        QHash<QString, int32_t> values; // key -> value to write
        QStringList problems;           // "CD16: missing", one per refused value
        QSet<QString> refused;          // keys of the values never sent
        QSet<QString> forcible;         // keys of values outside their field: sent if forced
        QStringList unread; // keys the "Incomplete" key names that a download would write
    };
    static SectionValues
    checkSection(const IniFile &ini, int address, const QString &model,
                 ParameterSection::Mode mode = ParameterSection::Mode::Edited);

    // Writes the slot's section from the driver after an upload. A failed key is left out and
    // named in the "Incomplete" key; the value a file held before is never kept for it.
    static void saveSection(IniFile &ini, int address, const TInverterBase &driver,
                            const QStringList &failedKeys);

    // Refuses a blank name and a target that cannot be written (missing or read-only folder,
    // a directory) before any exchange; false with the reason printed.
    bool checkWritable(const QString &file);

    // Reads the inverter and writes its section into the file; other sections are kept.
    int upload(int address, const QString &model, const QString &file);
    // Writes the file's section of the address to the inverter found there. A section with
    // refused values, or one marked incomplete, sends nothing unless forced; forced, it sends
    // every other value and never a refused one.
    int download(int address, const QString &model, const QString &file, bool force = false);

    // The parts backup and restore share. uploadInverter reads the parameters of the slot's
    // driver; downloadSection checks that the inverter at the address is the section's model,
    // loads the section into its driver and writes it. Both print the summary; downloadSection
    // is true when every parameter went through.
    InverterTransfer::Result uploadInverter(int address, const QString &file);
    // Returns the exit status: 2 when the model that answers is not the file's.
    int downloadSection(int address, const QString &model, const IniFile &ini, bool force,
                        ParameterSection::Mode mode);

    // A setup file of a name from the command line, opened by the bytes it stands for.
    static IniFile iniFile(const QString &file);
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
