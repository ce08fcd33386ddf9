// drivelink-bench: measures drivelink-cli on the simulated line, the way a user runs it, in
// both timings and at two line speeds, beside the line's physical floor and beside a plain
// libmodbus client doing the same reads on the same line.

#include "bench/BenchProcess.h"
#include "bench/ModbusPeer.h"
#include "bench/SimulatorLine.h"
#include "bench/WindowBench.h"
#include "serial/FrameGap.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

namespace {

enum class Row {
    ReadCommand,
    ReadExchange,
    Upload100,
    Upload300,
    Download100,
    Scan,
    Backup,
    Peer,
    Window,
    Idle
};

struct RowInfo
{
    Row row;
    const char *key;
    const char *caption;
    bool slowInStandard; // left out of the standard timing by --quick
};

constexpr RowInfo kRows[] = {
    {Row::ReadCommand, "read", "read 1 257 (one command)", false},
    {Row::ReadExchange, "exchange", "read exchange (upload / 108)", false},
    {Row::Upload100, "upload100", "KX100 upload, 108 reads", false},
    {Row::Peer, "peer", "libmodbus, same 108 reads", false},
    {Row::Upload300, "upload300", "KX300 upload, 298 reads", true},
    {Row::Download100, "download100", "KX100 download, 108 pairs", true},
    {Row::Scan, "scan", "scan 0-31, default plant", true},
    {Row::Backup, "backup", "backup, default plant", true},
    // The fast timing at 9600 bit/s only.
    {Row::Window, "window", "KX100 upload, 3 monitors poll", false},
    {Row::Idle, "idle", "waiting, 3 monitors poll", false},
};

constexpr int kKx100Parameters = 108;
constexpr int kKx100FirstRegister = 257;
constexpr int kKx100Address = 1;

struct Settings
{
    QString cli = QStringLiteral(DRIVELINK_CLI_EXECUTABLE);
    QString sim = QStringLiteral(DRIVELINK_SIM_EXECUTABLE);
    QList<int> speeds{9600, 19200, 38400, 115200};
    QStringList timings{QStringLiteral("fast"), QStringLiteral("standard")};
    QList<Row> rows;
    bool quick = false;
    int timeoutMs = 0; // fast timing's reply time-out; 0 keeps the program's default
    int turnaroundMs = 5;
    int limitSeconds = 1800;
    int gateways = 8; // simulated gateways of the many-buses row; 0 leaves it out
};

struct Measure
{
    QString note; // set when there is no figure: "n/a", "skipped", "failed ..."
    double wall = 0.0;
    double cpu = 0.0;
    SimulatorLine::Tally tally;
    double reference = 0.0; // window row: the same upload without the monitors
};

using Key = QString; // "speed/timing/row"

Key key(int speed, const QString &timing, Row row)
{
    return QStringLiteral("%1/%2/%3").arg(speed).arg(timing).arg(static_cast<int>(row));
}

QString duration(double seconds)
{
    if (seconds < 1.0)
        return QStringLiteral("%1 ms").arg(seconds * 1e3, 0, 'f', 1);
    if (seconds < 100.0)
        return QStringLiteral("%1 s").arg(seconds, 0, 'f', 2);
    return QStringLiteral("%1 s").arg(seconds, 0, 'f', 0);
}

// Line time of the frames that crossed the line: 11-bit characters (start, 8 data, parity,
// stop) and the 3.5-character silence that ends every frame. Time-outs are not part of it.
double floorSeconds(const SimulatorLine::Tally &tally, int speed)
{
    const double character = 11.0 / speed;
    return (static_cast<double>(tally.bytes) + 3.5 * static_cast<double>(tally.frames)) * character;
}

// What keeping t3.5 costs an upload beside the peer. The simulated line lets a request start
// no sooner than 3.5 characters after the reply, so the peer, which keeps no pause of its own,
// waits exactly that; the program keeps t3.5 from the reply's last byte as it received it,
// and above 19200 bit/s t3.5 is a fixed 1750 us, longer than 3.5 characters.
struct PauseCost
{
    double lineGapUs = 0.0;    // 3.5 characters, what the line makes the peer wait
    int keptUs = 0;            // t3.5 as the program keeps it
    double extraSeconds = 0.0; // over the whole upload
    double bestRatio = 0.0;    // the ratio to the peer with nothing but that difference
};

PauseCost pauseCost(int speed, double peerSeconds)
{
    PauseCost cost;
    // 11-bit characters, rounded up to the microsecond as the program's line does.
    const int characterUs = (11 * 1000000 + speed - 1) / speed;
    cost.lineGapUs = 3.5 * 11e6 / speed;
    cost.keptUs = FrameGap::gapUs(characterUs);
    cost.extraSeconds = std::max(0.0, cost.keptUs - cost.lineGapUs) * kKx100Parameters / 1e6;
    if (peerSeconds > 0.0)
        cost.bestRatio = (peerSeconds + cost.extraSeconds) / peerSeconds;
    return cost;
}

class Bench
{
public:
    Bench(const Settings &settings, const QString &workDir) : m_settings(settings), m_dir(workDir)
    {
    }

