#include "cli/CliOptions.h"

#include "bus/TDM.h"
#include "serial/TcpLink.h"

#include <QRegularExpression>

#include <climits>

namespace {

struct CommandName
{
    const char *name;
    CliOptions::Command command;
};

constexpr CommandName Commands[] = {
    {"scan", CliOptions::Command::Scan},         {"read", CliOptions::Command::Read},
    {"write", CliOptions::Command::Write},       {"upload", CliOptions::Command::Upload},
    {"download", CliOptions::Command::Download}, {"backup", CliOptions::Command::Backup},
    {"restore", CliOptions::Command::Restore},   {"monitor", CliOptions::Command::Monitor},
    {"set-address", CliOptions::Command::SetAddress},
    {"diff", CliOptions::Command::Diff},         {"help", CliOptions::Command::Help},
    {"publish", CliOptions::Command::Publish},   {"listen", CliOptions::Command::Listen},
};

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

QString CliOptions::usage()
{
    return QStringLiteral(
        "Usage: drivelink-cli [OPTIONS] COMMAND ...\n"
        "\n"
        "Commands:\n"
        "  scan [ADDR|FROM-TO]...     detect the inverters at the addresses (default 0-31)\n"
        "  read ADDR REGISTER         read one register\n"
        "  write ADDR REGISTER VALUE  write one register (VALUE -32768..65535); a bus-address\n"
        "                             register only with --force\n"
        "  upload ADDR FILE           read all parameters into the address's section of FILE\n"
        "  download ADDR FILE         write all parameters of the address's section of FILE\n"
        "  backup FILE [ADDR|FROM-TO]...\n"
        "                             scan (default 0-31), read every inverter found and save\n"
        "                             them all in a new setup file\n"
        "  restore FILE               write every inverter of the setup file to its address\n"
        "  set-address OLD NEW        move the inverter at OLD to NEW with the address\n"
        "                             setting's broadcast; every inverter on the line takes\n"
        "                             it, so connect the one drive alone\n"
        "  monitor ADDR [--count N] [--max-errors N] [--csv]\n"
        "                             output frequency, voltage and current once a second;\n"
        "                             a failed sample is reported and skipped, N failed in\n"
        "                             a row (default 3) end it; --csv prints the rows\n"
        "                             time,F_Hz,V_V,I_A\n"
        "  diff ADDR FILE             read the settings of the inverter and list those that\n"
        "                             differ from the address's section of FILE\n"
        "  diff FILE1 FILE2           list the settings that differ between two setup files,\n"
        "                             slot by slot (exit status 1 when anything differs or\n"
        "                             could not be read)\n"
        "  publish --broker mqtt://HOST[:PORT] [ADDR|FROM-TO]...\n"
        "                             poll the drives (default: detect 0-31, again every 5\n"
        "                             minutes) and publish them as a Sparkplug B edge node\n"
        "                             until SIGINT or SIGTERM; reads only\n"
        "  listen [--model ADDR=MODEL]... [--duration S] [--json] [--stats]\n"
        "                             hear what another master (a PLC, a SCADA poller)\n"
        "                             and the drives say on the line, one line per\n"
        "                             exchange, decoded; sends nothing. --duration S ends it\n"
        "                             after S seconds (default: at SIGINT or SIGTERM)\n"
        "\n"
        "Publish options:\n"
        "  --broker URL               mqtt://HOST[:PORT] (1883) or mqtts://HOST[:PORT] (8883)\n"
        "  --group G                  Sparkplug group id (default drivelink)\n"
        "  --node N                   Sparkplug edge node id (default the host name)\n"
        "  --deadband PCT             a readout is published when it moved more than PCT\n"
        "                             percent of its range (default 0: any change)\n"
        "  --username U               broker user name\n"
        "  --password-file F          the password, first line of F\n"
        "  --cafile F                 CA certificates for mqtts\n"
        "\n"
        "Options:\n"
        "  --port DEV                 serial device or COM name (default COM1 = /dev/ttyS0),\n"
        "                             or tcp:HOST:PORT for a bus behind an Ethernet gateway\n"
        "                             (IPv6 hosts in brackets); backup takes several --port\n"
        "                             values, each PORT[@ADDR,FROM-TO...] with its own\n"
        "                             addresses, and backs the buses up at the same time,\n"
        "                             one file per port (FILE-PORT.ini)\n"
        "  --baud N                   line speed (default 9600)\n"
        "  --parity none|even|odd     (default even)\n"
        "  --stop-bits 1|1.5|2        (default 1)\n"
        "  --data-bits 7|8            (default 8)\n"
        "  --model KX100|KX200|KX300  assume this model instead of detecting it\n"
        "  --simulate                 use the built-in simulated inverters\n"
        "  --json                     print results as JSON, one object per line\n"
        "  --timing fast|standard     fast: a reply ends with its last byte (default);\n"
        "                             standard: the program window's timing, 250 ms silence\n"
        "                             per reply\n"
        "  --timeout-ms N             reply time-out: 20..10000, default 300 with fast timing;\n"
        "                             250..600000, default about 4000 with standard\n"
        "                             timing\n"
        "  --echo auto|on|off         the adapter echoes each request: auto finds and removes\n"
        "                             an echo (default), on expects one, off takes the bytes\n"
        "                             as they come\n"
        "  --resync-ms MS             fast timing: pause MS before a request of the other\n"
        "                             protocol (Modbus, KX200) than the one before (default 0)\n"
        "  --trace                    print every exchange to standard error\n"
        "  --trace-file FILE          write the exchanges to FILE instead\n"
        "  --stats                    print the line statistics per address at the end\n"
        "  --force                    download, restore: write the values that can be sent\n"
        "                             and name the others; write: allow a bus-address register\n"
        "\n"
        "Options for tests:\n"
        "  --interval-ms N            pause between monitor samples, publish's poll period\n"
        "                             (default 1000)\n"
        "  --rescan-ms N              publish: period of the search for new drives\n"
        "                             (default 300000)\n"
        "\n"
        "REGISTER and VALUE are decimal or 0x hexadecimal. Exit status: 0 success, 1 bus or\n"
        "device failure, 2 usage error.\n");
}

bool CliOptions::parseInteger(const QString &text, int minimum, int maximum, int &value)
{
    // \z, not $: a final line feed is no part of a number.
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]{1,10}\\z"));
    static const QRegularExpression hexadecimal(QStringLiteral("^0[xX][0-9a-fA-F]{1,8}\\z"));
    bool ok = false;
    qlonglong number = 0;
    if (hexadecimal.match(text).hasMatch())
        number = text.mid(2).toLongLong(&ok, 16);
    else if (decimal.match(text).hasMatch())
        number = text.toLongLong(&ok, 10);
    if (!ok || number < minimum || number > maximum)
        return false;
    value = int(number);
    return true;
}

