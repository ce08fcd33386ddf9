#include "cli/CliRunner.h"

#include "bus/BusHost.h"
#include "cli/BackupCommand.h"
#include "cli/CliExit.h"
#include "cli/CliOptions.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/DiffCommand.h"
#include "cli/ListenCommand.h"
#include "cli/MonitorCommand.h"
#include "cli/MultiPortBackup.h"
#include "cli/PublishCommand.h"
#include "cli/RegisterCommand.h"
#include "cli/ScanCommand.h"
#include "cli/TrafficTrace.h"
#include "cli/TransferCommand.h"
#include "serial/TComm32.h"
#include "serial/TcpLink.h"

#include <QCoreApplication>

namespace {

int runCommand(const CliOptions &options, CliSession &session, CliOutput &output)
{
    switch (options.command) {
    case CliOptions::Command::Scan:
        return ScanCommand(session, output).run(options.addresses);
    case CliOptions::Command::Read:
        return RegisterCommand(session, output)
            .read(options.address, options.registerNumber, options.model);
    case CliOptions::Command::Write:
        return RegisterCommand(session, output)
            .write(options.address, options.registerNumber, options.value, options.model,
                   options.force);
    case CliOptions::Command::SetAddress:
        return RegisterCommand(session, output).setAddress(options.address, options.newAddress);
    case CliOptions::Command::Upload:
        return TransferCommand(session, output)
            .upload(options.address, options.model, options.file);
    case CliOptions::Command::Download:
        return TransferCommand(session, output)
            .download(options.address, options.model, options.file, options.force);
    case CliOptions::Command::Backup:
        return BackupCommand(session, output).backup(options.file, options.addresses);
    case CliOptions::Command::Restore:
        return BackupCommand(session, output).restore(options.file, options.force);
    case CliOptions::Command::Monitor:
        return MonitorCommand(session, output)
            .run(options.address, options.model, options.count, options.intervalMs,
                 options.maxErrors, options.csv);
    case CliOptions::Command::Diff:
        return DiffCommand(output).drive(session, options.address, options.model, options.file);
    default:
        return CliExit::Usage;
    }
}

} // namespace

int CliRunner::run(const QStringList &arguments, FILE *out, FILE *err)
{
    CliOptions options;
    QString why;
    if (!options.parse(arguments, &why)) {
        // The reason and a pointer to the help, so that the reason stays on screen.
        CliOutput(false, out, err).error(why);
        const QByteArray hint("Try 'drivelink-cli --help'\n");
        std::fwrite(hint.constData(), 1, size_t(hint.size()), err);
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

    if (options.command == CliOptions::Command::Backup && options.ports.size() > 1)
        return MultiPortBackup(options, output).run(QCoreApplication::applicationFilePath());
    if (options.ports.size() == 1 && !options.ports.first().addresses.isEmpty())
        options.addresses = options.ports.first().addresses;
    // Two files are compared without the bus.
    if (options.command == CliOptions::Command::Diff && options.address < 0)
        return DiffCommand(output).files(options.file, options.file2);

    // publish opens its bus itself, and again after the bus is lost.
    if (options.command == CliOptions::Command::Publish)
        return PublishCommand(options, output).run();

    CliSession session;
    const CliSession::Settings settings = CliSession::Settings::of(options);
    if (!session.open(settings, &why)) {
        output.error(why);
        return CliExit::Failure;
    }

    // Listening keeps its own traffic: the engine sends nothing and hears nothing of its own.
    if (options.command == CliOptions::Command::Listen)
        return ListenCommand(session, output).run(options.listenModels, options.durationMs,
                                                  options.stats);

    // The command-line tool keeps no log table: lines go out as the exchanges finish.
    session.host().traffic().setKeepsLog(false);
    TrafficTrace trace(session.host().traffic(), output, err);
    if (options.trace && !trace.start(options.traceFile, &why)) {
        output.error(why);
        return CliExit::Failure;
    }
    const int status = runCommand(options, session, output);
    if (options.stats) {
        trace.printStatistics();
        // What the port found and set of a serial adapter's latency.
        const AdapterLatency::Report &latency = session.port().adapterLatency();
        const bool serial = !TcpLink::isTcpName(session.port().commPort());
        if (serial && options.json)
            output.result(QString(), latency.toJson());
        else if (serial)
            output.text(latency.englishText());
    }
    return status;
}