    bool fastSupported() const { return m_fastSupported; }

    void probeTiming()
    {
        const BenchProcess::Result probe = BenchProcess::run(
            m_settings.cli,
            {QStringLiteral("--timing"), QStringLiteral("fast"), QStringLiteral("help")},
            m_dir.filePath(QStringLiteral("probe.txt")), 30);
        m_fastSupported = probe.ok();
    }

    bool measureSpeed(int speed)
    {
        const QString link = m_dir.filePath(QStringLiteral("bus-%1").arg(speed));
        QString error;
        if (!m_line.start(m_settings.sim,
                          {QStringLiteral("--link"), link, QStringLiteral("--baud"),
                           QString::number(speed), QStringLiteral("--turnaround"),
                           QString::number(m_settings.turnaroundMs), QStringLiteral("--verbose")},
                          &error)) {
            std::fprintf(stderr, "drivelink-bench: %s\n", qPrintable(error));
            return false;
        }
        if (wanted(Row::Peer))
            runPeer(speed, link);
        for (const QString &timing : m_settings.timings)
            measureTiming(speed, timing, link);
        m_line.stop();
        return true;
    }

    // Many buses: the default plant's three drives backed up behind one gateway, then behind
    // each of `gateways` gateways at once by one backup with a --port per gateway. The buses
    // share nothing, so the second should take about as long as the first.
    void measureGateways()
    {
        if (m_settings.gateways <= 0 || !m_fastSupported)
            return;
        std::vector<std::unique_ptr<SimulatorLine>> lines;
        QStringList ports;
        for (int i = 0; i < m_settings.gateways; ++i) {
            auto line = std::make_unique<SimulatorLine>();
            QString error;
            if (!line->start(m_settings.sim,
                             {QStringLiteral("--tcp"), QStringLiteral("0"),
                              QStringLiteral("--turnaround"),
                              QString::number(m_settings.turnaroundMs)},
                             &error)) {
                std::fprintf(stderr, "drivelink-bench: %s\n", qPrintable(error));
                return;
            }
            ports << line->servedPort() + QStringLiteral("@1-3");
            lines.push_back(std::move(line));
        }
        const auto backup = [&](const QStringList &chosen, const QString &name) {
            QStringList arguments{QStringLiteral("--timing"), QStringLiteral("fast")};
            for (const QString &port : chosen)
                arguments << QStringLiteral("--port") << port;
            arguments << QStringLiteral("backup") << m_dir.filePath(name + QStringLiteral(".ini"));
            const BenchProcess::Result result = BenchProcess::run(
                m_settings.cli, arguments, m_dir.filePath(name + QStringLiteral(".out")),
                m_settings.limitSeconds);
            return result.ok() ? result.wallSeconds : -1.0;
        };
        m_gatewayOne = backup({ports.first()}, QStringLiteral("gateway-one"));
        std::fprintf(stderr, "  %-42s %s\n", "backup behind 1 gateway", qPrintable(duration(m_gatewayOne)));
        m_gatewayAll = backup(ports, QStringLiteral("gateway-all"));
        std::fprintf(stderr, "  backup behind %d gateways at once %10s\n", m_settings.gateways,
                     qPrintable(duration(m_gatewayAll)));
    }