bool CliOptions::parseAddressRange(const QString &text, QList<int> &addresses)
{
    const int dash = text.indexOf(QLatin1Char('-'), 1);
    int from = 0;
    int to = 0;
    if (dash < 0) {
        if (!parseInteger(text, 0, TDM::SlotCount - 1, from))
            return false;
        to = from;
    } else if (!parseInteger(text.left(dash), 0, TDM::SlotCount - 1, from) ||
               !parseInteger(text.mid(dash + 1), 0, TDM::SlotCount - 1, to)) {
        return false;
    }
    const int step = from <= to ? 1 : -1;
    for (int a = from;; a += step) {
        if (!addresses.contains(a))
            addresses.append(a);
        if (a == to)
            break;
    }
    return true;
}

bool CliOptions::parse(const QStringList &arguments, QString *error)
{
    QStringList operands;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        const int first = i;
        const auto shareOption = [&] { sharedArguments << arguments.mid(first, i - first + 1); };
        // Options take their value as the next argument or after "=".
        QString name = arg;
        QString inlineValue;
        bool hasInline = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            name = arg.section(QLatin1Char('='), 0, 0);
            inlineValue = arg.section(QLatin1Char('='), 1);
            hasInline = true;
        }
        const auto takeValue = [&](QString &out) {
            if (hasInline) {
                out = inlineValue;
                return true;
            }
            if (i + 1 >= arguments.size())
                return fail(error, QStringLiteral("%1 needs a value").arg(name));
            out = arguments[++i];
            return true;
        };
        QString v;
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            command = Command::Help;
            return true;
        } else if (name == QLatin1String("--csv")) {
            if (hasInline)
                return fail(error, QStringLiteral("--csv takes no value"));
            csv = true;
        } else if (name == QLatin1String("--simulate") || name == QLatin1String("--json") ||
                   name == QLatin1String("--force")) {
            if (hasInline)
                return fail(error, QStringLiteral("%1 takes no value").arg(name));
            (name == QLatin1String("--json")    ? json
             : name == QLatin1String("--force") ? force
                                                : simulate) = true;
        } else if (name == QLatin1String("--trace") || name == QLatin1String("--stats")) {
            if (hasInline)
                return fail(error, QStringLiteral("%1 takes no value").arg(name));
            (name == QLatin1String("--trace") ? trace : stats) = true;
        } else if (name == QLatin1String("--trace-file")) {
            if (!takeValue(v))
                return false;
            if (v.isEmpty())
                return fail(error, QStringLiteral("--trace-file needs a file name"));
            trace = true;
            traceFile = v;
        } else if (name == QLatin1String("--port")) {
            if (!takeValue(v))
                return false;
            if (!parsePortChoice(v, error))
                return false;
            port = ports.first().name;
        } else if (name == QLatin1String("--baud")) {
            if (!takeValue(v))
                return false;
            if (!parseInteger(v, 110, 4000000, line.baudRate))
                return fail(error, QStringLiteral("invalid --baud: %1").arg(v));
        } else if (name == QLatin1String("--parity")) {
            if (!takeValue(v))
                return false;
            if (v == QLatin1String("none"))
                line.parity = pNone;
            else if (v == QLatin1String("even"))
                line.parity = pEven;
            else if (v == QLatin1String("odd"))
                line.parity = pOdd;
            else
                return fail(error,
                            QStringLiteral("invalid --parity: %1 (none, even or odd)").arg(v));
        } else if (name == QLatin1String("--stop-bits")) {
            if (!takeValue(v))
                return false;
            if (v == QLatin1String("1"))
                line.stopBits = sb1_0;
            else if (v == QLatin1String("1.5"))
                line.stopBits = sb1_5;
            else if (v == QLatin1String("2"))
                line.stopBits = sb2_0;
            else
                return fail(error, QStringLiteral("invalid --stop-bits: %1 (1, 1.5 or 2)").arg(v));
        } else if (name == QLatin1String("--data-bits")) {
            if (!takeValue(v))
                return false;
            if (v != QLatin1String("7") && v != QLatin1String("8"))
                return fail(error, QStringLiteral("invalid --data-bits: %1 (7 or 8)").arg(v));
            line.byteSize = v.toInt();
        } else if (name == QLatin1String("--duration")) {
            if (!takeValue(v))
                return false;
            bool ok = false;
            const double seconds = v.trimmed().toDouble(&ok);
            if (!ok || !(seconds >= 0.1 && seconds <= 31 * 24 * 3600))
                return fail(error,
                            QStringLiteral("invalid --duration: %1 (seconds, 0.1 or more)").arg(v));
            durationMs = int(seconds * 1000 + 0.5);
        } else if (name == QLatin1String("--model") &&
                   (hasInline ? arg.mid(arg.indexOf(QLatin1Char('=')) + 1) : arguments.value(i + 1))
                       .contains(QLatin1Char('='))) {
            // --model ADDR=MODEL: the model of one address, for listen.
            v = hasInline ? arg.mid(arg.indexOf(QLatin1Char('=')) + 1) : arguments[++i];
            if (!parseListenModel(v, error))
                return false;
        } else if (name == QLatin1String("--model")) {
            if (!takeValue(v))
                return false;
            model = v.toUpper();
            if (model != QLatin1String("KX100") && model != QLatin1String("KX200") &&
                model != QLatin1String("KX300"))
                return fail(error,
                            QStringLiteral("invalid --model: %1 (KX100, KX200 or KX300)").arg(v));
        } else if (name == QLatin1String("--timing")) {
            if (!takeValue(v))
                return false;
            if (v != QLatin1String("fast") && v != QLatin1String("standard"))
                return fail(error, QStringLiteral("invalid --timing: %1 (fast or standard)").arg(v));
            fastTiming = v == QLatin1String("fast");
        } else if (name == QLatin1String("--timeout-ms")) {
            if (!takeValue(v))
                return false;
            if (!parseInteger(v, 20, 600000, timeoutMs))
                return fail(error, QStringLiteral("invalid --timeout-ms: %1 (20..600000)").arg(v));
        } else if (name == QLatin1String("--echo")) {
            if (!takeValue(v))
                return false;
            const QStringList modes{QStringLiteral("auto"), QStringLiteral("on"),
                                    QStringLiteral("off")};
            if (!modes.contains(v))
                return fail(error, QStringLiteral("invalid --echo: %1 (auto, on or off)").arg(v));
            echo = EchoMode(modes.indexOf(v));
        } else if (name == QLatin1String("--resync-ms")) {
            if (!takeValue(v))
                return false;
            if (!parseInteger(v, 0, 10000, resyncMs))
                return fail(error, QStringLiteral("invalid --resync-ms: %1 (0..10000)").arg(v));
        } else if (name == QLatin1String("--interval-ms")) {
            if (!takeValue(v))
                return false;
            if (!parseInteger(v, 0, 3600000, intervalMs))
                return fail(error, QStringLiteral("invalid --interval-ms: %1").arg(v));
        } else if (name == QLatin1String("--count")) {
            if (!takeValue(v))
                return false;
            if (!parseInteger(v, 1, 1000000000, count))
                return fail(error, QStringLiteral("invalid --count: %1").arg(v));
        } else if (name == QLatin1String("--max-errors")) {
            if (!takeValue(v))
                return false;
            if (!parseInteger(v, 1, 1000000000, maxErrors))
                return fail(error, QStringLiteral("invalid --max-errors: %1").arg(v));
            m_maxErrorsGiven = true;
        } else if (PublishOptions::isOption(name)) {
            if (!takeValue(v) || !publish.set(name, v, error))
                return false;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return fail(error, QStringLiteral("unknown option %1").arg(arg));
        } else {
            operands.append(arg);
            continue;
        }
        if (name != QLatin1String("--port"))
            shareOption();
    }
    // --timing standard ends a reply after 250 ms of silence: a shorter time-out would cut every
    // reply off. Fast timing has one deadline of at most 10 s.
    if (timeoutMs > 0 && !fastTiming && timeoutMs < 250)
        return fail(error, QStringLiteral("invalid --timeout-ms: %1 (at least 250 with --timing "
                                          "standard)")
                               .arg(timeoutMs));
    if (fastTiming && timeoutMs > 10000)
        return fail(error, QStringLiteral("invalid --timeout-ms: %1 (20..10000 with --timing fast)")
                               .arg(timeoutMs));
    if (!parseOperands(operands, error))
        return false;
    if (command == Command::Help)
        return true;
    if (ports.size() > 1 && command != Command::Backup)
        return fail(error, QStringLiteral("several --port values are for backup only"));
    for (const PortChoice &choice : std::as_const(ports)) {
        if (!choice.addresses.isEmpty() && command != Command::Backup)
            return fail(error,
                        QStringLiteral("--port %1@ADDRS is for backup only").arg(choice.name));
    }
    return true;
}

