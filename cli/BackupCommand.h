#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class CliOutput;
class CliSession;

// backup: scans the bus, uploads every inverter found and saves them all in a new setup file
// the program opens (the 32 slot sections, "RS232 Section" with the port's settings and an
// "MDI Section" without windows). restore: downloads every inverter of a setup file to its
// address.
class BackupCommand
{
public:
    BackupCommand(CliSession &session, CliOutput &out) : m_session(session), m_out(out) {}

    // An inverter with failed reads is saved with what was read, its section marked
    // incomplete. A drive of the file being replaced that is not saved this time is named,
    // and the old file is kept beside the new one.
    int backup(const QString &file, const QList<int> &addresses);
    // Sections with refused values or marked incomplete are not written unless forced.
    int restore(const QString &file, bool force = false);

private:
    // Gives the file a second name, FILE.previous (numbered when taken); false with the
    // reason in *kept.
    static bool keepPrevious(const QByteArray &native, QString *kept);

    CliSession &m_session;
    CliOutput &m_out;
};