    void print() const;

private:
    // The t3.5 arithmetic of the upload beside the peer, at each speed the peer ran.
    void printPauseCosts() const
    {
        if (!wanted(Row::Upload100) || !wanted(Row::Peer))
            return;
        std::printf("\nt3.5 beside the peer (KX100 upload, %d exchanges): the simulated line lets "
                    "a request start 3.5\ncharacters after a reply, which is all the peer waits; "
                    "the program keeps t3.5 from the reply's last\nbyte as it received it, a fixed "
                    "1750 us above 19200 bit/s.\n",
                    kKx100Parameters);
        const char *format = "  %-7s %10s %10s %14s %12s %10s %12s\n";
        std::printf(format, "bit/s", "3.5 chars", "t3.5 kept", "extra/exchange", "extra/upload",
                    "peer", "best x peer");
        for (int speed : m_settings.speeds) {
            const std::optional<Measure> peer = find(speed, QStringLiteral("-"), Row::Peer);
            if (!peer || !peer->note.isEmpty())
                continue;
            const PauseCost cost = pauseCost(speed, peer->wall);
            std::printf(format, qPrintable(QString::number(speed)),
                        qPrintable(QStringLiteral("%1 us").arg(cost.lineGapUs, 0, 'f', 0)),
                        qPrintable(QStringLiteral("%1 us").arg(cost.keptUs)),
                        qPrintable(QStringLiteral("%1 us").arg(
                            cost.extraSeconds * 1e6 / kKx100Parameters, 0, 'f', 0)),
                        qPrintable(duration(cost.extraSeconds)), qPrintable(duration(peer->wall)),
                        qPrintable(QString::number(cost.bestRatio, 'f', 3)));
        }
    }

    bool wanted(Row row) const { return m_settings.rows.contains(row); }

    void record(int speed, const QString &timing, Row row, const Measure &measure)
    {
        m_results.insert(key(speed, timing, row), measure);
        std::fprintf(stderr, "  %6d %-8s %-30s %s\n", speed, qPrintable(timing), caption(row),
                     qPrintable(measure.note.isEmpty() ? duration(measure.wall) : measure.note));
    }

    static const char *caption(Row row)
    {
        for (const RowInfo &info : kRows) {
            if (info.row == row)
                return info.caption;
        }
        return "";
    }

    Measure runChild(const QString &program, const QStringList &arguments, const QString &name)
    {
        const SimulatorLine::Tally before = m_line.tally();
        const QString output = m_dir.filePath(name + QStringLiteral(".out"));
        const BenchProcess::Result result =
            BenchProcess::run(program, arguments, output, m_settings.limitSeconds);
        Measure measure;
        measure.wall = result.wallSeconds;
        measure.cpu = result.cpuSeconds;
        measure.tally = m_line.tally() - before;
        if (!result.started)
            measure.note = QStringLiteral("failed: %1").arg(result.error);
        else if (result.killed)
            measure.note = QStringLiteral("killed after %1 s").arg(m_settings.limitSeconds);
        else if (result.exitCode != 0)
            measure.note =
                QStringLiteral("failed (exit %1, see %2)").arg(result.exitCode).arg(output);
        return measure;
    }

    void runPeer(int speed, const QString &link)
    {
        const QStringList arguments{QStringLiteral("--peer"), link, QString::number(speed)};
        record(speed, QStringLiteral("-"), Row::Peer,
               runChild(QCoreApplication::applicationFilePath(), arguments,
                        QStringLiteral("peer-%1").arg(speed)));
    }

