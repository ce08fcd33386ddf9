#include "sim/SimCommandLine.h"

#include "sim/SimTcpGateway.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>
#include <limits>

namespace {
constexpr int DefaultDeafMs = 500;
const int kBaudRates[] = {110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

std::optional<int> number(const QString &text, int lowest, int highest)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

void addOptions(QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption({QStringLiteral("link"),
                      QStringLiteral("Symbolic link to create for the serial device."),
                      QStringLiteral("path")});
    parser.addOption({QStringLiteral("tcp"),
                      QStringLiteral("Serve the bus as a TCP gateway on [ADDR:]PORT "
                                     "(127.0.0.1 unless ADDR is given; one client at a time)."),
                      QStringLiteral("[addr:]port")});
    parser.addOption({QStringLiteral("kx100"), QStringLiteral("Put a KX100 at the address."),
                      QStringLiteral("address")});
    parser.addOption({QStringLiteral("kx200"), QStringLiteral("Put a KX200 at the address."),
                      QStringLiteral("address")});
    parser.addOption({QStringLiteral("kx300"), QStringLiteral("Put a KX300 at the address."),
                      QStringLiteral("address")});
    parser.addOption({QStringLiteral("baud"), QStringLiteral("Line speed in bit/s (9600)."),
                      QStringLiteral("rate"), QStringLiteral("9600")});
    parser.addOption({QStringLiteral("parity"), QStringLiteral("Parity: none, even or odd (even)."),
                      QStringLiteral("parity"), QStringLiteral("even")});
    parser.addOption({QStringLiteral("turnaround"),
                      QStringLiteral("Milliseconds from request to reply (5)."),
                      QStringLiteral("ms"), QStringLiteral("5")});
    parser.addOption({QStringLiteral("fast"),
                      QStringLiteral("Reply at once, without pacing bytes at the line speed.")});
    parser.addOption({QStringLiteral("fault"),
                      QStringLiteral("Fault of the inverters at an address; kind: %1. "
                                     "late:MS answers MS milliseconds late (1500); deaf:MS "
                                     "ignores everything for MS milliseconds after a frame "
                                     "it cannot parse (500).")
                          .arg(simFaultNames().join(QStringLiteral(", "))),
                      QStringLiteral("address:kind[:ms]")});
    parser.addOption({QStringLiteral("no-broadcast-reply"),
                      QStringLiteral("The inverters at the address take broadcast address "
                                     "writes without answering."),
                      QStringLiteral("address")});
    parser.addOption({QStringLiteral("verbose"), QStringLiteral("Log every frame to stderr.")});
    parser.addOption({QStringLiteral("echo"),
                      QStringLiteral("The line returns every byte sent to it before any reply.")});
    parser.addOption({QStringLiteral("latency"),
                      QStringLiteral("Hand received bytes over in batches every MS milliseconds, "
                                     "as a USB adapter's latency timer does."),
                      QStringLiteral("ms")});
    parser.addOption({QStringLiteral("noise"),
                      QStringLiteral("Random bytes between frames, PER_S a second on average."),
                      QStringLiteral("per_s")});
    parser.addOption({QStringLiteral("seed"),
                      QStringLiteral("Seed of the noise, for repeatable runs (1)."),
                      QStringLiteral("n"), QStringLiteral("1")});
    parser.addOption({QStringLiteral("unplug-after"),
                      QStringLiteral("Remove the link (or restart the gateway) after MS "
                                     "milliseconds; SIGUSR1 removes it, SIGUSR2 brings it back."),
                      QStringLiteral("ms")});
    parser.addOption({QStringLiteral("unplug-pause"),
                      QStringLiteral("Bring the removed link back after MS milliseconds (1000)."),
                      QStringLiteral("ms"), QStringLiteral("1000")});
    parser.addOption({QStringLiteral("unplug-every"),
                      QStringLiteral("Remove the link again every MS milliseconds."),
                      QStringLiteral("ms")});
    parser.addOption({QStringLiteral("foreign-master"),
                      QStringLiteral("Play another master on the line: poll and write the "
                                     "inverters, and count every byte the program sends.")});
    parser.addOption({QStringLiteral("foreign-log"),
                      QStringLiteral("Write each exchange of the foreign master to the file."),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("foreign-count"),
                      QStringLiteral("The foreign master stops after N requests."),
                      QStringLiteral("n")});
    parser.addOption({QStringLiteral("foreign-pause"),
                      QStringLiteral("Milliseconds between the foreign master's exchanges "
                                     "(0: the shortest legal gaps)."),
                      QStringLiteral("ms"), QStringLiteral("0")});
    parser.addOption({QStringLiteral("foreign-delay"),
                      QStringLiteral("Milliseconds before the foreign master's first request."),
                      QStringLiteral("ms"), QStringLiteral("0")});
    parser.addHelpOption();
}
// The line conditions and the unplug schedule.
bool parseLineOptions(const QCommandLineParser &parser, SimCommandLine::Options &options,
                      QString *error)
{
    const auto value = [&](const char *name, int lowest, int highest, int *into) {
        const QString option = QString::fromLatin1(name);
        if (!parser.isSet(option))
            return true;
        const std::optional<int> parsed = number(parser.value(option), lowest, highest);
        if (!parsed && error)
            *error = QStringLiteral("bad --%1: %2").arg(option, parser.value(option));
        if (parsed)
            *into = *parsed;
        return parsed.has_value();
    };
    LineConditions::Settings &line = options.line;
    line.echo = parser.isSet(QStringLiteral("echo"));
    int seed = 1;
    int noise = 0;
    if (!value("latency", 0, 10000, &line.latencyMs) || !value("noise", 0, 100000, &noise) ||
        !value("seed", 0, std::numeric_limits<int>::max(), &seed) ||
        !value("unplug-after", 0, 86400000, &options.unplug.afterMs) ||
        !value("unplug-pause", 0, 86400000, &options.unplug.pauseMs) ||
        !value("unplug-every", 1, 86400000, &options.unplug.everyMs))
        return false;
    line.noisePerSecond = noise;
    line.seed = quint32(seed);
    line.timing = options.timing;
    return true;
}
} // namespace

QString SimCommandLine::usage()
{
    QCommandLineParser parser;
    addOptions(parser);
    parser.setApplicationDescription(QStringLiteral(
        "Serves simulated inverters on a pseudo-terminal, or behind a TCP gateway, until SIGINT "
        "or SIGTERM. "
        "Without --kx100/--kx200/--kx300 it serves a KX100 at 1, a KX200 at 2 and "
        "a KX300 at 3."));
    QString text = parser.helpText();
    text.replace(QRegularExpression(QStringLiteral("^Usage: \\S*")),
                 QStringLiteral("Usage: drivelink-sim"));
    return text;
}

std::optional<SimCommandLine::Options> SimCommandLine::parse(const QStringList &arguments,
                                                             QString *error)
{
    const auto fail = [error](const QString &text) -> std::optional<Options> {
        if (error)
            *error = text;
        return std::nullopt;
    };

    QCommandLineParser parser;
    addOptions(parser);
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        return fail(QString());
    if (!parser.positionalArguments().isEmpty()) {
        return fail(QStringLiteral("unexpected argument: %1")
                        .arg(parser.positionalArguments().join(QLatin1Char(' '))));
    }

    Options options;
    options.link = parser.value(QStringLiteral("link"));
    if (parser.isSet(QStringLiteral("tcp"))) {
        QString why;
        if (!SimTcpGateway::parseListen(parser.value(QStringLiteral("tcp")), &options.tcpAddress,
                                        &options.tcpPort, &why))
            return fail(why);
    }
    if (options.link.isEmpty() && options.tcpPort < 0)
        return fail(QStringLiteral("--link PATH or --tcp [ADDR:]PORT is required"));
    options.verbose = parser.isSet(QStringLiteral("verbose"));

    for (const char *model : {"kx100", "kx200", "kx300"}) {
        for (const QString &text : parser.values(QString::fromLatin1(model))) {
            const std::optional<int> address = number(text, 0, 255);
            if (!address)
                return fail(QStringLiteral("bad address for --%1: %2").arg(model, text));
            options.members.append({QString::fromLatin1(model).toUpper(), *address});
        }
    }
    if (options.members.isEmpty())
        options.members = SimulatedPlant::defaultMembers();
    const QString problem = SimulatedPlant::checkMembers(options.members);
    if (!problem.isEmpty())
        return fail(problem);

    const std::optional<int> baud = number(parser.value(QStringLiteral("baud")), 1, 115200);
    if (!baud ||
        std::find(std::begin(kBaudRates), std::end(kBaudRates), *baud) == std::end(kBaudRates))
        return fail(QStringLiteral("bad --baud: %1").arg(parser.value(QStringLiteral("baud"))));
    options.timing.baud = *baud;

    const QString parity = parser.value(QStringLiteral("parity")).trimmed().toLower();
    if (parity == QLatin1String("none"))
        options.timing.parity = PseudoTerminal::Parity::None;
    else if (parity == QLatin1String("even"))
        options.timing.parity = PseudoTerminal::Parity::Even;
    else if (parity == QLatin1String("odd"))
        options.timing.parity = PseudoTerminal::Parity::Odd;
    else
        return fail(QStringLiteral("bad --parity: %1").arg(parity));

    const std::optional<int> turnaround =
        number(parser.value(QStringLiteral("turnaround")), 0, 10000);
    if (!turnaround) {
        return fail(
            QStringLiteral("bad --turnaround: %1").arg(parser.value(QStringLiteral("turnaround"))));
    }
    options.timing.turnaroundMs = *turnaround;
    if (parser.isSet(QStringLiteral("fast"))) {
        options.timing.turnaroundMs = 0;
        options.timing.paced = false;
    }

    const auto occupied = [&options](int address) {
        for (const SimulatedPlant::Member &member : options.members) {
            if (member.address == address)
                return true;
        }
        return false;
    };

    for (const QString &text : parser.values(QStringLiteral("fault"))) {
        // ADDR:KIND, or ADDR:late:MS for a reply MS milliseconds late.
        const QStringList parts = text.split(QLatin1Char(':'));
        const bool sized = parts.size() == 2 || parts.size() == 3;
        const std::optional<int> address = sized ? number(parts[0], 0, 255) : std::nullopt;
        const std::optional<SimFault> fault = sized ? simFaultFromName(parts[1]) : std::nullopt;
        const bool timed = fault == SimFault::LateReply || fault == SimFault::Deaf;
        std::optional<int> lateMs =
            fault == SimFault::Deaf ? DefaultDeafMs : SimInverter::DefaultLateMs;
        if (parts.size() == 3)
            lateMs = timed ? number(parts[2], 0, 600000) : std::nullopt;
        if (!address || !fault || !lateMs) {
            return fail(QStringLiteral("bad --fault %1: expected ADDR:KIND with KIND one of %2, "
                                       "or ADDR:late:MS, ADDR:deaf:MS")
                            .arg(text, simFaultNames().join(QStringLiteral(", "))));
        }
        if (!occupied(*address))
            return fail(
                QStringLiteral("--fault %1: no inverter at address %2").arg(text).arg(*address));
        options.faults.append({*address, *fault, *lateMs});
    }

    for (const QString &text : parser.values(QStringLiteral("no-broadcast-reply"))) {
        const std::optional<int> address = number(text, 0, 255);
        if (!address || !occupied(*address))
            return fail(
                QStringLiteral("--no-broadcast-reply %1: no inverter at that address").arg(text));
        options.quietOnBroadcast.append(*address);
    }
    if (!parseLineOptions(parser, options, error))
        return std::nullopt;

    options.foreignMaster = parser.isSet(QStringLiteral("foreign-master"));
    const bool foreignOptions = parser.isSet(QStringLiteral("foreign-log")) ||
                                parser.isSet(QStringLiteral("foreign-count")) ||
                                parser.isSet(QStringLiteral("foreign-pause")) ||
                                parser.isSet(QStringLiteral("foreign-delay"));
    if (foreignOptions && !options.foreignMaster)
        return fail(QStringLiteral("--foreign-log, --foreign-count, --foreign-pause and "
                                   "--foreign-delay belong to --foreign-master"));
    options.foreign.logFile = parser.value(QStringLiteral("foreign-log"));
    for (const auto &[name, target] : {std::pair{"foreign-count", &options.foreign.count},
                                       std::pair{"foreign-pause", &options.foreign.pauseMs},
                                       std::pair{"foreign-delay", &options.foreign.delayMs}}) {
        if (!parser.isSet(QString::fromLatin1(name)))
            continue;
        const std::optional<int> value =
            number(parser.value(QString::fromLatin1(name)), 0, 1000000000);
        if (!value)
            return fail(QStringLiteral("bad --%1: %2")
                            .arg(QLatin1String(name), parser.value(QString::fromLatin1(name))));
        *target = *value;
    }
    return options;
}