bool CliOptions::parseListenModel(const QString &text, QString *error)
{
    const QString addressText = text.section(QLatin1Char('='), 0, 0);
    const QString name = text.section(QLatin1Char('='), 1).trimmed().toUpper();
    int listenAddress = -1;
    if (!parseInteger(addressText, 0, 247, listenAddress))
        return fail(error,
                    QStringLiteral("invalid --model %1 (ADDR=MODEL, ADDR 0..247)").arg(text));
    if (name != QLatin1String("KX100") && name != QLatin1String("KX200") &&
        name != QLatin1String("KX300"))
        return fail(
            error, QStringLiteral("invalid --model %1 (MODEL is KX100, KX200 or KX300)").arg(text));
    listenModels.insert(listenAddress, name);
    return true;
}

bool CliOptions::parsePortChoice(const QString &text, QString *error)
{
    PortChoice choice;
    choice.name = text;
    const qsizetype at = text.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        choice.name = text.left(at);
        const QStringList ranges = text.mid(at + 1).split(QLatin1Char(','));
        for (const QString &range : ranges) {
            if (!parseAddressRange(range, choice.addresses))
                return fail(
                    error,
                    QStringLiteral("invalid address or range %1 in --port %2").arg(range, text));
        }
    }
    if (choice.name.trimmed().isEmpty())
        return fail(error, QStringLiteral("--port needs a device"));
    if (TcpLink::isTcpName(choice.name)) {
        QString why;
        if (!TcpLink::parseName(choice.name, &why))
            return fail(error, QStringLiteral("invalid --port %1").arg(why));
    }
    ports.append(choice);
    return true;
}