    void measureTiming(int speed, const QString &timing, const QString &link)
    {
        const bool fast = timing == QLatin1String("fast");
        QStringList common{QStringLiteral("--port"), link, QStringLiteral("--baud"),
                           QString::number(speed)};
        if (m_fastSupported)
            common << QStringLiteral("--timing") << timing;
        if (fast && m_settings.timeoutMs > 0)
            common << QStringLiteral("--timeout-ms") << QString::number(m_settings.timeoutMs);
        const QString tag = QStringLiteral("%1-%2").arg(timing).arg(speed);
        const QString kx100File = m_dir.filePath(QStringLiteral("kx100-%1.ini").arg(tag));

        const auto run = [&](Row row, const QStringList &command) {
            if (!wanted(row))
                return;
            const bool slow = std::find_if(std::begin(kRows), std::end(kRows), [row](auto &i) {
                                  return i.row == row;
                              })->slowInStandard;
            Measure measure;
            if (fast && !m_fastSupported)
                measure.note = QStringLiteral("n/a");
            else if (!fast && m_settings.quick && slow)
                measure.note = QStringLiteral("skipped");
            else
                measure = runChild(m_settings.cli, common + command,
                                   QStringLiteral("%1-%2").arg(QLatin1String(rowKey(row)), tag));
            record(speed, timing, row, measure);
        };
        const QString model = QStringLiteral("--model");
        run(Row::ReadCommand, {QStringLiteral("read"), QString::number(kKx100Address),
                               QString::number(kKx100FirstRegister)});
        run(Row::Upload100, {model, QStringLiteral("KX100"), QStringLiteral("upload"),
                             QString::number(kKx100Address), kx100File});
        run(Row::Upload300,
            {model, QStringLiteral("KX300"), QStringLiteral("upload"), QStringLiteral("3"),
             m_dir.filePath(QStringLiteral("kx300-%1.ini").arg(tag))});
        if (wanted(Row::Download100) && !QFileInfo::exists(kx100File) &&
            !(fast && !m_fastSupported) && !(!fast && m_settings.quick)) {
            // The download writes back what an upload read; make that file without timing it.
            runChild(m_settings.cli,
                     common + QStringList{model, QStringLiteral("KX100"), QStringLiteral("upload"),
                                          QString::number(kKx100Address), kx100File},
                     QStringLiteral("prepare-%1").arg(tag));
        }
        run(Row::Download100, {model, QStringLiteral("KX100"), QStringLiteral("download"),
                               QString::number(kKx100Address), kx100File});
        run(Row::Scan, {QStringLiteral("scan")});
        run(Row::Backup,
            {QStringLiteral("backup"), m_dir.filePath(QStringLiteral("backup-%1.ini").arg(tag))});
        if (fast && m_fastSupported && speed == 9600 && (wanted(Row::Window) || wanted(Row::Idle)))
            measureWindow(speed, link);
    }

    // The program's window (see WindowBench), in a child process of its own.
    void measureWindow(int speed, const QString &link)
    {
        const QString name = QStringLiteral("window-%1").arg(speed);
        Measure child = runChild(QCoreApplication::applicationFilePath(),
                                 {QStringLiteral("--window"), link, QString::number(speed)}, name);
        Measure window, idle;
        window.note = idle.note = child.note;
        QFile file(m_dir.filePath(name + QStringLiteral(".out")));
        QStringList fields;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : file.readAll().split('\n')) {
                if (line.startsWith("window "))
                    fields = QString::fromLatin1(line).split(QLatin1Char(' '));
            }
        }
        if (child.note.isEmpty() && fields.size() == 5) {
            window.reference = fields[1].toDouble();
            window.wall = fields[2].toDouble();
            window.cpu = child.cpu / std::max(child.wall, 1e-9) * window.wall;
            idle.wall = 5.0;
            idle.cpu = fields[3].toDouble() * idle.wall;
        } else if (child.note.isEmpty()) {
            window.note = idle.note = QStringLiteral("failed (no figures)");
        }
        if (wanted(Row::Window))
            record(speed, QStringLiteral("fast"), Row::Window, window);
        if (wanted(Row::Idle))
            record(speed, QStringLiteral("fast"), Row::Idle, idle);
    }

    static const char *rowKey(Row row)
    {
        for (const RowInfo &info : kRows) {
            if (info.row == row)
                return info.key;
        }
        return "";
    }

    std::optional<Measure> find(int speed, const QString &timing, Row row) const
    {
        const auto it = m_results.constFind(key(speed, timing, row));
        if (it == m_results.constEnd())
            return std::nullopt;
        return *it;
    }

    Settings m_settings;
    QDir m_dir;
    SimulatorLine m_line;
    bool m_fastSupported = false;
    QMap<Key, Measure> m_results;
    double m_gatewayOne = 0.0; // seconds; < 0 when the backup failed
    double m_gatewayAll = 0.0;
};

