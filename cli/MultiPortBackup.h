#pragma once

#include "cli/CliOptions.h"

#include <QList>
#include <QString>
#include <QStringList>

class CliOutput;

// backup of several buses at once: one drivelink-cli process per port, each with its own
// bus, engine and file, running side by side. The buses share nothing, so the whole plant
// takes about as long as its slowest bus.
class MultiPortBackup
{
public:
    MultiPortBackup(const CliOptions &options, CliOutput &out) : m_options(options), m_out(out) {}

    // The file of one port: FILE with the port's name before the extension
    // ("plant.ini", "tcp:10.0.0.5:4001" -> "plant-tcp_10.0.0.5_4001.ini").
    static QString fileForPort(const QString &file, const QString &port);
    // The files of several ports, none the same: ports whose devices share a base name are
    // named by their whole path, and a port given twice is numbered.
    static QStringList filesForPorts(const QString &file, const QStringList &ports);
    // The file of one of the options' ports.
    static QString fileOf(const CliOptions &options, const CliOptions::PortChoice &port);
    // The arguments of the process that backs one port up.
    static QStringList childArguments(const CliOptions &options,
                                      const CliOptions::PortChoice &port);

    // Runs the processes of program (drivelink-cli itself) and waits for all of them; exit
    // status 0 when every port was saved completely, else the worst of theirs.
    int run(const QString &program);

private:
    const CliOptions &m_options;
    CliOutput &m_out;
};