bool CliOptions::parseOperands(const QStringList &operands, QString *error)
{
    if (operands.isEmpty())
        return fail(error, QStringLiteral("no command given"));
    const QString name = operands.first();
    command = Command::None;
    for (const CommandName &c : Commands) {
        if (name == QLatin1String(c.name))
            command = c.command;
    }
    if (command == Command::None)
        return fail(error, QStringLiteral("unknown command %1").arg(name));
    if (command == Command::Help)
        return true;
    const QStringList rest = operands.mid(1);
    if (count != -1 && command != Command::Monitor)
        return fail(error, QStringLiteral("--count belongs to monitor"));
    if (m_maxErrorsGiven && command != Command::Monitor)
        return fail(error, QStringLiteral("--max-errors belongs to monitor"));
    if (force && command != Command::Write && command != Command::Download &&
        command != Command::Restore)
        return fail(error, QStringLiteral("--force belongs to write, download and restore"));
    // A blank name would become a file called by spaces, or none at all.
    const auto takeFile = [&](const QString &text) {
        if (text.trimmed().isEmpty())
            return fail(error, QStringLiteral("FILE is blank"));
        file = text;
        return true;
    };
    if (publish.given && command != Command::Publish)
        return fail(error, QStringLiteral("--broker, --group, --node, --deadband, --username, "
                                          "--password-file, --cafile and --rescan-ms belong to "
                                          "publish"));
    if (!listenModels.isEmpty() && command != Command::Listen)
        return fail(error, QStringLiteral("--model ADDR=MODEL belongs to listen"));
    if (durationMs > 0 && command != Command::Listen)
        return fail(error, QStringLiteral("--duration belongs to listen"));
    if (csv && command != Command::Monitor)
        return fail(error, QStringLiteral("--csv belongs to monitor"));
    if (csv && json)
        return fail(error, QStringLiteral("--csv and --json exclude each other"));

    const auto expect = [&](int n, const char *form) {
        if (rest.size() == n)
            return true;
        return fail(error, QStringLiteral("usage: drivelink-cli %1").arg(QLatin1String(form)));
    };
    const auto takeAddress = [&](const QString &text) {
        if (parseInteger(text, 0, TDM::SlotCount - 1, address))
            return true;
        return fail(error, QStringLiteral("invalid address %1 (0..31)").arg(text));
    };
    const auto takeRanges = [&](const QStringList &texts) {
        for (const QString &t : texts) {
            if (!parseAddressRange(t, addresses))
                return fail(error,
                            QStringLiteral("invalid address or range %1 (0..31, FROM-TO)").arg(t));
        }
        if (texts.isEmpty()) {
            for (int a = 0; a < TDM::SlotCount; ++a)
                addresses.append(a);
        }
        return true;
    };

    switch (command) {
    case Command::Scan:
        return takeRanges(rest);
    case Command::Read:
        if (!expect(2, "read ADDR REGISTER") || !takeAddress(rest[0]))
            return false;
        if (!parseInteger(rest[1], 0, 0xFFFF, registerNumber))
            return fail(error, QStringLiteral("invalid register %1 (0..65535)").arg(rest[1]));
        return true;
    case Command::Write:
        if (!expect(3, "write ADDR REGISTER VALUE") || !takeAddress(rest[0]))
            return false;
        if (!parseInteger(rest[1], 0, 0xFFFF, registerNumber))
            return fail(error, QStringLiteral("invalid register %1 (0..65535)").arg(rest[1]));
        if (!parseInteger(rest[2], -32768, 0xFFFF, value))
            return fail(error, QStringLiteral("invalid value %1 (-32768..65535)").arg(rest[2]));
        return true;
    case Command::Upload:
    case Command::Download:
        if (!expect(2, command == Command::Upload ? "upload ADDR FILE" : "download ADDR FILE") ||
            !takeAddress(rest[0]))
            return false;
        return takeFile(rest[1]);
    case Command::Backup:
        if (rest.isEmpty())
            return fail(error,
                        QStringLiteral("usage: drivelink-cli backup FILE [ADDR|FROM-TO]..."));
        return takeFile(rest[0]) && takeRanges(rest.mid(1));
    case Command::Restore:
        return expect(1, "restore FILE") && takeFile(rest[0]);
    case Command::SetAddress:
        if (!expect(2, "set-address OLD NEW") || !takeAddress(rest[0]))
            return false;
        if (!parseInteger(rest[1], 0, TDM::SlotCount - 1, newAddress))
            return fail(error, QStringLiteral("invalid address %1 (0..31)").arg(rest[1]));
        return true;
    case Command::Monitor:
        return expect(1, "monitor ADDR [--count N] [--max-errors N] [--csv]") && takeAddress(rest[0]);
    case Command::Publish:
        return takeRanges(rest) && publish.check(error);
    case Command::Listen:
        return expect(0, "listen [--model ADDR=MODEL]... [--duration S] [--json] [--stats]");
    case Command::Diff:
        if (!expect(2, "diff ADDR FILE | diff FILE1 FILE2"))
            return false;
        // A first operand that is a number is an address; anything else a file.
        if (parseInteger(rest[0], INT_MIN, INT_MAX, address)) {
            if (!takeAddress(rest[0]))
                return false;
            file = rest[1];
        } else {
            address = -1;
            file = rest[0];
            file2 = rest[1];
        }
        return true;
    default:
        return true;
    }
}
