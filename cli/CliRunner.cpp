#include "cli/CliRunner.h"

#include "cli/BackupCommand.h"
#include "cli/CliExit.h"
#include "cli/CliOptions.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/DiffCommand.h"
#include "cli/MonitorCommand.h"
#include "cli/RegisterCommand.h"
#include "cli/ScanCommand.h"
#include "cli/TransferCommand.h"

int CliRunner::run(const QStringList &arguments, FILE *out, FILE *err)
{
    CliOptions options;
    QString why;
    if (!options.parse(arguments, &why)) {
        CliOutput(false, out, err).error(why);
        const QByteArray usage = CliOptions::usage().toUtf8();
        std::fwrite(usage.constData(), 1, size_t(usage.size()), err);
        std::fflush(err);
        return CliExit::Usage;
    }
    CliOutput output(options.json, out, err);
    if (options.command == CliOptions::Command::Help) {
        const QByteArray usage = CliOptions::usage().toUtf8();
        std::fwrite(usage.constData(), 1, size_t(usage.size()), out);
        std::fflush(out);
        return CliExit::Ok;
    }

    // Two files are compared without the bus.
    if (options.command == CliOptions::Command::Diff && options.address < 0)
        return DiffCommand(output).files(options.file, options.file2);

    CliSession session;
    CliSession::Settings settings;
    settings.port = options.port;
    settings.line = options.line;
    settings.simulate = options.simulate;
    settings.timeoutMs = options.timeoutMs;
    if (!session.open(settings, &why)) {
        output.error(why);
        return CliExit::Failure;
    }

    switch (options.command) {
    case CliOptions::Command::Scan:
        return ScanCommand(session, output).run(options.addresses);
    case CliOptions::Command::Read:
        return RegisterCommand(session, output)
            .read(options.address, options.registerNumber, options.model);
    case CliOptions::Command::Write:
        return RegisterCommand(session, output)
            .write(options.address, options.registerNumber, options.value, options.model);
    case CliOptions::Command::Upload:
        return TransferCommand(session, output)
            .upload(options.address, options.model, options.file);
    case CliOptions::Command::Download:
        return TransferCommand(session, output)
            .download(options.address, options.model, options.file);
    case CliOptions::Command::Backup:
        return BackupCommand(session, output).backup(options.file, options.addresses);
    case CliOptions::Command::Restore:
        return BackupCommand(session, output).restore(options.file);
    case CliOptions::Command::Monitor:
        return MonitorCommand(session, output)
            .run(options.address, options.model, options.count, options.intervalMs, options.csv);
    case CliOptions::Command::Diff:
        return DiffCommand(output).drive(session, options.address, options.model, options.file);
    default:
        return CliExit::Usage;
    }
}