QString mark(bool pass)
{
    return pass ? QStringLiteral("pass") : QStringLiteral("FAIL");
}

constexpr int kGoalSpeed = 9600;

// The fast timing's goals for a row (the upload's at every speed, the others' at 9600 bit/s):
// their text alone while there is no figure, else each marked pass or fail.
QString goalFor(Row row, int speed, const Measure *measure, double floor, const Measure *peer)
{
    const auto limit = [measure](double seconds) {
        const QString text = QStringLiteral("<= %1 s").arg(seconds);
        return measure ? text + QLatin1Char(' ') + mark(measure->wall <= seconds) : text;
    };
    if (row != Row::Upload100 && speed != kGoalSpeed)
        return QString();
    switch (row) {
    case Row::Upload100: {
        // t3.5 is kept between frames; the peer does not keep it.
        const double ratio = speed == kGoalSpeed ? 1.02 : 1.05;
        const QString text = QStringLiteral("<= %1 x peer").arg(ratio, 0, 'f', 2);
        if (!measure)
            return text;
        if (!peer)
            return text + QStringLiteral(" n/a");
        // A goal that t3.5 alone puts out of reach says so.
        const PauseCost cost = pauseCost(speed, peer->wall);
        return text + QLatin1Char(' ') + mark(measure->wall <= ratio * peer->wall) +
               (cost.bestRatio > ratio
                    ? QStringLiteral(" (t3.5 alone: %1)").arg(cost.bestRatio, 0, 'f', 3)
                    : QString());
    }
    case Row::Scan:
        return limit(15.0);
    case Row::Backup:
        return limit(25.0);
    case Row::Window:
        if (!measure)
            return QStringLiteral("<= 1.5 x upload alone");
        return QStringLiteral("<= 1.5 x upload alone (%1) %2")
            .arg(duration(measure->reference), mark(measure->wall <= 1.5 * measure->reference));
    case Row::Idle:
        if (!measure)
            return QStringLiteral("CPU < 5 %");
        return QStringLiteral("CPU < 5 % ") + mark(measure->cpu < 0.05 * measure->wall);
    default:
        return QString();
    }
}

void Bench::print() const
{
    std::printf("Simulated line: drivelink-sim on a pseudo-terminal, default plant (KX100 at 1, "
                "KX200 at 2, KX300 at 3),\n8E1 (11-bit characters), %d ms turn-around. floor: line "
                "time of the frames that crossed the line,\nwith t3.5 after each frame (time-outs "
                "are not part of it). CPU: user+sys time of the process over its wall time.\n\n",
                m_settings.turnaroundMs);
    const char *format = "%-7s %-29s %-8s %10s %10s %7s %6s %5s  %s\n";
    std::printf(format, "bit/s", "what", "timing", "time", "floor", "xfloor", "xpeer", "CPU",
                "goal (fast)");
    for (int speed : m_settings.speeds) {
        const std::optional<Measure> peer = find(speed, QStringLiteral("-"), Row::Peer);
        const bool peerOk = peer && peer->note.isEmpty();
        for (const RowInfo &info : kRows) {
            if (!wanted(info.row))
                continue;
            const QStringList timings =
                info.row == Row::Peer ? QStringList{QStringLiteral("-")} : m_settings.timings;
            for (const QString &timing : timings) {
                // The exchange row is the upload's figures per read.
                const Row source = info.row == Row::ReadExchange ? Row::Upload100 : info.row;
                const int divisor = info.row == Row::ReadExchange ? kKx100Parameters : 1;
                const std::optional<Measure> measure = find(speed, timing, source);
                if (!measure)
                    continue;
                QString time, floor, xFloor, xPeer, cpu;
                const bool goals = timing == QLatin1String("fast");
                QString goal = goals ? goalFor(info.row, speed, nullptr, 0.0, nullptr) : QString();
                if (!measure->note.isEmpty()) {
                    time = measure->note;
                } else {
                    const double wall = measure->wall / divisor;
                    const double line = floorSeconds(measure->tally, speed) / divisor;
                    time = duration(wall);
                    floor = line > 0.0 ? duration(line) : QString();
                    xFloor = line > 0.0 ? QString::number(wall / line, 'f', 2) : QString();
                    if (peerOk && source == Row::Upload100)
                        xPeer = QString::number(measure->wall / peer->wall, 'f', 2);
                    if (info.row != Row::ReadExchange)
                        cpu = QStringLiteral("%1%").arg(100.0 * measure->cpu / measure->wall, 0,
                                                        'f', 1);
                    if (goals)
                        goal = goalFor(info.row, speed, &*measure, line, peerOk ? &*peer : nullptr);
                }
                std::printf(format, qPrintable(QString::number(speed)), info.caption,
                            qPrintable(timing), qPrintable(time), qPrintable(floor),
                            qPrintable(xFloor), qPrintable(xPeer), qPrintable(cpu),
                            qPrintable(goal));
            }
        }
    }
    printPauseCosts();
    if (wanted(Row::Window) || wanted(Row::Idle))
        std::printf(
            "\nwindow, waiting: one process on the offscreen platform, the program's bus host "
            "and three of its monitor\nwindows (addresses 1-3, one poll a second each), the "
            "KX100 upload through the same engine; waiting:\nthe monitors alone for 5 s.\n");
    if (m_settings.gateways > 0 && m_fastSupported) {
        std::printf("\nMany buses (fast timing, 9600 bit/s, each bus the default plant behind its "
                    "own simulated TCP gateway,\nbackup of addresses 1-3):\n");
        if (m_gatewayOne <= 0.0 || m_gatewayAll <= 0.0) {
            std::printf("  failed (see the .out files)\n");
        } else {
            std::printf("  1 gateway %s, %d gateways at once %s: %.2f x one bus\n",
                        qPrintable(duration(m_gatewayOne)), m_settings.gateways,
                        qPrintable(duration(m_gatewayAll)), m_gatewayAll / m_gatewayOne);
        }
    }
    if (!m_fastSupported)
        std::printf("\nfast: n/a - this drivelink-cli refuses --timing; the standard rows ran without "
                    "it.\n");
    std::fflush(stdout);
}

