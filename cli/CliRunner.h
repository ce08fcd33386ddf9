#pragma once

#include <QStringList>

#include <cstdio>

// One drivelink-cli run: parses the arguments, opens the bus and carries out the command.
// Returns the exit status (CliExit). Needs a QCoreApplication.
class CliRunner
{
public:
    static int run(const QStringList &arguments, FILE *out = stdout, FILE *err = stderr);
};