std::optional<QList<int>> parseSpeeds(const QString &text)
{
    QList<int> speeds;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int speed = part.trimmed().toInt(&ok);
        if (!ok || speed < 1200 || speed > 115200)
            return std::nullopt;
        speeds.append(speed);
    }
    return speeds.isEmpty() ? std::nullopt : std::optional(speeds);
}

} // namespace

int main(int argc, char *argv[])
{
    // Internal: the program's window runs as a child process on the offscreen platform.
    if (argc == 4 && qstrcmp(argv[1], "--window") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return WindowBench::run(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    }
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    // Internal: the libmodbus peer runs as a child process, measured like drivelink-cli.
    if (arguments.size() == 4 && arguments[1] == QLatin1String("--peer"))
        return ModbusPeer::readOneByOne(arguments[2], arguments[3].toInt(), kKx100Address,
                                        kKx100FirstRegister, kKx100Parameters);

    QStringList rowKeys;
    for (const RowInfo &info : kRows)
        rowKeys << QLatin1String(info.key);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures drivelink-cli on the simulated line (drivelink-sim on a pseudo-terminal) and "
        "prints one table: each figure beside the line's physical floor and, for the KX100 "
        "upload, beside a libmodbus client doing the same 108 reads on the same line. Each "
        "speed gets a fresh simulator serving the default plant."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("speeds"),
         QStringLiteral("Line speeds, comma-separated (9600,19200,38400,115200)."),
         QStringLiteral("list"), QStringLiteral("9600,19200,38400,115200")},
        {QStringLiteral("timings"),
         QStringLiteral("Timings to measure: fast, standard (fast,standard)."),
         QStringLiteral("list"), QStringLiteral("fast,standard")},
        {QStringLiteral("rows"),
         QStringLiteral("Rows to measure, comma-separated, from: %1 (all).")
             .arg(rowKeys.join(QLatin1Char(','))),
         QStringLiteral("list")},
        {QStringLiteral("quick"),
         QStringLiteral("Leave out the standard timing's slow rows (KX300 upload, download, "
                        "scan, backup: minutes each).")},
        {QStringLiteral("timeout-ms"),
         QStringLiteral("Reply time-out for the fast timing (the program's default)."),
         QStringLiteral("ms")},
        {QStringLiteral("turnaround"),
         QStringLiteral("Simulator's turn-around from request to reply, ms (5)."),
         QStringLiteral("ms"), QStringLiteral("5")},
        {QStringLiteral("limit"),
         QStringLiteral("Seconds after which a command is killed and its row failed (1800)."),
         QStringLiteral("s"), QStringLiteral("1800")},
        {QStringLiteral("gateways"),
         QStringLiteral("Simulated TCP gateways of the many-buses row, 0 to leave it out (8)."),
         QStringLiteral("n"), QStringLiteral("8")},
        {QStringLiteral("cli"), QStringLiteral("drivelink-cli to measure."),
         QStringLiteral("path")},
        {QStringLiteral("sim"), QStringLiteral("drivelink-sim to serve the line."),
         QStringLiteral("path")},
    });
    parser.process(app);

    Settings settings;
    const auto usageError = [](const QString &text) {
        std::fprintf(stderr, "drivelink-bench: %s (see --help)\n", qPrintable(text));
        return 2;
    };
    const std::optional<QList<int>> speeds = parseSpeeds(parser.value(QStringLiteral("speeds")));
    if (!speeds)
        return usageError(
            QStringLiteral("bad --speeds: %1").arg(parser.value(QStringLiteral("speeds"))));
    settings.speeds = *speeds;
    settings.timings =
        parser.value(QStringLiteral("timings")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &timing : settings.timings) {
        if (timing != QLatin1String("fast") && timing != QLatin1String("standard"))
            return usageError(QStringLiteral("bad timing %1 (fast or standard)").arg(timing));
    }
    if (settings.timings.isEmpty())
        return usageError(QStringLiteral("no timing given"));
    const QStringList chosen =
        parser.isSet(QStringLiteral("rows"))
            ? parser.value(QStringLiteral("rows")).split(QLatin1Char(','), Qt::SkipEmptyParts)
            : rowKeys;
    for (const QString &name : chosen) {
        const int index = static_cast<int>(rowKeys.indexOf(name.trimmed()));
        if (index < 0)
            return usageError(QStringLiteral("unknown row %1").arg(name));
        settings.rows.append(kRows[index].row);
    }
    // The exchange row is derived from the upload, and the upload's ratio needs the peer.
    if (settings.rows.contains(Row::ReadExchange) && !settings.rows.contains(Row::Upload100))
        settings.rows.append(Row::Upload100);
    settings.quick = parser.isSet(QStringLiteral("quick"));
    // Options without a default value are left as they are when not given.
    const auto number = [&](const char *name, int lowest, int highest, int &out) {
        const QString text = parser.value(QLatin1String(name));
        if (text.isEmpty())
            return true;
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < lowest || value > highest)
            return false;
        out = value;
        return true;
    };
    if (!number("timeout-ms", 20, 10000, settings.timeoutMs))
        return usageError(QStringLiteral("bad --timeout-ms (20..10000)"));
    if (!number("turnaround", 0, 10000, settings.turnaroundMs))
        return usageError(QStringLiteral("bad --turnaround (0..10000)"));
    if (!number("limit", 1, 86400, settings.limitSeconds))
        return usageError(QStringLiteral("bad --limit"));
    if (!number("gateways", 0, 32, settings.gateways))
        return usageError(QStringLiteral("bad --gateways (0..32)"));
    if (parser.isSet(QStringLiteral("cli")))
        settings.cli = parser.value(QStringLiteral("cli"));
    if (parser.isSet(QStringLiteral("sim")))
        settings.sim = parser.value(QStringLiteral("sim"));

    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/drivelink-bench-XXXXXX"));
    if (!work.isValid())
        return usageError(QStringLiteral("cannot make a work folder: %1").arg(work.errorString()));
    Bench bench(settings, work.path());
    bench.probeTiming();
    std::fprintf(stderr, "drivelink-bench: measuring (fast timing %s)...\n",
                 bench.fastSupported() ? "available" : "refused by drivelink-cli: n/a");
    for (int speed : settings.speeds) {
        if (!bench.measureSpeed(speed))
            return 1;
    }
    bench.measureGateways();
    std::fprintf(stderr, "\n");
    bench.print();
    return 0;
}
